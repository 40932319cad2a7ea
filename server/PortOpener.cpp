// The real port opener: SerialPort with the centre's opening sequence.
#include "PortOpener.h"

#include <cerrno>

#include "CentreLine.h"
#include "Registry.h"
#include "SerialPort.h"

namespace kt64::server {

std::string deviceNameOf(int port) {
    // No device can answer to COM0 or a negative number (the worker passes
    // -1 when it cannot read the port number): a missing device.
    if (port < 1)
        throw serial::SerialPortError(
            ENOENT, serial::systemText(ENOENT) + " (port number " + std::to_string(port) + " names no device)");
    try {
        if (auto key = reg::Key::open(reg::Hive::LocalMachine, kDevicesKey)) {
            if (auto path = key->string("COM" + std::to_string(port)); path && !path->empty()) return *path;
        }
    } catch (const reg::RegistryError& e) {
        throw serial::SerialPortError(EIO, e.what());
    }
    return "/dev/ttyS" + std::to_string(port - 1);
}

std::unique_ptr<serial::ByteLink> SerialPortOpener::open(int portNumber) {
    auto port = std::make_unique<serial::SerialPort>();
    link::openForCentre(*port, deviceNameOf(portNumber));
    return port;
}

std::string SerialPortOpener::deviceName(const serial::ByteLink& link, int portNumber) const {
    if (const auto* port = dynamic_cast<const serial::SerialPort*>(&link)) return port->devicePath();
    return PortOpener::deviceName(link, portNumber);
}

}  // namespace kt64::server
