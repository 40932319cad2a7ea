// Parsing of the computer a client names, and the registered RPC port.
#include "ServerAddress.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "Kt64SrvIds.h"
#include "Registry.h"

namespace kt64::client {

namespace {

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

std::string_view firstLabel(std::string_view name) { return name.substr(0, name.find('.')); }

bool isLocalHost(std::string_view host, std::string_view localName) {
    if (host.empty() || host == "." || equalNoCase(host, "localhost") || host == "::1" || host.starts_with("127."))
        return true;
    if (localName.empty()) return false;
    if (equalNoCase(host, localName)) return true;
    // A short name matches the first label of a full one, either way round.
    bool oneIsShort = host.find('.') == std::string_view::npos || localName.find('.') == std::string_view::npos;
    return oneIsShort && equalNoCase(firstLabel(host), firstLabel(localName));
}

std::uint16_t parsePort(std::string_view text, std::string_view computer) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535)
        throw AddressError("invalid port in computer name \"" + std::string(computer) + "\"");
    return static_cast<std::uint16_t>(value);
}

}  // namespace

std::string ServerAddress::target() const {
    if (local) return "127.0.0.1:" + std::to_string(port);
    if (host.find(':') != std::string::npos) return "[" + host + "]:" + std::to_string(port);
    return host + ":" + std::to_string(port);
}

ServerAddress parseServerAddress(std::string_view computer, std::uint16_t defaultPort, std::string_view localName) {
    // Leading and trailing blanks come from hand-typed configuration.
    while (!computer.empty() && (computer.front() == ' ' || computer.front() == '\t')) computer.remove_prefix(1);
    while (!computer.empty() && (computer.back() == ' ' || computer.back() == '\t')) computer.remove_suffix(1);

    ServerAddress address;
    address.port = defaultPort;
    std::string_view host = computer;
    if (computer.starts_with('[')) {
        auto close = computer.find(']');
        if (close == std::string_view::npos)
            throw AddressError("unbalanced '[' in computer name \"" + std::string(computer) + "\"");
        host = computer.substr(1, close - 1);
        std::string_view rest = computer.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                throw AddressError("unexpected text after ']' in computer name \"" + std::string(computer) + "\"");
            address.port = parsePort(rest.substr(1), computer);
        }
        if (host.empty()) throw AddressError("empty address in computer name \"" + std::string(computer) + "\"");
    } else if (auto colon = computer.find(':'); colon != std::string_view::npos) {
        // Exactly one colon separates a port; more are a bare IPv6 literal.
        if (computer.find(':', colon + 1) == std::string_view::npos) {
            host = computer.substr(0, colon);
            if (host.empty()) throw AddressError("no computer before the port in \"" + std::string(computer) + "\"");
            address.port = parsePort(computer.substr(colon + 1), computer);
        }
    }
    address.local = isLocalHost(host, localName);
    address.host = address.local && host.empty() ? std::string("localhost") : std::string(host);
    return address;
}

std::uint16_t registeredRpcPort() {
    // An unreadable store throws: calling the default port instead would
    // hide why the configured server is not reached.
    if (auto key = reg::Key::open(reg::Hive::LocalMachine, ids::kConfigKey))
        if (auto port = key->dword(ids::kRpcPortValue); port && *port >= 1 && *port <= 65535)
            return static_cast<std::uint16_t>(*port);
    return static_cast<std::uint16_t>(ids::kDefaultRpcPort);
}

}  // namespace kt64::client
