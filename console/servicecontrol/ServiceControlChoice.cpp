// Choosing the service control path by whether systemd runs.
#include "ProgramPaths.h"
#include "ServiceManager.h"
#include "StandaloneServiceControl.h"
#include "SyncServiceControl.h"
#include "SystemdServiceControl.h"

namespace kt64::servicecontrol {

std::unique_ptr<SyncServiceControl> makeSyncServiceControl() {
    if (sync::serviceManagerRunning()) return std::make_unique<SystemdServiceControl>(sync::kServiceUnit);
    return std::make_unique<StandaloneServiceControl>(executableDirectory());
}

}  // namespace kt64::servicecontrol
