// The seam between the synchronisation worker and the PC's clock: reading
// the local time, waiting for a local instant, pausing, and setting the
// clock. The real clock is SystemSyncClock; tests and measurements put in a
// clock of their own so that the worker's real cycle runs without changing
// the machine's time.
#pragma once

#include <chrono>
#include <ctime>
#include <memory>
#include <system_error>

#include "CentreBracket.h"
#include "CivilCalendar.h"
#include "StopSignal.h"
#include "SyncSchedule.h"
#include "ZoneAgreement.h"

namespace kt64::sync {

enum class WaitResult { Due, Stopped, Failed };

// A timer armed with an absolute local instant.
class SyncTimer {
public:
    virtual ~SyncTimer() = default;
    // Returns Due once the local wall clock has reached due (at once for an
    // instant in the past), Stopped when stop is requested first, Failed
    // when the instant cannot be converted, the timer cannot be armed or the
    // wait fails.
    virtual WaitResult waitUntil(LocalSeconds due, const StopSignal& stop) = 0;
};

// The PC's clock read once: local time with its fraction, the same instant
// as UTC, and the monotonic clock then.
struct ClockReading {
    LocalNanoseconds local{0};
    std::chrono::system_clock::time_point utc{};
    SteadyTime steady{};
};

class SyncClock {
public:
    virtual ~SyncClock() = default;
    // The PC's local time in whole seconds.
    virtual LocalSeconds nowLocal() = 0;
    // nullptr when no timer can be created.
    virtual std::unique_ptr<SyncTimer> createTimer() = 0;
    // Sets the PC's clock from calendar fields taken as local time (the
    // weekday is not read); the system's reason when the clock could not be
    // set (EPERM: no right to set it; EINVAL: no such local time), empty
    // when it was set.
    virtual std::error_code setLocalTime(const calendar::CivilTime& local) = 0;
    // The PC's clock with its fraction and the monotonic instant of reading.
    virtual ClockReading readClock() = 0;
    // Sets the PC's clock to the centre's local time at the moment of
    // setting: centre.local plus the monotonic time elapsed since centre.at,
    // taken as late as possible. The reason when the clock could not be set.
    virtual std::error_code setLocalTime(const CentreEstimate& centre) = 0;
    // The PC's time zone at the UTC instant utc.
    virtual PcZone zoneAt(std::time_t utc) = 0;
    // The pause after a cycle; false when stop was requested meanwhile.
    virtual bool pause(std::chrono::milliseconds length, const StopSignal& stop) = 0;
};

}  // namespace kt64::sync
