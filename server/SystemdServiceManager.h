// The service manager on the system bus: systemd's Manager object
// (org.freedesktop.systemd1). Without a reachable systemd (a container, a
// system without it) no unit can be running and nobody needs to reload, so
// every operation then succeeds without doing anything.
#pragma once

#include <string_view>

#include "SystemdUnits.h"
#include "ServiceUnit.h"

namespace kt64::server {

class SystemdServiceManager final : public ServiceManager {
public:
    bool isRunning(std::string_view unit) override;
    bool stop(std::string_view unit) override;
    void reload() override;

private:
    sdbus::SystemdUnits units_;
};

}  // namespace kt64::server
