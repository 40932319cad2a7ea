// The StartUnit call on the system bus, and the HRESULT of its failures.
#include "ServiceStart.h"

#include <systemd/sd-bus.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "SystemdUnits.h"
#include "ServerError.h"

namespace kt64::client {

namespace {

// The bus answered, but nobody there is the service manager we need.
constexpr std::array kManagerUnreachable{
    SD_BUS_ERROR_SERVICE_UNKNOWN, SD_BUS_ERROR_NAME_HAS_NO_OWNER, SD_BUS_ERROR_NO_REPLY,
    SD_BUS_ERROR_TIMEOUT,         SD_BUS_ERROR_DISCONNECTED,      SD_BUS_ERROR_NO_SERVER,
    SD_BUS_ERROR_UNKNOWN_OBJECT,  SD_BUS_ERROR_UNKNOWN_INTERFACE, SD_BUS_ERROR_UNKNOWN_METHOD,
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
    sdbus::SystemdUnits units;
    if (!units.connected())
        fail("", units.openError(),
             "cannot open the system bus to start " + unit + ": " + std::strerror(units.openError()));
    const auto usec = std::chrono::microseconds(timeout);
    const auto failure = units.start(unit, usec.count() > 0 ? usec : std::chrono::microseconds(1));
    if (!failure) return;
    if (!failure->sent) fail("", failure->error, "cannot build the StartUnit call for " + unit + ": " + failure->text);
    fail(failure->name, failure->error,
         "systemd did not start " + unit + ": " +
             (failure->name.empty() ? failure->text : failure->name + ": " + failure->text));
}

}  // namespace kt64::client
