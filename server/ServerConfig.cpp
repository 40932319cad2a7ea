// Registry access for Port and RpcPort. RegistryError (the store cannot be
// opened or written) is the one failure: it becomes the "key cannot be
// opened" outcome of the port calls and reaches rpcPort's caller whole;
// nothing else is caught.
#include "ServerConfig.h"

#include <filesystem>
#include <limits>

#include "Kt64SrvIds.h"
#include "Registry.h"

namespace kt64::server {

namespace {
constexpr std::string_view kPortValue = "Port";
}

bool ServerConfig::writePort(std::uint32_t portNo) {
    try {
        auto key = reg::Key::create(reg::Hive::LocalMachine, ids::kConfigKey);
        key.setDword(kPortValue, portNo);
        return true;
    } catch (const reg::RegistryError&) {
        return false;
    }
}

std::optional<std::uint32_t> ServerConfig::readPort() {
    try {
        // Read first through a read-only connection: a server run by a user
        // who may read but not write the registry still finds its port.
        if (auto key = reg::Key::open(reg::Hive::LocalMachine, ids::kConfigKey))
            if (auto port = key->dword(kPortValue)) return *port;
    } catch (const reg::RegistryError&) {
        // The store itself cannot be read: no port, rather than a default
        // that would hide the registry's trouble.
        return std::nullopt;
    }
    try {
        auto key = reg::Key::create(reg::Hive::LocalMachine, ids::kConfigKey);
        key.setDword(kPortValue, kDefaultPort);
    } catch (const reg::RegistryError&) {
        // The value is missing and this user may not record the default:
        // the default holds in a registry that exists; where no store can
        // be found or made there is no configuration to speak of.
        std::error_code ec;
        if (!std::filesystem::exists(reg::registryPath(), ec)) return std::nullopt;
    }
    return kDefaultPort;
}

int ServerConfig::portForOpen() {
    auto port = readPort();
    if (!port) return -1;
    // A number beyond int's range names no device either; it fails to open.
    if (*port > static_cast<std::uint32_t>(std::numeric_limits<int>::max())) return -1;
    return static_cast<int>(*port);
}

std::uint16_t ServerConfig::rpcPort() {
    auto key = reg::Key::open(reg::Hive::LocalMachine, ids::kConfigKey);
    if (!key) return ids::kDefaultRpcPort;
    auto port = key->dword(ids::kRpcPortValue);
    if (!port || *port == 0 || *port > 65535) return ids::kDefaultRpcPort;
    return static_cast<std::uint16_t>(*port);
}

AccessSettings ServerConfig::access() {
    AccessSettings settings;
    auto key = reg::Key::open(reg::Hive::LocalMachine, ids::kConfigKey);
    if (!key) return settings;
    auto text = [&](std::string_view name) { return key->string(name).value_or(std::string()); };
    settings.listenAddress = text("ListenAddress");
    settings.allowedClients = text("AllowedClients");
    settings.tlsCertificate = text("TlsCertificate");
    settings.tlsKey = text("TlsKey");
    settings.tlsClientCA = text("TlsClientCA");
    settings.metricsAddress = text("MetricsAddress");
    settings.controlClients = text("TlsControlClients");
    settings.reflection = key->dword("Reflection").value_or(0) == 1;
    return settings;
}

std::set<std::string> parseControlClients(std::string_view text) {
    std::set<std::string> names;
    while (!text.empty()) {
        const auto end = text.find_first_of(",;");
        std::string_view name = text.substr(0, end);
        while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
        if (!name.empty()) names.emplace(name);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return names;
}

}  // namespace kt64::server
