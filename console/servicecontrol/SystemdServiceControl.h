// The systemd path of the service control: the unit HoralService.service
// through the service manager's D-Bus interface (org.freedesktop.systemd1)
// on the system bus. Each operation opens the bus, acts and closes it again.
#pragma once

#include <string>

#include "SyncServiceControl.h"

namespace kt64::servicecontrol {

class SystemdServiceControl final : public SyncServiceControl {
public:
    explicit SystemdServiceControl(std::string unit = "HoralService.service");

    // StartUnit / StopUnit with mode "replace".
    bool start() override;
    bool stop() override;
    // -1 when the bus or the unit cannot be reached (no unit file: LoadState
    // "not-found"), 1 when ActiveState cannot be read, else its code.
    int state() override;

private:
    std::string unit_;
};

}  // namespace kt64::servicecontrol
