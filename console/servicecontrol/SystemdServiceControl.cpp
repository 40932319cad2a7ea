// sd-bus calls of the systemd path.
#include "SystemdServiceControl.h"

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "SdBus.h"
#include "UnitState.h"

namespace kt64::servicecontrol {
namespace {

using sdbus::Bus;
using sdbus::BusError;
using sdbus::Message;
constexpr const char* kDestination = sdbus::kSystemdDestination;
constexpr const char* kManagerPath = sdbus::kSystemdPath;
constexpr const char* kManager = sdbus::kSystemdManager;
constexpr const char* kUnit = sdbus::kSystemdUnit;

struct FreeText {
    void operator()(char* p) const noexcept { std::free(p); }
};

Bus openSystemBus() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0) return nullptr;
    return Bus(bus);
}

std::optional<std::string> unitPath(sd_bus* bus, const std::string& unit) {
    BusError error;
    sd_bus_message* reply = nullptr;
    if (sd_bus_call_method(bus, kDestination, kManagerPath, kManager, "LoadUnit", &error.error, &reply, "s",
                           unit.c_str()) < 0)
        return std::nullopt;
    Message owned(reply);
    const char* path = nullptr;
    if (sd_bus_message_read(reply, "o", &path) < 0 || !path) return std::nullopt;
    return std::string(path);
}

std::optional<std::string> unitProperty(sd_bus* bus, const std::string& path, const char* name) {
    BusError error;
    char* value = nullptr;
    if (sd_bus_get_property_string(bus, kDestination, path.c_str(), kUnit, name, &error.error, &value) < 0)
        return std::nullopt;
    std::unique_ptr<char, FreeText> owned(value);
    return std::string(value ? value : "");
}

}  // namespace

SystemdServiceControl::SystemdServiceControl(std::string unit) : unit_(std::move(unit)) {}

bool SystemdServiceControl::callJob(const char* method) {
    Bus bus = openSystemBus();
    if (!bus) return false;
    BusError error;
    sd_bus_message* reply = nullptr;
    const int rc = sd_bus_call_method(bus.get(), kDestination, kManagerPath, kManager, method, &error.error, &reply,
                                      "ss", unit_.c_str(), "replace");
    Message owned(reply);
    return rc >= 0;
}

bool SystemdServiceControl::start() { return callJob("StartUnit"); }

bool SystemdServiceControl::stop() { return callJob("StopUnit"); }

int SystemdServiceControl::state() {
    Bus bus = openSystemBus();
    if (!bus) return kStateUnreachable;
    const auto path = unitPath(bus.get(), unit_);
    if (!path) return kStateUnreachable;
    const auto load = unitProperty(bus.get(), *path, "LoadState");
    if (load && *load == "not-found") return kStateUnreachable;
    const auto active = unitProperty(bus.get(), *path, "ActiveState");
    if (!active) return kStateStopped;
    return stateOfActiveState(*active);
}

}  // namespace kt64::servicecontrol
