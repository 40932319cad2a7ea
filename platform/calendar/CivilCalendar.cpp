#include "CivilCalendar.h"

#include <chrono>

namespace kt64::calendar {

namespace chr = std::chrono;

std::int64_t dayNumber(int year, int month, int day) {
    // Bring the month into 1..12 first: <chrono> leaves the day count of a
    // month that is not ok() unspecified, but counts a day of 1..31 past the
    // month's end on into the next month, which is what callers expect.
    const std::int64_t months = static_cast<std::int64_t>(year) * 12 + (month - 1);
    const auto y = static_cast<int>(floorDiv(months, 12));
    const auto m = static_cast<unsigned>(months - static_cast<std::int64_t>(y) * 12 + 1);
    const chr::year_month_day first{chr::year{y}, chr::month{m}, chr::day{1}};
    return chr::sys_days{first}.time_since_epoch().count() + (day - 1);
}

CivilDate civilDate(std::int64_t dayNumber) {
    const chr::year_month_day ymd{chr::sys_days{chr::days{dayNumber}}};
    return CivilDate{static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
                     static_cast<int>(static_cast<unsigned>(ymd.day()))};
}

bool isValid(const TimeOfDay& time) {
    return time.hour >= 0 && time.hour < 24 && time.minute >= 0 && time.minute < 60 && time.second >= 0 &&
           time.second < 60;
}

int isoWeekday(std::int64_t dayNumber) {
    return static_cast<int>(chr::weekday{chr::sys_days{chr::days{dayNumber}}}.iso_encoding());
}

CivilTime civilFromSeconds(std::int64_t seconds) {
    const std::int64_t days = floorDiv(seconds, kSecondsPerDay);
    const std::int64_t rest = seconds - days * kSecondsPerDay;
    const CivilDate date = civilDate(days);
    CivilTime t;
    t.year = date.year;
    t.month = date.month;
    t.day = date.day;
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    t.weekday = isoWeekday(days);
    return t;
}

std::int64_t secondsFromCivil(int year, int month, int day, int hour, int minute, int second) {
    return dayNumber(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
}

bool isLeapYear(int year) { return chr::year{year}.is_leap(); }

int daysInMonth(int year, int month) {
    if (month < 1 || month > 12) return 0;
    const chr::year_month_day_last last{chr::year{year}, chr::month_day_last{chr::month{static_cast<unsigned>(month)}}};
    return static_cast<int>(static_cast<unsigned>(last.day()));
}

bool isValidDate(int year, int month, int day) {
    return year >= 1 && year <= 9999 && day >= 1 && day <= daysInMonth(year, month);
}

int changeSunday(int year, int month, int key) {
    if (month < 1 || month > 12 || key < 0 || key > 4) return 0;
    const chr::year y{year};
    const chr::month m{static_cast<unsigned>(month)};
    if (key == 0) {
        const chr::year_month_weekday_last last{y, m, chr::weekday_last{chr::Sunday}};
        return static_cast<int>(static_cast<unsigned>(chr::year_month_day{last}.day()));
    }
    const chr::year_month_weekday nth{y, m, chr::Sunday[static_cast<unsigned>(key)]};
    return static_cast<int>(static_cast<unsigned>(chr::year_month_day{nth}.day()));
}

}  // namespace kt64::calendar
