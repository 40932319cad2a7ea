#include "EmulatorError.h"

#include "SerialPortError.h"

namespace kt64::sim {

EmulatorError::EmulatorError(const std::string& what, int error)
    : std::runtime_error(what + ": " + serial::systemText(error)), error_(error) {}

}  // namespace kt64::sim
