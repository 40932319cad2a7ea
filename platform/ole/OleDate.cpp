// Conversions between OLE automation dates and calendar fields.
#include "OleDate.h"

#include <cmath>

namespace kt64 {

namespace {

// Day number of 30 December 1899, the DATE epoch, counted from 1970-01-01.
constexpr std::int64_t kEpochDays = -25569;
// First and last day that a DATE may hold: 1 January 100 and 31 December 9999.
constexpr double kMinDate = -657434.0;
constexpr double kMaxDate = 2958466.0;  // exclusive: 1 January 10000

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

// Inverse of daysFromCivil (Howard Hinnant's civil_from_days).
void civilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t yy = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

}  // namespace

std::int64_t daysFromCivil(int year, int month, int day) {
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned mp = static_cast<unsigned>(month > 2 ? month - 3 : month + 9);
    const unsigned doy = (153 * mp + 2) / 5 + static_cast<unsigned>(day) - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

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
    int year = st.year;
    int month = st.month;
    while (day > daysInMonth(year, month)) {
        day -= daysInMonth(year, month);
        if (++month > 12) {
            month = 1;
            ++year;
        }
    }
    if (year > 9999) return std::nullopt;

    const std::int64_t days = daysFromCivil(year, month, static_cast<int>(day)) - kEpochDays;
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
    civilFromDays(days + kEpochDays, st.year, st.month, st.day);
    if (st.year < 100 || st.year > 9999) return std::nullopt;
    st.hour = static_cast<int>(secs / 3600);
    st.minute = static_cast<int>(secs / 60 % 60);
    st.second = static_cast<int>(secs % 60);
    // 1 January 1970 (day 0) was a Thursday.
    const std::int64_t civil = days + kEpochDays;
    st.dayOfWeek = static_cast<int>(((civil % 7) + 7 + 4) % 7);
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
