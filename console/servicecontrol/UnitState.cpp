// systemd ActiveState to the form's state code.
#include "UnitState.h"

#include "SyncServiceControl.h"

namespace kt64::servicecontrol {

int stateOfActiveState(std::string_view s) {
    if (s == "active" || s == "reloading" || s == "refreshing") return kStateRunning;
    if (s == "activating") return kStateStartPending;
    if (s == "deactivating") return kStateStopPending;
    return kStateStopped;
}

}  // namespace kt64::servicecontrol
