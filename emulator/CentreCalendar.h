// Civil calendar arithmetic of the emulated centre: UTC seconds to calendar
// fields and back, weekdays, month lengths and the day of a change of time
// named by its key (last, first, second, third or fourth Sunday of a month).
// Pure functions, proleptic Gregorian calendar, no time zones: the centre
// keeps GMT and adds its own offset.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "CivilCalendar.h"
#include "TimeSource.h"

namespace kt64::sim {

// UTC seconds to calendar fields and back, as every program counts them.
using calendar::civilFromSeconds;
using calendar::CivilTime;
using calendar::daysInMonth;
using calendar::secondsFromCivil;

// Whole seconds since the epoch of a time point, rounded down.
std::int64_t toSeconds(TimePoint t);
TimePoint fromSeconds(std::int64_t seconds);

// The UTC time point of calendar fields; convenience for options and tests.
TimePoint utcTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// Day of the month of the Sunday that a change key names in the given month:
// key 0 the last Sunday, keys 1..4 the first to fourth Sunday. Returns 0 for a
// key above 4 or a month outside 1..12.
int changeDay(int year, int month, int key);

// "YYYY-MM-DD HH:MM:SS" (a 'T' may stand for the blank; seconds optional).
std::optional<TimePoint> parseUtc(std::string_view text);

}  // namespace kt64::sim
