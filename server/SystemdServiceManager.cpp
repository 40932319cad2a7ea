// Stopping, watching and reloading units through SystemdUnits.
#include "SystemdServiceManager.h"

#include <chrono>
#include <string>
#include <thread>

namespace kt64::server {

namespace {
// A stop that has not ended by then counts as failed.
constexpr std::chrono::seconds kStopTimeout{20};

bool busy(const std::string& state) {
    return state == "active" || state == "activating" || state == "reloading" || state == "deactivating";
}
}  // namespace

bool SystemdServiceManager::isRunning(std::string_view unit) {
    if (!units_.connected()) return false;
    return busy(units_.activeState(std::string(unit)));
}

bool SystemdServiceManager::stop(std::string_view unit) {
    if (!units_.connected()) return true;
    const std::string name(unit);
    if (units_.stop(name)) return false;
    const auto until = std::chrono::steady_clock::now() + kStopTimeout;
    while (std::chrono::steady_clock::now() < until) {
        if (!busy(units_.activeState(name))) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

void SystemdServiceManager::reload() {
    // Best effort: an installer without the right to reload the manager
    // leaves that to the administrator (systemctl daemon-reload).
    (void)units_.reload();
}

}  // namespace kt64::server
