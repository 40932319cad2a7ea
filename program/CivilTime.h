// Local moments and texts of dates and times as the relay program uses
// them: whole-second, zone-free civil time on the calendar's own CivilDate
// and TimeOfDay. A program file keeps dates as
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

#include "CivilCalendar.h"

namespace kt64::program {

// The calendar's own types and their checks and day numbers; the program
// adds its local seconds, weekday masks and ISO texts.
using calendar::CivilDate;
using calendar::dayNumber;
using calendar::isValid;
using calendar::TimeOfDay;

using LocalSeconds = std::int64_t;
inline constexpr int kSecondsPerDay = 86400;

// The date of a day number counted from 1970-01-01.
inline CivilDate dateFromDayNumber(std::int64_t days) { return calendar::civilDate(days); }

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
