// Next-instant arithmetic and the deviation window.
#include "SyncSchedule.h"

#include <cstdlib>
#include <limits>

namespace kt64::sync {
namespace {

constexpr LocalSeconds kDay = 86400;

LocalSeconds floorDiv(LocalSeconds a, LocalSeconds b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Civil date from days since 1970-01-01 (proleptic Gregorian).
void civilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

}  // namespace

LocalSeconds localSecondsOf(const SystemTime& st) {
    return daysFromCivil(st.year, st.month, st.day) * kDay + st.hour * 3600 + st.minute * 60 + st.second;
}

SystemTime systemTimeOf(LocalSeconds seconds) {
    SystemTime st;
    const LocalSeconds days = floorDiv(seconds, kDay);
    const LocalSeconds rest = seconds - days * kDay;
    civilFromDays(days, st.year, st.month, st.day);
    st.hour = static_cast<int>(rest / 3600);
    st.minute = static_cast<int>(rest / 60 % 60);
    st.second = static_cast<int>(rest % 60);
    st.dayOfWeek = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    return st;
}

std::optional<LocalSeconds> localSecondsOfDate(DATE date) {
    const auto st = fromVariantTime(date);
    if (!st) return std::nullopt;
    return localSecondsOf(*st);
}

std::optional<DATE> dateOfLocalSeconds(LocalSeconds seconds) {
    // Outside years 100..9999 the civil conversion itself could overflow.
    constexpr LocalSeconds kLimit = 400LL * 366 * kDay * 30;
    if (seconds < -kLimit || seconds > kLimit) return std::nullopt;
    return toVariantTime(systemTimeOf(seconds));
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
