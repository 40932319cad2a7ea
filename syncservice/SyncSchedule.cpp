// Next-instant arithmetic and the deviation window.
#include "SyncSchedule.h"

#include <cstdlib>
#include <limits>

#include "CivilCalendar.h"

namespace kt64::sync {
namespace {

constexpr LocalSeconds kDay = calendar::kSecondsPerDay;

using calendar::floorDiv;

}  // namespace

std::optional<LocalSeconds> localSecondsOfDate(DATE date) {
    const auto st = fromVariantTime(date);
    if (!st) return std::nullopt;
    return calendar::secondsFromCivil(st->year, st->month, st->day, st->hour, st->minute, st->second);
}

std::optional<DATE> dateOfLocalSeconds(LocalSeconds seconds) {
    // Outside years 100..9999 the civil conversion itself could overflow.
    constexpr LocalSeconds kLimit = 400LL * 366 * kDay * 30;
    if (seconds < -kLimit || seconds > kLimit) return std::nullopt;
    const calendar::CivilTime t = calendar::civilFromSeconds(seconds);
    return makeDate(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

SyncSchedule::SyncSchedule(DATE hourSync, std::uint32_t freqSyncMinutes) : freqSync_(freqSyncMinutes) {
    if (const auto st = fromVariantTime(hourSync)) secondOfDay_ = st->hour * 3600 + st->minute * 60 + st->second;
}

std::optional<LocalSeconds> SyncSchedule::next(LocalSeconds now) {
    if (!secondOfDay_) return std::nullopt;
    LocalSeconds candidate = floorDiv(now, kDay) * kDay + *secondOfDay_;
    if (now > candidate) candidate += kDay;

    LocalSeconds instant = candidate;
    if (freqSync_ != kOnceADayMinutes) {
        stored_ = stored_ ? *stored_ + LocalSeconds{freqSync_} * 60 : candidate;
        instant = *stored_;
    }
    if (!dateOfLocalSeconds(instant)) return std::nullopt;
    return instant;
}

std::int32_t clockDeviation(LocalSeconds now, LocalSeconds reading) {
    const LocalSeconds d = now >= reading ? now - reading : reading - now;
    constexpr LocalSeconds kMax = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(d > kMax ? kMax : d);
}

bool synchronisationAllowed(std::int32_t d, std::int32_t od, std::int32_t dO) {
    return (od == 0 && dO == 0) || (od == 0 && d <= dO) || (d >= od && dO == 0) || (od <= d && d <= dO);
}

}  // namespace kt64::sync
