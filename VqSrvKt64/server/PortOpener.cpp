// The real port opener: CSerialPort with the centre's opening sequence.
#include "PortOpener.h"

#include "SerialPort.h"

namespace kt64::server {

std::unique_ptr<serial::ByteLink> SerialPortOpener::open(int portNumber) {
    auto port = std::make_unique<serial::CSerialPort>();
    serial::openForCentre(*port, portNumber);
    return port;
}

std::string SerialPortOpener::deviceName(const serial::ByteLink& link, int portNumber) const {
    if (const auto* port = dynamic_cast<const serial::CSerialPort*>(&link)) return port->devicePath();
    return PortOpener::deviceName(link, portNumber);
}

}  // namespace kt64::server
