#include "CentreCalendar.h"

#include <charconv>

#include "OleDate.h"

namespace kt64::sim {

namespace {

constexpr std::int64_t kDay = 86400;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Inverse of daysFromCivil (days since 1970-01-01 to a civil date).
void civilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = floorDiv(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

// 1 = Monday .. 7 = Sunday of a day count since 1970-01-01 (a Thursday).
int weekdayOf(std::int64_t days) {
    int r = static_cast<int>((days + 3) % 7);
    if (r < 0) r += 7;
    return r + 1;
}

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

CivilTime civilFromSeconds(std::int64_t seconds) {
    const std::int64_t days = floorDiv(seconds, kDay);
    const std::int64_t rest = seconds - days * kDay;
    CivilTime t;
    civilFromDays(days, t.year, t.month, t.day);
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    t.weekday = weekdayOf(days);
    return t;
}

std::int64_t secondsFromCivil(int year, int month, int day, int hour, int minute, int second) {
    return daysFromCivil(year, month, day) * kDay + hour * 3600 + minute * 60 + second;
}

std::int64_t toSeconds(TimePoint t) {
    return std::chrono::floor<std::chrono::seconds>(t).time_since_epoch().count();
}

TimePoint fromSeconds(std::int64_t seconds) { return TimePoint{std::chrono::seconds{seconds}}; }

TimePoint utcTime(int year, int month, int day, int hour, int minute, int second) {
    return fromSeconds(secondsFromCivil(year, month, day, hour, minute, second));
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return kDays[month - 1] + (month == 2 && leap);
}

int changeDay(int year, int month, int key) {
    if (month < 1 || month > 12 || key < 0 || key > 4) return 0;
    if (key == 0) {
        const int last = daysInMonth(year, month);
        const int wd = weekdayOf(daysFromCivil(year, month, last));
        return last - wd % 7;  // a Sunday (7) stays; Monday (1) .. Saturday (6) go back wd days
    }
    const int wd = weekdayOf(daysFromCivil(year, month, 1));
    const int firstSunday = 1 + (7 - wd) % 7;
    return firstSunday + 7 * (key - 1);
}

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
