// The systemd path: the unit controlled through SystemdUnits.
#include "SystemdServiceControl.h"

#include <string>

#include "SystemdUnits.h"
#include "UnitState.h"

namespace kt64::servicecontrol {

SystemdServiceControl::SystemdServiceControl(std::string unit) : unit_(std::move(unit)) {}

bool SystemdServiceControl::start() { return !sdbus::SystemdUnits().start(unit_); }

bool SystemdServiceControl::stop() { return !sdbus::SystemdUnits().stop(unit_); }

int SystemdServiceControl::state() {
    sdbus::SystemdUnits units;
    const auto path = units.path(unit_, sdbus::SystemdUnits::Lookup::Load);
    if (!path) return kStateUnreachable;
    const auto load = units.property(*path, "LoadState");
    if (load && *load == "not-found") return kStateUnreachable;
    const auto active = units.property(*path, "ActiveState");
    if (!active) return kStateStopped;
    return stateOfActiveState(*active);
}

}  // namespace kt64::servicecontrol
