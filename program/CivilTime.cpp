// Civil-calendar arithmetic and the ISO texts of the program file (see
// CivilTime.h). Day numbers come from the calendar every program shares, so
// a date means the same day everywhere.
#include "CivilTime.h"

#include <cstdio>

#include "CivilCalendar.h"

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

int weekdayBit(const CivilDate& date) { return 1 << (calendar::isoWeekday(dayNumber(date)) - 1); }

LocalSeconds localSeconds(const CivilDate& date, const TimeOfDay& time) {
    return calendar::secondsFromCivil(date.year, date.month, date.day, time.hour, time.minute, time.second);
}

CivilDate dateOf(LocalSeconds t) {
    const calendar::CivilTime c = calendar::civilFromSeconds(t);
    return CivilDate{c.year, c.month, c.day};
}

TimeOfDay timeOf(LocalSeconds t) {
    const calendar::CivilTime c = calendar::civilFromSeconds(t);
    return TimeOfDay{c.hour, c.minute, c.second};
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
