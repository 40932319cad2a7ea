// Conversions between OLE automation dates and calendar fields.
#include "OleDate.h"

#include <cmath>

#include "CivilCalendar.h"

namespace kt64 {

namespace {

// Day number of 30 December 1899, the DATE epoch, counted from 1970-01-01.
constexpr std::int64_t kEpochDays = -25569;
// First and last day that a DATE may hold: 1 January 100 and 31 December 9999.
constexpr double kMinDate = -657434.0;
constexpr double kMaxDate = 2958466.0;  // exclusive: 1 January 10000
// More days than lie between any two DATEs: a larger roll-over is refused
// before it reaches the calendar.
constexpr long long kMaxRollDays = 4'000'000;

}  // namespace

std::optional<DATE> toVariantTime(const SystemTime& st) {
    if (st.month < 1 || st.month > 12 || st.day < 1 || st.day > 31) return std::nullopt;
    if (st.hour < 0 || st.minute < 0 || st.second < 0) return std::nullopt;
    if (st.year < 100 || st.year > 9999) return std::nullopt;

    // Roll seconds into minutes, minutes into hours, hours into days and days
    // past the month's end into the following months.
    long long minute = st.minute + st.second / 60;
    const long long second = st.second % 60;
    long long hour = st.hour + minute / 60;
    minute %= 60;
    long long day = st.day + hour / 24;
    hour %= 24;
    if (day > kMaxRollDays) return std::nullopt;
    static const std::int64_t lastDay = calendar::dayNumber(9999, 12, 31);
    const std::int64_t dayNo = calendar::dayNumber(st.year, st.month, static_cast<int>(day));
    if (dayNo > lastDay) return std::nullopt;
    const std::int64_t days = dayNo - kEpochDays;
    const double fraction = static_cast<double>(hour * 3600 + minute * 60 + second) / 86400.0;
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

std::optional<SystemTime> fromVariantTime(DATE date) {
    if (!std::isfinite(date) || date <= kMinDate - 1.0 || date >= kMaxDate) return std::nullopt;

    // The whole part names the day, the absolute fraction the time of day,
    // on both sides of the epoch. The time is first taken to the nearest
    // millisecond, then rounded to the second (500 ms and up round up): a
    // DATE cannot hold most half seconds exactly (its resolution near year
    // 9999 is about 40 us), and rounding the raw fraction straight to
    // seconds would send about every other hh:mm:ss.5 down instead of up.
    const double whole = std::trunc(date);
    auto days = static_cast<std::int64_t>(whole);
    const long long millis = std::llround(std::fabs(date - whole) * 86400000.0);
    long long secs = (millis + 500) / 1000;
    if (secs >= 86400) {
        secs -= 86400;
        ++days;
    }

    SystemTime st;
    const calendar::CivilDate civil = calendar::civilDate(days + kEpochDays);
    if (civil.year < 100 || civil.year > 9999) return std::nullopt;
    st.year = civil.year;
    st.month = civil.month;
    st.day = civil.day;
    st.hour = static_cast<int>(secs / 3600);
    st.minute = static_cast<int>(secs / 60 % 60);
    st.second = static_cast<int>(secs % 60);
    st.dayOfWeek = calendar::isoWeekday(days + kEpochDays) % 7;  // 0 = Sunday
    return st;
}

std::optional<DATE> makeDate(int year, int month, int day, int hour, int minute, int second) {
    SystemTime st;
    st.year = year;
    st.month = month;
    st.day = day;
    st.hour = hour;
    st.minute = minute;
    st.second = second;
    return toVariantTime(st);
}

}  // namespace kt64
