// sd-bus calls to systemd: GetUnit + ActiveState, StopUnit, Reload.
#include "SystemdServiceManager.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace kt64::server {

namespace {
constexpr const char* kDestination = sdbus::kSystemdDestination;
constexpr const char* kPath = sdbus::kSystemdPath;
constexpr const char* kManager = sdbus::kSystemdManager;
// A stop that has not ended by then counts as failed.
constexpr std::chrono::seconds kStopTimeout{20};

// "active", "inactive", ... ; "" when the unit is not loaded or on error.
std::string activeState(sd_bus* bus, std::string_view unit) {
    sdbus::BusError err;
    sd_bus_message* raw = nullptr;
    const std::string name(unit);
    const int r = sd_bus_call_method(bus, kDestination, kPath, kManager, "GetUnit", &err.error, &raw, "s",
                                     name.c_str());
    const sdbus::Message reply(raw);
    if (r < 0) return "";
    const char* path = nullptr;
    if (sd_bus_message_read(reply.get(), "o", &path) < 0 || path == nullptr) return "";
    char* state = nullptr;
    sdbus::BusError err2;
    if (sd_bus_get_property_string(bus, kDestination, path, sdbus::kSystemdUnit, "ActiveState",
                                   &err2.error, &state) < 0)
        return "";
    std::string result(state);
    std::free(state);
    return result;
}
}  // namespace

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
    sdbus::BusError err;
    sd_bus_message* raw = nullptr;
    const std::string name(unit);
    const int r = sd_bus_call_method(bus_.get(), kDestination, kPath, kManager, "StopUnit", &err.error, &raw, "ss",
                                     name.c_str(), "replace");
    const sdbus::Message reply(raw);
    if (r < 0) return false;
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
    sdbus::BusError err;
    sd_bus_message* raw = nullptr;
    // Best effort: an installer without the right to reload the manager
    // leaves that to the administrator (systemctl daemon-reload).
    sd_bus_call_method(bus_.get(), kDestination, kPath, kManager, "Reload", &err.error, &raw, "");
    const sdbus::Message reply(raw);
}

}  // namespace kt64::server
