// Parsing and matching of AllowedClients.
#include "ClientFilter.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstring>

namespace kt64::server {

namespace {

constexpr std::array<std::uint8_t, 12> kMappedPrefix{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};

bool isSeparator(char c) { return c == ',' || c == ';' || c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

std::optional<std::array<std::uint8_t, 16>> ClientFilter::parseAddress(std::string_view text) {
    const std::string s(text);
    std::array<std::uint8_t, 16> bytes{};
    in_addr v4{};
    if (::inet_pton(AF_INET, s.c_str(), &v4) == 1) {
        std::memcpy(bytes.data(), kMappedPrefix.data(), kMappedPrefix.size());
        std::memcpy(bytes.data() + 12, &v4, 4);
        return bytes;
    }
    in6_addr v6{};
    if (::inet_pton(AF_INET6, s.c_str(), &v6) == 1) {
        std::memcpy(bytes.data(), &v6, 16);
        return bytes;
    }
    return std::nullopt;
}

ClientFilter ClientFilter::parse(std::string_view text) {
    ClientFilter filter;
    std::size_t i = 0;
    while (i < text.size()) {
        if (isSeparator(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !isSeparator(text[end])) ++end;
        const std::string_view entry = text.substr(i, end - i);
        i = end;

        const auto slash = entry.find('/');
        const std::string_view host = entry.substr(0, slash);
        const auto address = parseAddress(host);
        const bool v4 = host.find(':') == std::string_view::npos;
        Network net;
        if (address) net.bytes = *address;
        int prefix = v4 ? 32 : 128;
        bool ok = address.has_value();
        if (ok && slash != std::string_view::npos) {
            const std::string_view bits = entry.substr(slash + 1);
            const auto [p, ec] = std::from_chars(bits.data(), bits.data() + bits.size(), prefix);
            ok = ec == std::errc() && p == bits.data() + bits.size() && !bits.empty() && prefix >= 0 &&
                 prefix <= (v4 ? 32 : 128);
        }
        if (!ok)
            throw ClientFilterError("AllowedClients: '" + std::string(entry) +
                                    "' is neither an address nor a network (examples: 192.168.1.20, 10.0.0.0/8, "
                                    "fd00::/8)");
        net.prefix = v4 ? prefix + 96 : prefix;
        filter.networks_.push_back(net);
    }
    return filter;
}

std::string ClientFilter::address(std::string_view peer) {
    std::string_view rest;
    if (peer.starts_with("ipv4:")) {
        rest = peer.substr(5);
        return std::string(rest.substr(0, rest.rfind(':')));
    }
    if (peer.starts_with("ipv6:")) {
        rest = peer.substr(5);
        if (rest.starts_with('[')) {
            const auto close = rest.find(']');
            if (close != std::string_view::npos) return std::string(rest.substr(1, close - 1));
        }
        return std::string(rest);
    }
    return std::string(peer);
}

bool ClientFilter::allows(std::string_view peer) const {
    if (networks_.empty()) return true;
    if (!peer.starts_with("ipv4:") && !peer.starts_with("ipv6:")) return false;
    std::string host = address(peer);
    // A zone index (fe80::1%eth0) is not part of the address.
    if (const auto zone = host.find('%'); zone != std::string::npos) host.resize(zone);
    const auto bytes = parseAddress(host);
    if (!bytes) return false;
    for (const Network& net : networks_) {
        int bits = net.prefix;
        bool match = true;
        for (std::size_t b = 0; b < 16 && bits > 0 && match; ++b, bits -= 8) {
            const std::uint8_t mask = bits >= 8 ? 0xFF : static_cast<std::uint8_t>(0xFF << (8 - bits));
            match = ((*bytes)[b] & mask) == (net.bytes[b] & mask);
        }
        if (match) return true;
    }
    return false;
}

}  // namespace kt64::server
