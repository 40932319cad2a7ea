// sd-bus calls to systemd: GetUnit + ActiveState, StopUnit, Reload.
#include "SystemdServiceManager.h"

#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace kt64::server {

namespace {
constexpr const char* kDestination = "org.freedesktop.systemd1";
constexpr const char* kPath = "/org/freedesktop/systemd1";
constexpr const char* kManager = "org.freedesktop.systemd1.Manager";
// A stop that has not ended by then counts as failed.
constexpr std::chrono::seconds kStopTimeout{20};

struct ErrorGuard {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    ~ErrorGuard() { sd_bus_error_free(&error); }
};
struct MessageGuard {
    sd_bus_message* message = nullptr;
    ~MessageGuard() { sd_bus_message_unref(message); }
};

// "active", "inactive", ... ; "" when the unit is not loaded or on error.
std::string activeState(sd_bus* bus, std::string_view unit) {
    ErrorGuard err;
    MessageGuard reply;
    const std::string name(unit);
    if (sd_bus_call_method(bus, kDestination, kPath, kManager, "GetUnit", &err.error, &reply.message, "s",
                           name.c_str()) < 0)
        return "";
    const char* path = nullptr;
    if (sd_bus_message_read(reply.message, "o", &path) < 0 || path == nullptr) return "";
    char* state = nullptr;
    ErrorGuard err2;
    if (sd_bus_get_property_string(bus, kDestination, path, "org.freedesktop.systemd1.Unit", "ActiveState",
                                   &err2.error, &state) < 0)
        return "";
    std::string result(state);
    std::free(state);
    return result;
}
}  // namespace

void SystemdServiceManager::BusCloser::operator()(sd_bus* bus) const noexcept { sd_bus_flush_close_unref(bus); }

SystemdServiceManager::SystemdServiceManager() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) >= 0) bus_.reset(bus);
}

bool SystemdServiceManager::isRunning(std::string_view unit) {
    if (!bus_) return false;
    const auto state = activeState(bus_.get(), unit);
    return state == "active" || state == "activating" || state == "reloading" || state == "deactivating";
}

bool SystemdServiceManager::stop(std::string_view unit) {
    if (!bus_) return true;
    ErrorGuard err;
    MessageGuard reply;
    const std::string name(unit);
    if (sd_bus_call_method(bus_.get(), kDestination, kPath, kManager, "StopUnit", &err.error, &reply.message, "ss",
                           name.c_str(), "replace") < 0)
        return false;
    const auto until = std::chrono::steady_clock::now() + kStopTimeout;
    while (std::chrono::steady_clock::now() < until) {
        const auto state = activeState(bus_.get(), unit);
        if (state != "active" && state != "deactivating" && state != "activating" && state != "reloading")
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

void SystemdServiceManager::reload() {
    if (!bus_) return;
    ErrorGuard err;
    MessageGuard reply;
    // Best effort: an installer without the right to reload the manager
    // leaves that to the administrator (systemctl daemon-reload).
    sd_bus_call_method(bus_.get(), kDestination, kPath, kManager, "Reload", &err.error, &reply.message, "");
}

}  // namespace kt64::server
