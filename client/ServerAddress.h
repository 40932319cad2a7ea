// Where a client finds the link server: the computer named by the caller
// ("" or this computer's name for the local one, "NAME:PORT" for a server on
// another port) and the port from the RpcPort value of the server's key.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kt64::client {

struct ServerAddress {
    std::string host;  // as given, or "localhost" for the local computer
    std::uint16_t port = 0;
    bool local = false;  // this computer: the server may be started on demand

    // The gRPC target: the loopback address for the local computer,
    // "host:port" (brackets around an IPv6 literal) otherwise.
    std::string target() const;

    friend bool operator==(const ServerAddress&, const ServerAddress&) = default;
};

// Thrown for a computer text that names no server (bad port, empty host
// before a port, unbalanced brackets).
class AddressError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Parses "", ".", "localhost", "NAME", "NAME:PORT", "[IPv6]", "[IPv6]:PORT"
// or a bare IPv6 literal. The computer is local when the host is empty, ".",
// "localhost", a loopback address, or localName (compared without case; a
// name's first label also matches, so "host" and "host.example.org" are
// both this computer when either is localName). PORT is 1..65535.
ServerAddress parseServerAddress(std::string_view computer, std::uint16_t defaultPort, std::string_view localName);

// The REG_DWORD RpcPort of HKEY_LOCAL_MACHINE\Software\Ardonis\Kt64Srv;
// 6464 when the key or value is missing, of another type or outside
// 1..65535. Throws reg::RegistryError when the registry cannot be read.
std::uint16_t registeredRpcPort();

}  // namespace kt64::client
