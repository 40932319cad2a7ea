// The StartUnit call on the system bus, and the HRESULT of its failures.
#include "ServiceStart.h"

#include <systemd/sd-bus.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

#include "SdBus.h"
#include "ServerError.h"

namespace kt64::client {

namespace {

using sdbus::Bus;
using sdbus::BusError;
using sdbus::Message;
constexpr const char* kDestination = sdbus::kSystemdDestination;
constexpr const char* kManagerPath = sdbus::kSystemdPath;
constexpr const char* kManager = sdbus::kSystemdManager;

// The bus answered, but nobody there is the service manager we need.
constexpr std::array kManagerUnreachable{
    SD_BUS_ERROR_SERVICE_UNKNOWN,  SD_BUS_ERROR_NAME_HAS_NO_OWNER,    SD_BUS_ERROR_NO_REPLY,
    SD_BUS_ERROR_TIMEOUT,          SD_BUS_ERROR_DISCONNECTED,         SD_BUS_ERROR_NO_SERVER,
    SD_BUS_ERROR_UNKNOWN_OBJECT,   SD_BUS_ERROR_UNKNOWN_INTERFACE,    SD_BUS_ERROR_UNKNOWN_METHOD,
};
constexpr std::array kDenied{SD_BUS_ERROR_ACCESS_DENIED, SD_BUS_ERROR_INTERACTIVE_AUTHORIZATION_REQUIRED};

template <std::size_t N>
bool oneOf(std::string_view name, const std::array<const char*, N>& names) {
    for (const char* n : names)
        if (name == n) return true;
    return false;
}

[[noreturn]] void fail(std::string_view busError, int error, const std::string& what) {
    throw ServerError(serviceStartFailure(busError, error), what);
}

}  // namespace

HRESULT serviceStartFailure(std::string_view busError, int error) {
    if (busError.empty())
        // The bus connection itself failed (no socket, refused, timed out).
        return error == EACCES || error == EPERM ? E_ACCESSDENIED : E_SCM_RPC_FAILURE;
    // Spawn.*: the bus tried to activate the manager on demand and could not
    // (a system bus without systemd running, as in a container).
    if (oneOf(busError, kManagerUnreachable) || busError.starts_with("org.freedesktop.DBus.Error.Spawn."))
        return E_SCM_RPC_FAILURE;
    if (busError == "org.freedesktop.systemd1.NoSuchUnit") return E_SERVICE_DOES_NOT_EXIST;
    if (busError == "org.freedesktop.systemd1.UnitMasked") return E_SERVICE_DISABLED;
    if (oneOf(busError, kDenied)) return E_ACCESSDENIED;
    return E_SERVER_EXEC_FAILURE;
}

void startSystemdUnit(const std::string& unit, std::chrono::milliseconds timeout) {
    sd_bus* rawBus = nullptr;
    int rc = sd_bus_open_system(&rawBus);
    Bus bus(rawBus);
    if (rc < 0) fail("", -rc, "cannot open the system bus to start " + unit + ": " + std::strerror(-rc));

    sd_bus_message* rawCall = nullptr;
    rc = sd_bus_message_new_method_call(bus.get(), &rawCall, kDestination, kManagerPath, kManager, "StartUnit");
    Message call(rawCall);
    if (rc >= 0) rc = sd_bus_message_append(call.get(), "ss", unit.c_str(), "replace");
    if (rc < 0) fail("", -rc, "cannot build the StartUnit call for " + unit + ": " + std::strerror(-rc));

    BusError error;
    sd_bus_message* rawReply = nullptr;
    const auto usec = static_cast<std::uint64_t>(std::chrono::microseconds(timeout).count());
    rc = sd_bus_call(bus.get(), call.get(), usec > 0 ? usec : 1, &error.error, &rawReply);
    Message reply(rawReply);
    if (rc < 0) {
        const std::string name = error.error.name ? error.error.name : "";
        const std::string text = error.error.message ? error.error.message : std::strerror(-rc);
        fail(name, -rc, "systemd did not start " + unit + ": " + (name.empty() ? text : name + ": " + text));
    }
}

}  // namespace kt64::client
