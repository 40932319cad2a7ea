// Parsing kt64prog's command line (see ProgCommand.h).
#include "ProgCommand.h"

#include "OptionScanner.h"
#include "Switchings.h"

#include <algorithm>
#include <cctype>
#include <string>

#include <charconv>
#include <string_view>
#include <tuple>

namespace kt64::prog {

using program::CivilDate;

const char* const kUsage =
    "Usage: kt64prog [--computer NAME[:PORT]] [--yes] [--force] COMMAND ARGS\n"
    "\n"
    "Relay programs (.dsk files):\n"
    "  new FILE                      make an empty program (block 1 only)\n"
    "  list FILE                     print the blocks, dates and commands\n"
    "  chart FILE [--start YYYY-MM-DD] [--days 1..7] [--resolution 1..20]\n"
    "                                print when each relay switches, as the chart shows it\n"
    "  export FILE --from YYYY-MM-DD --to YYYY-MM-DD [--format csv|json|ics]\n"
    "                                every time a relay is on over the days, with its command\n"
    "                                and block, for a spreadsheet or a calendar (default csv)\n"
    "  plan FILE [--week YYYY-Www | --from YYYY-MM-DD --to YYYY-MM-DD] [--pdf OUT.pdf]\n"
    "                                the week's bell plan (default: this week), or the typical\n"
    "                                week of the days, as text or as a PDF file to print\n"
    "  add-block FILE PRIORITY [--desc TEXT]\n"
    "  add-date FILE BLOCK FROM [TO] [--every-year [--split]] [--desc TEXT]\n"
    "                                FROM, TO as YYYY-MM-DD; TO defaults to FROM; a range\n"
    "                                --every-year that ends before it starts in the year\n"
    "                                applies on no day and is refused; --split stores it as\n"
    "                                FROM..31 December and 1 January..TO\n"
    "  add-command FILE BLOCK HH:MM OPERATION [--relay 1|2] [--days DAYS]\n"
    "              [--impulse N[s|m]] [--cycle N[s|m]] [--desc TEXT]\n"
    "                                OPERATION: off, on, impulse+, impulse-, cycle+, cycle- or 0..5;\n"
    "                                DAYS: a mask 0..127 or a list such as pn,wt,sr,cz,pt,so,nd\n"
    "  add-holidays FILE BLOCK [--from YEAR --to YEAR]\n"
    "                                public holidays as days off of BLOCK; movable ones for each\n"
    "                                year (default: this school year and the next four); those of\n"
    "                                years that have ended may go, no day to come ever does\n"
    "  import-calendar FILE BLOCK CALENDAR.ics [--from YEAR --to YEAR] [--timed-events]\n"
    "                  [--zone ZONE]\n"
    "                                the calendar's events as days off of BLOCK, replacing those\n"
    "                                an earlier import of the same calendar made; timed events\n"
    "                                shorter than a school day (8:00-15:00) are left out and\n"
    "                                listed unless --timed-events; times are placed in the\n"
    "                                centre's ZONE (default Europe/Warsaw)\n"
    "                                BLOCK: a block without commands, with a priority above every\n"
    "                                block with commands, by number or description; a description\n"
    "                                no block has makes a new one with priority 9\n"
    "\n"
    "The centre's command list (2905 bytes):\n"
    "  compile FILE IMAGE            write the program's command list to IMAGE\n"
    "  decode IMAGE FILE             make the new program FILE from a command list\n"
    "  send FILE                     send the program to the centre, showing the progress\n"
    "  receive FILE                  receive the centre's program into the new file FILE\n"
    "\n"
    "Options:\n"
    "  --computer NAME[:PORT]        the link server's computer (default: the CompName setting,\n"
    "                                else this computer)\n"
    "  --yes                         answer Yes to the confirmation questions\n"
    "  --force                       new, decode and receive may overwrite an existing FILE\n";

namespace {

std::optional<long long> number(std::string_view text) {
    long long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return v;
}

long long numberIn(std::string_view text, long long lo, long long hi, const std::string& what) {
    const auto v = number(text);
    if (!v || *v < lo || *v > hi)
        throw UsageError(what + " must be a number " + std::to_string(lo) + ".." + std::to_string(hi) + ", not '" +
                         std::string(text) + "'");
    return *v;
}

CivilDate dateArg(std::string_view text) {
    const auto d = program::parseIsoDate(text);
    if (!d || text.size() != 10) throw UsageError("not a date (YYYY-MM-DD): '" + std::string(text) + "'");
    return *d;
}

// "7:05" or "07:05".
program::TimeOfDay timeArg(std::string_view text) {
    const auto colon = text.find(':');
    const auto h = colon == std::string_view::npos ? std::nullopt : number(text.substr(0, colon));
    const auto m = colon == std::string_view::npos ? std::nullopt : number(text.substr(colon + 1));
    if (!h || !m || *h < 0 || *h > 23 || *m < 0 || *m > 59 || text.size() - colon != 3)
        throw UsageError("not a time (H:MM): '" + std::string(text) + "'");
    return program::TimeOfDay{static_cast<int>(*h), static_cast<int>(*m), 0};
}

// Lower case of ASCII and of the Polish letters (UTF-8), for names typed in
// any case.
std::string foldCase(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += static_cast<char>(std::tolower(c));
            continue;
        }
        if (i + 1 < text.size()) {
            const auto d = static_cast<unsigned char>(text[i + 1]);
            // Ą Ć Ę (C4 84/86/98), Ł Ń Ś Ź Ż (C5 81/83/9A/B9/BB), Ó (C3 93):
            // the lower-case letter follows each upper-case one.
            const bool upper = (c == 0xC4 && (d == 0x84 || d == 0x86 || d == 0x98)) ||
                               (c == 0xC5 && (d == 0x81 || d == 0x83 || d == 0x9A || d == 0xB9 || d == 0xBB));
            if (upper || (c == 0xC3 && d == 0x93)) {
                out += static_cast<char>(c);
                out += static_cast<char>(c == 0xC3 ? 0xB3 : d + 1);
                ++i;
                continue;
            }
        }
        out += static_cast<char>(c);
    }
    return out;
}

int operationArg(std::string_view text) {
    static const std::pair<std::string_view, int> kNames[] = {
        {"off", 0},       {"on", 1},        {"impulse+", 2}, {"impulse-", 3}, {"cycle+", 4}, {"cycle-", 5},
        {"Wyłączony", 0}, {"Załączony", 1}, {"Impuls+", 2},  {"Impuls-", 3},  {"Cykl+", 4},  {"Cykl-", 5},
    };
    // As listed by list and chart, in any case.
    for (const auto& [name, code] : kNames)
        if (foldCase(text) == foldCase(name)) return code;
    return static_cast<int>(numberIn(text, 0, 5, "OPERATION"));
}

int daysArg(std::string_view text) {
    if (const auto v = number(text)) return static_cast<int>(numberIn(text, 0, 127, "--days"));
    static const std::string_view kDays[] = {"pn", "wt", "sr", "cz", "pt", "so", "nd"};
    int mask = 0;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const auto comma = text.find(',', pos);
        const auto name = text.substr(pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos);
        int bit = -1;
        for (int i = 0; i < 7; ++i)
            if (name == kDays[i] || (i == 2 && name == "śr")) bit = i;
        if (bit < 0) throw UsageError("--days: unknown day '" + std::string(name) + "' (pn wt sr cz pt so nd)");
        mask |= 1 << bit;
        if (comma == std::string_view::npos) break;
        pos = comma + 1;
    }
    return mask;
}

// "5", "5s", "2m": a length and whether it is in minutes.
std::pair<int, bool> lengthArg(std::string_view text, const std::string& what) {
    bool minutes = false;
    if (!text.empty() && (text.back() == 's' || text.back() == 'm')) {
        minutes = text.back() == 'm';
        text.remove_suffix(1);
    }
    return {static_cast<int>(numberIn(text, 0, 127, what)), minutes};
}

ExportFormat formatArg(std::string_view text) {
    if (text == "csv") return ExportFormat::Csv;
    if (text == "json") return ExportFormat::Json;
    if (text == "ics") return ExportFormat::Ics;
    throw UsageError("--format must be csv, json or ics, not '" + std::string(text) + "'");
}

}  // namespace

ProgCommand parseCommandLine(const std::vector<std::string>& args) {
    static const std::vector<cli::OptionSpec> kOptions = {{"--computer", true, "a computer name"},
                                                          {"--start", true, "a date"},
                                                          {"--days", true},
                                                          {"--resolution", true, "minutes per pixel"},
                                                          {"--desc", true, "a description"},
                                                          {"--relay", true, "a relay number"},
                                                          {"--impulse", true, "a length"},
                                                          {"--cycle", true, "a length"},
                                                          {"--from", true, "a date or a year"},
                                                          {"--to", true, "a date or a year"},
                                                          {"--format", true, "csv, json or ics"},
                                                          {"--week", true, "a week"},
                                                          {"--pdf", true, "a file name"},
                                                          {"--yes", false},
                                                          {"--force", false},
                                                          {"--every-year", false},
                                                          {"--split", false},
                                                          {"--timed-events", false},
                                                          {"--zone", true, "a time zone"},
                                                          {"--help", false},
                                                          {"-h", false}};
    cli::ScannedLine a;
    try {
        a = cli::scanOptions(args, kOptions);
    } catch (const cli::OptionError& e) {
        throw UsageError(e.what());
    }

    ProgCommand c;
    if (a.has("--help") || a.has("-h")) return c;
    if (a.positional.empty()) return c;

    static const std::pair<std::string_view, Verb> kVerbs[] = {
        {"help", Verb::Help},
        {"new", Verb::New},
        {"list", Verb::List},
        {"compile", Verb::Compile},
        {"decode", Verb::Decode},
        {"send", Verb::Send},
        {"receive", Verb::Receive},
        {"chart", Verb::Chart},
        {"add-block", Verb::AddBlock},
        {"add-date", Verb::AddDate},
        {"add-command", Verb::AddCommand},
        {"add-holidays", Verb::AddHolidays},
        {"import-calendar", Verb::ImportCalendar},
        {"export", Verb::Export},
        {"plan", Verb::Plan},
    };
    const std::string& verb = a.positional[0];
    bool found = false;
    for (const auto& [name, v] : kVerbs) {
        if (verb == name) {
            c.verb = v;
            found = true;
        }
    }
    if (!found) throw UsageError("unknown command " + verb);
    if (c.verb == Verb::Help) return c;

    const std::vector<std::string> ops(a.positional.begin() + 1, a.positional.end());
    auto need = [&](std::size_t min, std::size_t max, const char* shape) {
        if (ops.size() < min || ops.size() > max) throw UsageError(verb + " " + shape);
    };
    switch (c.verb) {
    case Verb::New:
    case Verb::List:
    case Verb::Send:
    case Verb::Receive:
    case Verb::Chart:
    case Verb::Export:
    case Verb::Plan:
        need(1, 1, "FILE");
        c.file = ops[0];
        break;
    case Verb::Compile:
        need(2, 2, "FILE IMAGE");
        c.file = ops[0];
        c.image = ops[1];
        break;
    case Verb::Decode:
        need(2, 2, "IMAGE FILE");
        c.image = ops[0];
        c.file = ops[1];
        break;
    case Verb::AddBlock:
        need(2, 2, "FILE PRIORITY");
        c.file = ops[0];
        c.block.priority = numberIn(ops[1], 0, 9, "PRIORITY");
        break;
    case Verb::AddDate:
        need(3, 4, "FILE BLOCK FROM [TO]");
        c.file = ops[0];
        c.date.block = numberIn(ops[1], 1, INT32_MAX, "BLOCK");
        c.date.from = dateArg(ops[2]);
        c.date.to = ops.size() == 4 ? dateArg(ops[3]) : *c.date.from;
        c.date.inItsYearOnly = true;
        break;
    case Verb::AddCommand: {
        need(4, 4, "FILE BLOCK HH:MM OPERATION");
        c.file = ops[0];
        c.command.block = numberIn(ops[1], 1, INT32_MAX, "BLOCK");
        c.command.time = timeArg(ops[2]);
        c.command.operation = operationArg(ops[3]);
        // An impulse command's cycle is stored as 99, as the command dialog does.
        c.command.cycle = (c.command.operation == 2 || c.command.operation == 3) ? 99 : 2;
        break;
    }
    case Verb::AddHolidays:
    case Verb::ImportCalendar:
        if (c.verb == Verb::AddHolidays) need(2, 2, "FILE BLOCK");
        if (c.verb == Verb::ImportCalendar) need(3, 3, "FILE BLOCK CALENDAR.ics");
        c.file = ops[0];
        c.blockName = ops[1];
        // A number names a block (1 and up); any other text a description.
        if (!c.blockName.empty() && c.blockName.find_first_not_of("0123456789") == std::string::npos)
            numberIn(c.blockName, 1, INT32_MAX, "BLOCK");
        if (c.verb == Verb::ImportCalendar) c.calendar = ops[2];
        break;
    default:
        break;
    }

    for (const auto& [name, value] : a.options) {
        if (name == "--computer") {
            c.computer = value;
        } else if (name == "--yes") {
            c.yes = true;
        } else if (name == "--force") {
            c.force = true;
        } else if (name == "--start" && c.verb == Verb::Chart) {
            c.start = dateArg(value);
        } else if (name == "--days" && c.verb == Verb::Chart) {
            c.days = static_cast<int>(numberIn(value, 1, 7, "--days"));
        } else if (name == "--resolution" && c.verb == Verb::Chart) {
            c.resolution = static_cast<int>(numberIn(value, 1, 20, "--resolution"));
        } else if (name == "--from" && (c.verb == Verb::Export || c.verb == Verb::Plan)) {
            c.from = dateArg(value);
        } else if (name == "--to" && (c.verb == Verb::Export || c.verb == Verb::Plan)) {
            c.to = dateArg(value);
        } else if (name == "--format" && c.verb == Verb::Export) {
            c.format = formatArg(value);
        } else if (name == "--week" && c.verb == Verb::Plan) {
            c.week = program::parseIsoWeek(value);
            if (!c.week) throw UsageError("not a week (YYYY-Www, such as 2024-W19): '" + value + "'");
        } else if (name == "--pdf" && c.verb == Verb::Plan) {
            c.pdf = value;
        } else if (name == "--desc" &&
                   (c.verb == Verb::AddBlock || c.verb == Verb::AddDate || c.verb == Verb::AddCommand)) {
            c.block.description = c.date.description = c.command.description = value;
        } else if (name == "--every-year" && c.verb == Verb::AddDate) {
            c.date.inItsYearOnly = false;
        } else if (name == "--split" && c.verb == Verb::AddDate) {
            c.split = true;
        } else if (name == "--relay" && c.verb == Verb::AddCommand) {
            c.command.relay = numberIn(value, 1, 2, "--relay");
        } else if (name == "--days" && c.verb == Verb::AddCommand) {
            c.command.weekdays = daysArg(value);
        } else if (name == "--impulse" && c.verb == Verb::AddCommand) {
            std::tie(c.command.impulse, c.command.impulseInMinutes) = lengthArg(value, "--impulse");
        } else if (name == "--cycle" && c.verb == Verb::AddCommand) {
            std::tie(c.command.cycle, c.command.cycleInMinutes) = lengthArg(value, "--cycle");
        } else if ((name == "--from" || name == "--to") &&
                   (c.verb == Verb::AddHolidays || c.verb == Verb::ImportCalendar)) {
            // The years a command list can carry.
            (name == "--from" ? c.fromYear : c.toYear) = static_cast<int>(numberIn(value, 2000, 2254, name));
        } else if (name == "--timed-events" && c.verb == Verb::ImportCalendar) {
            c.shortTimedEvents = true;
        } else if (name == "--zone" && c.verb == Verb::ImportCalendar) {
            c.zone = value;
        } else {
            throw UsageError(name + " does not go with " + verb);
        }
    }
    if (c.fromYear && c.toYear && *c.toYear < *c.fromYear) throw UsageError("--to must not come before --from");
    if (c.verb == Verb::AddDate && c.date.inItsYearOnly && *c.date.to < *c.date.from)
        throw UsageError("add-date: TO lies before FROM");
    if (c.split && c.date.inItsYearOnly) throw UsageError("--split goes with --every-year");
    c.typical = c.verb == Verb::Plan && (a.has("--from") || a.has("--to"));
    if (c.typical && c.week) throw UsageError("plan takes --week or --from and --to, not both");
    if (c.verb == Verb::Export || c.typical) {
        if (!a.has("--from") || !a.has("--to")) throw UsageError(verb + " needs --from and --to");
        const auto days = program::dayNumber(c.to) - program::dayNumber(c.from) + 1;
        if (days < 1) throw UsageError("--to lies before --from");
        if (days > program::kMaxSwitchingDays)
            throw UsageError(verb + " covers at most " + std::to_string(program::kMaxSwitchingDays) + " days, not " +
                             std::to_string(days));
    }
    return c;
}

}  // namespace kt64::prog
