// The PC's real clock for the synchronisation worker: local time from the
// system clock and the time zone (localtime_r), a timerfd on CLOCK_REALTIME
// armed with the absolute UTC time of the local instant (mktime), so a change
// of the system clock moves the moment the timer fires as it should, and
// clock_settime to set the clock (needs CAP_SYS_TIME), then the hardware
// clock (RTC) where there is one.
//
// The estimate of the centre's time is carried forward by the monotonic
// clock to the moment of setting, so the time spent between the estimate and
// clock_settime does not end up as an error of the clock.
//
// Setting converts the centre's local reading to UTC with the offset the
// zone has in force at the moment of the reading (now), not with mktime's
// guess: on the autumn change day a local time occurs twice, and mktime
// would take whichever offset its previous call used, setting the clock an
// hour wrong (and every later cycle would then find the deviation too large
// to correct).
#pragma once

#include <ctime>
#include <optional>

#include "SyncClock.h"

namespace kt64::sync {

class SystemSyncClock final : public SyncClock {
public:
    LocalSeconds nowLocal() override;
    std::unique_ptr<SyncTimer> createTimer() override;
    std::error_code setLocalTime(const calendar::CivilTime& local) override;
    ClockReading readClock() override;
    std::error_code setLocalTime(const CentreEstimate& centre) override;
    PcZone zoneAt(std::time_t utc) override;
    bool pause(std::chrono::milliseconds length, const StopSignal& stop) override;
};

// Seconds since the epoch of the local calendar fields (mktime, the zone
// deciding daylight saving); nullopt when they name no time.
std::optional<std::time_t> utcOfLocal(const calendar::CivilTime& local);

// Seconds since the epoch of local calendar fields read at the instant
// readAt: the fields less the zone's UTC offset in force at readAt. nullopt
// when the fields name no calendar time (a 30 February, an hour 24).
std::optional<std::time_t> utcOfReading(const calendar::CivilTime& local, std::time_t readAt);

// The UTC time to give the system clock for the centre's estimated local
// time carried forward to the monotonic instant now, converted with the
// zone's offset in force at readAt; nullopt when it names no time.
std::optional<timespec> settingOf(const CentreEstimate& centre, SteadyTime now, std::time_t readAt);

// The zone the C library applies (TZ, else /etc/localtime) at the instant
// utc: its name (the TZ value, the link's target below zoneinfo/, else
// /etc/timezone, else the zone's abbreviation then) and its offset.
PcZone pcZoneAt(std::time_t utc);

enum class HardwareClockResult { Set, NoDevice, Failed };

// Sets the RTC at device (a /dev/rtcN) to utc. NoDevice when there is no
// such device, Failed when it refuses the time; neither is an error of the
// synchronisation, which has set the system clock already.
HardwareClockResult setHardwareClock(std::time_t utc, const char* device);

// The RTC device the system keeps its time in.
inline constexpr const char* kHardwareClockDevice = "/dev/rtc0";

}  // namespace kt64::sync
