// Unit control over sd-bus (see SystemdUnits.h).
#include "SystemdUnits.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace kt64::sdbus {

SystemdUnits::SystemdUnits() {
    sd_bus* bus = nullptr;
    const int rc = sd_bus_open_system(&bus);
    if (rc < 0) {
        sd_bus_unref(bus);
        openError_ = -rc;
        return;
    }
    bus_.reset(bus);
}

std::optional<UnitCallFailure> SystemdUnits::job(const char* method, const std::string& unit,
                                                 std::chrono::microseconds timeout) {
    if (!bus_) return UnitCallFailure{openError_, "", std::strerror(openError_)};
    sd_bus_message* rawCall = nullptr;
    int rc = sd_bus_message_new_method_call(bus_.get(), &rawCall, kSystemdDestination, kSystemdPath, kSystemdManager,
                                            method);
    const Message call(rawCall);
    if (rc >= 0) rc = sd_bus_message_append(call.get(), "ss", unit.c_str(), "replace");
    if (rc < 0) return UnitCallFailure{-rc, "", std::strerror(-rc), false};
    BusError error;
    sd_bus_message* rawReply = nullptr;
    rc = sd_bus_call(bus_.get(), call.get(), static_cast<std::uint64_t>(timeout.count()), &error.error, &rawReply);
    const Message reply(rawReply);
    if (rc >= 0) return std::nullopt;
    return UnitCallFailure{-rc, error.error.name ? error.error.name : "",
                           error.error.message ? error.error.message : std::strerror(-rc)};
}

std::optional<UnitCallFailure> SystemdUnits::start(const std::string& unit, std::chrono::microseconds timeout) {
    return job("StartUnit", unit, timeout);
}

std::optional<UnitCallFailure> SystemdUnits::stop(const std::string& unit, std::chrono::microseconds timeout) {
    return job("StopUnit", unit, timeout);
}

std::optional<std::string> SystemdUnits::path(const std::string& unit, Lookup how) {
    if (!bus_) return std::nullopt;
    BusError error;
    sd_bus_message* raw = nullptr;
    const int rc =
        sd_bus_call_method(bus_.get(), kSystemdDestination, kSystemdPath, kSystemdManager,
                           how == Lookup::Loaded ? "GetUnit" : "LoadUnit", &error.error, &raw, "s", unit.c_str());
    const Message reply(raw);
    if (rc < 0) return std::nullopt;
    const char* path = nullptr;
    if (sd_bus_message_read(reply.get(), "o", &path) < 0 || path == nullptr) return std::nullopt;
    return std::string(path);
}

std::optional<std::string> SystemdUnits::property(const std::string& path, const char* name) {
    if (!bus_) return std::nullopt;
    BusError error;
    char* value = nullptr;
    if (sd_bus_get_property_string(bus_.get(), kSystemdDestination, path.c_str(), kSystemdUnit, name, &error.error,
                                   &value) < 0)
        return std::nullopt;
    const std::unique_ptr<char, decltype(&std::free)> owned(value, &std::free);
    return std::string(value ? value : "");
}

std::string SystemdUnits::activeState(const std::string& unit) {
    const auto unitPath = path(unit, Lookup::Loaded);
    if (!unitPath) return "";
    return property(*unitPath, "ActiveState").value_or("");
}

bool SystemdUnits::reload() {
    if (!bus_) return false;
    BusError error;
    sd_bus_message* raw = nullptr;
    const int rc = sd_bus_call_method(bus_.get(), kSystemdDestination, kSystemdPath, kSystemdManager, "Reload",
                                      &error.error, &raw, "");
    const Message reply(raw);
    return rc >= 0;
}

}  // namespace kt64::sdbus
