// The public holidays of Poland as date ranges of a relay program, so that a
// holiday block (the highest priority, no commands) keeps every bell silent
// on them. Holidays on a fixed day are every-year ranges; the ones that move
// with Easter (Easter Sunday and Monday, Pentecost, Corpus Christi) are
// ranges of their own year, one per year of the chosen span. Easter Sunday
// and Pentecost always fall on a Sunday but are listed so that a program
// with Sunday bells is silent on them too.
//
// The movable ranges carry a description of their own, so a later run can
// tell the ranges it made from the ones the user typed. A run never takes
// away a day still to come: it removes only its own movable ranges of years
// that have ended, to free places in the centre's list.
#pragma once

#include <string_view>
#include <utility>
#include <vector>

#include "CivilTime.h"
#include "DateRangePlan.h"
#include "ProgramRecords.h"
#include "SqlDatabase.h"

namespace kt64::program {

// Easter Sunday of a year of the Gregorian calendar (1583 onwards).
CivilDate easterSunday(int year);

// The holidays of the years from..to (both included), block 0, ordered as
// listed above. 24 December is a holiday from 2025: an every-year range when
// the span starts in 2025 or later, else a range of each such year.
std::vector<DateRow> polishHolidays(int fromYear, int toYear);

// The calendar years of the school year of today (September to June) and
// the next four: 2026..2031 both on 1 September 2026 and on 30 June 2027.
std::pair<int, int> fiveSchoolYears(const CivilDate& today);

// Whether a range was made by polishHolidays as a movable holiday.
bool isMovableHoliday(const DateRow& date);

// The change a run for the years from..to makes to block (0: a new one
// named newBlockName) on the day today. A block that holds the every-year
// 24-26 December of a run from 2025 on, given a span that starts before,
// gets that range split into 25-26 December every year and 24 December of
// each year from 2025 to the last its holidays reach, so that 24 December
// of the earlier years is not a day off and no later one is lost.
DateRangePlan planHolidays(Database& db, std::int64_t block, const std::string& newBlockName, int fromYear, int toYear,
                           const CivilDate& today);

}  // namespace kt64::program
