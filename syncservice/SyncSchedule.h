// The synchronisation schedule: when the next cycle starts, and the window
// condition that decides whether a measured difference allows setting the
// clock. Pure functions over local civil time.
//
// Local time is counted as LocalSeconds: seconds since 1970-01-01 00:00:00
// of the local calendar (the wall clock read as if it were UTC), so that
// "tomorrow at the same hour" is plain addition of 86,400 s. They are the
// calendar's own count: calendar::civilFromSeconds and secondsFromCivil turn
// them into calendar fields and back.
//
// Next instant: candidate = today at HourSync's time of day, or tomorrow when
// now is strictly later. With FreqSync = 1440 the candidate is the instant.
// Otherwise the first instant is the candidate and each later one is the
// previous instant plus FreqSync minutes, whatever the clock says: missed
// instants fire one after another and FreqSync = 0 never advances.
#pragma once

#include <cstdint>
#include <optional>

#include "OleDate.h"

namespace kt64::sync {

using LocalSeconds = std::int64_t;

// FreqSync value meaning once a day at the HourSync time.
inline constexpr std::uint32_t kOnceADayMinutes = 1440;

// A DATE rounded to the whole second; nullopt outside years 100..9999.
std::optional<LocalSeconds> localSecondsOfDate(DATE date);
std::optional<DATE> dateOfLocalSeconds(LocalSeconds seconds);

class SyncSchedule {
public:
    SyncSchedule(DATE hourSync, std::uint32_t freqSyncMinutes);

    // The next instant for a cycle started at now (whole seconds). nullopt
    // when HourSync or the instant cannot be expressed as a date (years
    // 100..9999), which the worker treats as a failed time conversion.
    std::optional<LocalSeconds> next(LocalSeconds now);

private:
    std::optional<int> secondOfDay_;  // HourSync's time of day
    std::uint32_t freqSync_;
    std::optional<LocalSeconds> stored_;  // the running schedule once set
};

// |now - reading| in seconds as the window compares it, saturated at the
// largest 32-bit value.
std::int32_t clockDeviation(LocalSeconds now, LocalSeconds reading);

// The window condition, signed comparisons: 0 in a bound means no bound on
// that side; a lower bound above a non-zero upper bound never holds.
bool synchronisationAllowed(std::int32_t deviation, std::int32_t deviationFrom, std::int32_t deviationTo);

}  // namespace kt64::sync
