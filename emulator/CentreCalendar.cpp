#include "CentreCalendar.h"

#include <charconv>

#include "CivilCalendar.h"

namespace kt64::sim {

namespace {

bool readInt(std::string_view& s, std::size_t digits, int& out) {
    if (s.size() < digits) return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + digits, out);
    if (ec != std::errc{} || p != s.data() + digits) return false;
    s.remove_prefix(digits);
    return true;
}

bool expect(std::string_view& s, char c) {
    if (s.empty() || s.front() != c) return false;
    s.remove_prefix(1);
    return true;
}

}  // namespace

std::int64_t toSeconds(TimePoint t) { return std::chrono::floor<std::chrono::seconds>(t).time_since_epoch().count(); }

TimePoint fromSeconds(std::int64_t seconds) { return TimePoint{std::chrono::seconds{seconds}}; }

TimePoint utcTime(int year, int month, int day, int hour, int minute, int second) {
    return fromSeconds(secondsFromCivil(year, month, day, hour, minute, second));
}

int changeDay(int year, int month, int key) { return calendar::changeSunday(year, month, key); }

std::optional<TimePoint> parseUtc(std::string_view s) {
    int y, mo, d, h, mi, sec = 0;
    if (!readInt(s, 4, y) || !expect(s, '-') || !readInt(s, 2, mo) || !expect(s, '-') || !readInt(s, 2, d))
        return std::nullopt;
    if (s.empty() || (s.front() != ' ' && s.front() != 'T')) return std::nullopt;
    s.remove_prefix(1);
    if (!readInt(s, 2, h) || !expect(s, ':') || !readInt(s, 2, mi)) return std::nullopt;
    if (!s.empty() && (!expect(s, ':') || !readInt(s, 2, sec))) return std::nullopt;
    if (!s.empty()) return std::nullopt;
    if (y < 1970 || mo < 1 || mo > 12 || d < 1 || d > daysInMonth(y, mo) || h > 23 || mi > 59 || sec > 59)
        return std::nullopt;
    return utcTime(y, mo, d, h, mi, sec);
}

}  // namespace kt64::sim
