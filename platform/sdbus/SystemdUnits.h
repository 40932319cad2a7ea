// Control of systemd units over the system bus: start and stop jobs, a
// unit's object path and properties, the manager's reload. The link server
// (stopping and reloading around installation), its clients (starting the
// service on demand) and the console (controlling the synchronisation
// service) all go through this one class; each keeps its own reading of the
// failures (HRESULTs, state codes), which is why a failure comes back as
// data instead of an exception.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "SdBus.h"

namespace kt64::sdbus {

// A failed call: errno (positive), the D-Bus error name ("" when the bus
// itself failed) and the text (D-Bus's message, else the errno's text).
struct UnitCallFailure {
    int error = 0;
    std::string name;
    std::string text;
    // false when the call could not even be built (no message was sent).
    bool sent = true;
};

class SystemdUnits {
public:
    // Connects to the system bus; without it every call fails with
    // openError() (see connected()).
    SystemdUnits();

    bool connected() const noexcept { return bus_ != nullptr; }
    // errno of the failed connection (0 when connected).
    int openError() const noexcept { return openError_; }

    // StartUnit / StopUnit in mode "replace": the job is queued, not waited
    // for. A zero timeout is sd-bus's default.
    std::optional<UnitCallFailure> start(const std::string& unit, std::chrono::microseconds timeout = {});
    std::optional<UnitCallFailure> stop(const std::string& unit, std::chrono::microseconds timeout = {});

    // GetUnit finds only a loaded unit; LoadUnit also loads one from disk.
    enum class Lookup { Loaded, Load };
    std::optional<std::string> path(const std::string& unit, Lookup how);
    // A string property of org.freedesktop.systemd1.Unit at path.
    std::optional<std::string> property(const std::string& path, const char* name);
    // ActiveState of a loaded unit ("active", "inactive", ...); "" when it
    // is not loaded or cannot be read.
    std::string activeState(const std::string& unit);

    // Makes the manager read changed unit files; false when refused.
    bool reload();

private:
    std::optional<UnitCallFailure> job(const char* method, const std::string& unit, std::chrono::microseconds timeout);
    Bus bus_;
    int openError_ = 0;
};

}  // namespace kt64::sdbus
