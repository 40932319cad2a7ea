// Days off from an iCalendar file (".ics", as school and municipal
// calendars publish them and calendar programs export them) as date ranges
// of a relay program. Every event gives the days it touches: an all-day
// event its days (DTEND is the day after the last), a timed event the days
// from its start to its end. A timed event that does not last a whole
// school day (8:00 to 15:00) on some day - a meeting, an afternoon's
// consultations - would silence a day of lessons: it is left out and
// listed, unless asked for. Times with a zone (UTC or a TZID) are placed on
// the centre's days, in its zone, whatever the zone of this computer. A yearly recurrence on the event's own date
// becomes an every-year range (two of them when it crosses the year end,
// since an every-year range cannot); any other recurrence becomes one range
// of its own year per occurrence within the span. Events that lie wholly
// outside the span, and cancelled ones, are left out.
//
// The file is read with libical; it must be UTF-8, as iCalendar requires
// (a byte-order mark is allowed). A file it cannot read whole is refused
// whole: CalendarError names the line (counted as in the file, folded lines
// included) and what is wrong there.
//
// The ranges carry the calendar's name in their descriptions, so that the
// same calendar imported again replaces the ranges it made before.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "CivilTime.h"
#include "DateRangePlan.h"
#include "ProgramRecords.h"
#include "SqlDatabase.h"

namespace kt64::program {

class CalendarError : public std::runtime_error {
public:
    CalendarError(std::string text, int line) : std::runtime_error(std::move(text)), line_(line) {}
    int line() const { return line_; }

private:
    int line_;
};

// The zone of the centre's clock, in which times of a calendar are placed.
inline constexpr std::string_view kCentreZone = "Europe/Warsaw";

struct CalendarOptions {
    int fromYear = 0, toYear = 0;  // the years taken, both included
    std::string zone = std::string(kCentreZone);
    bool shortTimedEvents = false;  // timed events shorter than a school day as well
};

struct CalendarContents {
    // X-WR-CALNAME, else the file's name: what marks the ranges it gives.
    std::string name;
    std::vector<DateRow> ranges;
    // Timed events left out, each as "10.06.2027 14:00–16:00 Rada pedagogiczna".
    std::vector<std::string> skipped;
};

// The ranges of the calendar text; fileName is shown in errors and names
// a calendar without a name of its own.
CalendarContents readCalendar(std::string_view text, const std::string& fileName, const CalendarOptions& options);
CalendarContents readCalendarFile(const std::filesystem::path& file, const CalendarOptions& options);

// The description a range of the calendar named name is stored with.
std::string markedDescription(const std::string& description, const std::string& name);

// The change importing calendar makes to block (0: a new one named
// newBlockName): its ranges, merged and marked with its name, where the
// block's ranges an earlier import of the same calendar made within the
// years of options go unless they come again.
DateRangePlan planCalendarImport(Database& db, std::int64_t block, const std::string& newBlockName,
                                 const CalendarContents& calendar, const CalendarOptions& options);

}  // namespace kt64::program
