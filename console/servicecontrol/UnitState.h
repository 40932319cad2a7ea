// The form's state code of a systemd unit from its ActiveState property:
// active and reloading/refreshing are running (4), activating is a pending
// start (2), deactivating a pending stop (3); inactive, failed and anything
// else are stopped (1).
#pragma once

#include <string_view>

namespace kt64::servicecontrol {

int stateOfActiveState(std::string_view activeState);

}  // namespace kt64::servicecontrol
