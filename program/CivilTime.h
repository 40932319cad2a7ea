// Calendar dates, times of day and local moments as the relay program uses
// them: whole-second, zone-free civil time. A program file keeps dates as
// ISO-8601 text ("2024-05-01") and times of day as "07:45:00", so that the
// database sorts them chronologically; the evaluator and the chart count
// time as seconds on the local calendar ("local seconds", 0 = 1970-01-01
// 00:00), which makes day changes and weekdays plain integer arithmetic.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kt64::program {

struct CivilDate {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    friend auto operator<=>(const CivilDate&, const CivilDate&) = default;
};

struct TimeOfDay {
    int hour = 0;    // 0..23
    int minute = 0;  // 0..59
    int second = 0;  // 0..59
    friend auto operator<=>(const TimeOfDay&, const TimeOfDay&) = default;
    int secondsOfDay() const { return hour * 3600 + minute * 60 + second; }
};

using LocalSeconds = std::int64_t;
inline constexpr int kSecondsPerDay = 86400;

bool isLeapYear(int year);
int daysInMonth(int year, int month);
// A real calendar date of the years 1..9999.
bool isValid(const CivilDate& date);
bool isValid(const TimeOfDay& time);

// Day number counted from 1970-01-01 and back.
std::int64_t dayNumber(const CivilDate& date);
CivilDate dateFromDayNumber(std::int64_t days);

// Weekday bit of the DzienTyg mask: Monday 0x01, Tuesday 0x02, ... Sunday 0x40.
int weekdayBit(const CivilDate& date);

LocalSeconds localSeconds(const CivilDate& date, const TimeOfDay& time = {});
CivilDate dateOf(LocalSeconds t);
TimeOfDay timeOf(LocalSeconds t);
inline int secondsOfDay(LocalSeconds t) {
    const auto s = t % kSecondsPerDay;
    return static_cast<int>(s < 0 ? s + kSecondsPerDay : s);
}

// "2024-05-01" and "07:45:00".
std::string isoDate(const CivilDate& date);
std::string isoTime(const TimeOfDay& time);

// Reads "YYYY-MM-DD", optionally followed by a time ("YYYY-MM-DD HH:MM:SS"
// or with 'T'), whose time part is ignored. Fails for anything else and for
// dates that do not exist.
std::optional<CivilDate> parseIsoDate(std::string_view text);
// Reads "HH:MM" or "HH:MM:SS", or the time part of "YYYY-MM-DD HH:MM:SS".
std::optional<TimeOfDay> parseIsoTime(std::string_view text);

}  // namespace kt64::program
