// How the worker gets its line to the centre: port number n in, an open byte
// link out. The real opener opens the serial device of COM<n> with the
// centre's line settings; tests put a centre without a device behind it.
// Every failure throws serial::SerialPortError carrying the system's text,
// which the worker shows to clients as 0x80040200.
#pragma once

#include <string>

#include <memory>

#include "ByteLink.h"

namespace kt64::server {

class PortOpener {
public:
    virtual ~PortOpener() = default;
    // The previous link has been destroyed (port closed) before this call.
    virtual std::unique_ptr<serial::ByteLink> open(int portNumber) = 0;
    // The name of an open link for the operator's log.
    virtual std::string deviceName(const serial::ByteLink& /*link*/, int portNumber) const {
        return "COM" + std::to_string(portNumber);
    }
};

// Registry key holding the COM<n> -> device path entries.
inline constexpr const char* kDevicesKey = "Software\\Ardonis\\Kt64Srv\\Devices";

// Device path of port n: the REG_SZ value COM<n> under
// HKEY_LOCAL_MACHINE\Software\Ardonis\Kt64Srv\Devices when present and not
// empty, otherwise /dev/ttyS<n-1> (COM1 is /dev/ttyS0). Throws
// serial::SerialPortError(EIO, registry text) when the registry store
// cannot be read, ENOENT for a port number below 1.
std::string deviceNameOf(int port);

// COM<n> through SerialPort with the centre's line (CentreLine.h): queues
// 1000/1000, read interval 100 ms, 1 ms a byte plus 1500 ms, RTS, DTR.
class SerialPortOpener final : public PortOpener {
public:
    std::unique_ptr<serial::ByteLink> open(int portNumber) override;
    // The device path (COM<n> mapped through the registry).
    std::string deviceName(const serial::ByteLink& link, int portNumber) const override;
};

}  // namespace kt64::server
