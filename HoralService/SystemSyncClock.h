// The PC's real clock for the synchronisation worker: local time from the
// system clock and the time zone (localtime_r), a timerfd on CLOCK_REALTIME
// armed with the absolute UTC time of the local instant (mktime), so a change
// of the system clock moves the moment the timer fires as it should, and
// clock_settime to set the clock (needs CAP_SYS_TIME).
#pragma once

#include <ctime>
#include <optional>

#include "SyncClock.h"

namespace kt64::sync {

class SystemSyncClock final : public SyncClock {
public:
    LocalSeconds nowLocal() override;
    std::unique_ptr<SyncTimer> createTimer() override;
    bool setLocalTime(const SystemTime& local) override;
    bool pause(std::chrono::milliseconds length, const StopSignal& stop) override;
};

// Seconds since the epoch of the local calendar fields (mktime, the zone
// deciding daylight saving); nullopt when they name no time.
std::optional<std::time_t> utcOfLocal(const SystemTime& local);

}  // namespace kt64::sync
