// Days off from an iCalendar file (".ics", as school and municipal
// calendars publish them and calendar programs export them) as date ranges
// of a relay program. Every event gives the days it touches: an all-day
// event its days (DTEND is the day after the last), a timed event the days
// from its start to its end. A yearly recurrence on the event's own date
// becomes an every-year range (two of them when it crosses the year end,
// since an every-year range cannot); any other recurrence becomes one range
// of its own year per occurrence within the span. Events that lie wholly
// outside the span, and cancelled ones, are left out.
//
// The file is read with libical. A file it cannot read whole is refused
// whole: CalendarError names the line (counted as in the file, folded lines
// included) and what is wrong there.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ProgramRecords.h"

namespace kt64::program {

class CalendarError : public std::runtime_error {
public:
    CalendarError(std::string text, int line) : std::runtime_error(std::move(text)), line_(line) {}
    int line() const { return line_; }

private:
    int line_;
};

// The ranges of the calendar text, for the years fromYear..toYear; name is
// the file's name shown in errors.
std::vector<DateRow> readCalendar(std::string_view text, const std::string& name, int fromYear, int toYear);
std::vector<DateRow> readCalendarFile(const std::filesystem::path& file, int fromYear, int toYear);

}  // namespace kt64::program
