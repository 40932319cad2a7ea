// The civil calendar of every program: day numbers counted from 1 January
// 1970 and the dates and weekdays they stand for, month lengths, and the
// Sunday that a change of time names. The arithmetic is <chrono>'s
// (year_month_day, sys_days, weekday, last); this module only adapts it to
// the plain integer fields that dates, the centre's frames and the program
// files keep, so that a date means the same day in the link server, the
// emulator, the relay program and the synchronisation service.
//
// The calendar is the proleptic Gregorian one, without time zones; years are
// those <chrono> can name (-32767..32767), which covers every caller's range.
//
// Its three types are the project's one way to hold civil time: CivilDate
// and TimeOfDay (a day, a time of day, both ordered as the calendar runs)
// and CivilTime (a moment to the second with its weekday). OLE dates and the
// SYSTEMTIME-like fields stay where the interface or a stored file needs
// them (platform/ole).
#pragma once

#include <compare>
#include <cstdint>

namespace kt64::calendar {

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

// Day number of a date counted from 1970-01-01 (negative before it). A day
// past its month's end counts on into the next months (31 April is 1 May),
// and a month outside 1..12 counts into the neighbouring years, so fields
// read from a frame or a text never make the result unspecified.
std::int64_t dayNumber(int year, int month, int day);
inline std::int64_t dayNumber(const CivilDate& date) { return dayNumber(date.year, date.month, date.day); }

CivilDate civilDate(std::int64_t dayNumber);

// 1 = Monday .. 7 = Sunday.
int isoWeekday(std::int64_t dayNumber);

inline constexpr std::int64_t kSecondsPerDay = 86400;

// A moment of the calendar to the second, without a zone: the clocks the
// centre keeps, the program's local times and the synchronisation schedule
// all count seconds from 1970-01-01 00:00 of their own clock.
struct CivilTime {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int weekday = 4;  // 1 = Monday .. 7 = Sunday (1 January 1970 was a Thursday)

    friend bool operator==(const CivilTime&, const CivilTime&) = default;
};

// The calendar fields of a count of seconds since 1970-01-01 00:00; a
// negative count falls on the days before it.
CivilTime civilFromSeconds(std::int64_t seconds);

// Seconds since 1970-01-01 00:00 of calendar fields; fields outside their
// ranges count on as dayNumber's do.
std::int64_t secondsFromCivil(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
// The weekday is not read: the fields alone name the moment.
inline std::int64_t secondsFromCivil(const CivilTime& t) {
    return secondsFromCivil(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

bool isLeapYear(int year);
// 28..31; 0 for a month outside 1..12.
int daysInMonth(int year, int month);
// A real date of years 1..9999.
bool isValidDate(int year, int month, int day);
inline bool isValid(const CivilDate& date) { return isValidDate(date.year, date.month, date.day); }
// 00:00:00..23:59:59.
bool isValid(const TimeOfDay& time);

// Day of the month of the Sunday that a change key names: key 0 the last
// Sunday of the month, keys 1..4 the first to fourth. 0 for a key above 4
// or a month outside 1..12.
int changeSunday(int year, int month, int key);

// Division rounding towards minus infinity, for splitting a count of
// seconds into days and the second of the day.
constexpr std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

}  // namespace kt64::calendar
