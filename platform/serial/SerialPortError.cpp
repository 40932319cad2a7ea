#include "SerialPortError.h"

#include <cstring>

namespace kt64::serial {

namespace {
// strerror_r comes in two shapes; both overloads resolve the GNU or the XSI one.
[[maybe_unused]] const char* pick(int, const char* buf) { return buf; }
[[maybe_unused]] const char* pick(const char* text, const char*) { return text; }
}  // namespace

std::string systemText(int error) {
    char buf[256] = {};
    return pick(strerror_r(error, buf, sizeof buf), buf);
}

SerialPortError::SerialPortError(int error) : error_(error), message_(systemText(error)) {}

SerialPortError::SerialPortError(int error, std::string message) : error_(error), message_(std::move(message)) {}

}  // namespace kt64::serial
