// The registry value AllowedClients: the addresses and networks whose
// callers the link server serves, when a site restricts it. The text lists
// entries separated by commas, semicolons or blanks; an entry is an IPv4 or
// IPv6 address ("192.168.1.20", "::1") or a network in prefix form
// ("192.168.1.0/24", "fd00::/8"). An IPv4 caller that reaches an IPv6
// socket (::ffff:a.b.c.d) counts as the IPv4 address. An empty list allows
// every caller (the default: remote callers are accepted without
// authentication). A malformed entry is an error, never skipped: a
// restriction typed wrongly must not leave the server open.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kt64::server {

class ClientFilterError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ClientFilter {
public:
    ClientFilter() = default;
    // Throws ClientFilterError naming the first malformed entry.
    static ClientFilter parse(std::string_view text);

    bool restricts() const noexcept { return !networks_.empty(); }
    // peer as gRPC gives it: "ipv4:10.0.0.5:51234", "ipv6:[::1]:51234";
    // anything else (a Unix socket) is allowed only without restriction.
    bool allows(std::string_view peer) const;
    // The caller's address from a gRPC peer text, for messages; the text
    // itself when it names no address.
    static std::string address(std::string_view peer);

private:
    struct Network {
        std::array<std::uint8_t, 16> bytes{};  // IPv4 as ::ffff:a.b.c.d
        int prefix = 128;                      // in bits of the 16 bytes
    };
    static std::optional<std::array<std::uint8_t, 16>> parseAddress(std::string_view text);
    std::vector<Network> networks_;
};

}  // namespace kt64::server
