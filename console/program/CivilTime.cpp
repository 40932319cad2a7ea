// Civil-calendar arithmetic and the ISO texts of the program file (see
// CivilTime.h). Day numbers use the days-from-civil algorithm shared with the
// OLE date conversions, so a date means the same day everywhere.
#include "CivilTime.h"

#include <cstdio>

#include "OleDate.h"

namespace kt64::program {

namespace {

// Reads exactly n decimal digits at text[pos].
std::optional<int> digits(std::string_view text, std::size_t pos, std::size_t n) {
    if (pos + n > text.size()) return std::nullopt;
    int v = 0;
    for (std::size_t i = pos; i < pos + n; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

std::optional<TimeOfDay> parseClock(std::string_view text) {
    // "HH:MM" or "HH:MM:SS"
    if (text.size() != 5 && text.size() != 8) return std::nullopt;
    const auto h = digits(text, 0, 2);
    const auto m = digits(text, 3, 2);
    if (!h || !m || text[2] != ':') return std::nullopt;
    TimeOfDay t{*h, *m, 0};
    if (text.size() == 8) {
        const auto s = digits(text, 6, 2);
        if (!s || text[5] != ':') return std::nullopt;
        t.second = *s;
    }
    if (!isValid(t)) return std::nullopt;
    return t;
}

}  // namespace

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

bool isValid(const CivilDate& date) {
    return date.year >= 1 && date.year <= 9999 && date.month >= 1 && date.month <= 12 && date.day >= 1 &&
           date.day <= daysInMonth(date.year, date.month);
}

bool isValid(const TimeOfDay& time) {
    return time.hour >= 0 && time.hour < 24 && time.minute >= 0 && time.minute < 60 && time.second >= 0 &&
           time.second < 60;
}

std::int64_t dayNumber(const CivilDate& date) { return daysFromCivil(date.year, date.month, date.day); }

CivilDate dateFromDayNumber(std::int64_t days) {
    // Inverse of days-from-civil: eras of 400 years (146097 days) from 0000-03-01.
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const auto y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
    return CivilDate{static_cast<int>(y), static_cast<int>(m), static_cast<int>(d)};
}

int weekdayBit(const CivilDate& date) {
    // 1970-01-01 was a Thursday (Monday-based index 3).
    auto index = (dayNumber(date) + 3) % 7;
    if (index < 0) index += 7;
    return 1 << index;
}

LocalSeconds localSeconds(const CivilDate& date, const TimeOfDay& time) {
    return dayNumber(date) * kSecondsPerDay + time.secondsOfDay();
}

CivilDate dateOf(LocalSeconds t) {
    auto days = t / kSecondsPerDay;
    if (t % kSecondsPerDay < 0) --days;
    return dateFromDayNumber(days);
}

TimeOfDay timeOf(LocalSeconds t) {
    const int s = secondsOfDay(t);
    return TimeOfDay{s / 3600, s / 60 % 60, s % 60};
}

std::string isoDate(const CivilDate& date) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", date.year, date.month, date.day);
    return buf;
}

std::string isoTime(const TimeOfDay& time) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", time.hour, time.minute, time.second);
    return buf;
}

std::optional<CivilDate> parseIsoDate(std::string_view text) {
    if (text.size() < 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    const auto y = digits(text, 0, 4);
    const auto m = digits(text, 5, 2);
    const auto d = digits(text, 8, 2);
    if (!y || !m || !d) return std::nullopt;
    if (text.size() > 10) {
        if (text[10] != ' ' && text[10] != 'T') return std::nullopt;
        if (!parseClock(text.substr(11))) return std::nullopt;
    }
    CivilDate date{*y, *m, *d};
    if (!isValid(date)) return std::nullopt;
    return date;
}

std::optional<TimeOfDay> parseIsoTime(std::string_view text) {
    if (text.size() > 10 && (text[10] == ' ' || text[10] == 'T')) {
        if (!parseIsoDate(text.substr(0, 10))) return std::nullopt;
        return parseClock(text.substr(11));
    }
    return parseClock(text);
}

}  // namespace kt64::program
