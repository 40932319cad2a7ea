// SyncServiceControl: how the console's settings form starts, stops and
// watches the synchronisation program. Two paths behind one interface: the
// systemd unit HoralService.service where systemd runs, the stand-alone
// program HoralService9x elsewhere (makeSyncServiceControl chooses).
//
// State codes as the form shows them: 1 stopped, 2 start pending, 3 stop
// pending, 4 running, 5 continue pending, 6 pause pending, 7 paused, -1 the
// service manager or the service cannot be reached.
#pragma once

#include <memory>

namespace kt64::servicecontrol {

inline constexpr int kStateUnreachable = -1;
inline constexpr int kStateStopped = 1;
inline constexpr int kStateStartPending = 2;
inline constexpr int kStateStopPending = 3;
inline constexpr int kStateRunning = 4;

class SyncServiceControl {
public:
    virtual ~SyncServiceControl() = default;
    // false when the start could not be requested.
    virtual bool start() = 0;
    // false when there was nothing to stop or the stop could not be requested.
    virtual bool stop() = 0;
    virtual int state() = 0;
};

// The systemd path when systemd runs, the stand-alone program otherwise
// (the stand-alone program from the console's own program folder). Defined
// in kt64_servicecontrol_systemd.
std::unique_ptr<SyncServiceControl> makeSyncServiceControl();

}  // namespace kt64::servicecontrol
