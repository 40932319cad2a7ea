// kt64prog's command line: the commands and options, parsed into a
// ProgCommand that ProgRunner carries out. Malformed command lines throw
// UsageError with a one-line reason.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "BellPlan.h"
#include "CivilTime.h"
#include "ProgramRecords.h"

namespace kt64::prog {

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class Verb {
    Help,
    New,
    List,
    Compile,
    Decode,
    Send,
    Receive,
    Chart,
    AddBlock,
    AddDate,
    AddCommand,
    AddHolidays,
    ImportCalendar,
    Export,
    Plan
};

enum class ExportFormat { Csv, Json, Ics };

struct ProgCommand {
    Verb verb = Verb::Help;
    std::optional<std::string> computer;  // --computer NAME[:PORT]
    bool yes = false;                     // --yes: answer every question Yes
    bool force = false;                   // --force: overwrite an existing file
    std::string file;                     // the program file (.dsk)
    std::string image;                    // compile/decode: the command-list file

    // chart
    std::optional<program::CivilDate> start;  // default: today
    int days = 1;
    int resolution = 1;

    // export, plan: the days from..to, both included
    program::CivilDate from;
    program::CivilDate to;
    ExportFormat format = ExportFormat::Csv;

    // plan: the week (default: this week), or the typical week of the days
    // from..to, and the PDF file to write
    std::optional<program::IsoWeek> week;
    bool typical = false;
    std::string pdf;

    // add-block, add-date, add-command
    bool split = false;  // add-date --split: a range without year across the year end as two
    program::BlockRow block;
    program::DateRow date;
    program::CommandRow command;

    // add-holidays, import-calendar: the block of days off (its number, or
    // its description: made when missing), the calendar file and the span
    // of years (default: this school year and the next four); the zone
    // times are placed in and whether timed events shorter than a school
    // day count as well
    std::string blockName;
    std::string calendar;
    std::optional<int> fromYear;
    std::optional<int> toYear;
    std::string zone;
    bool shortTimedEvents = false;
};

extern const char* const kUsage;

ProgCommand parseCommandLine(const std::vector<std::string>& args);

}  // namespace kt64::prog
