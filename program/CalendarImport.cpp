// Date ranges from an iCalendar file (see CalendarImport.h).
#include "CalendarImport.h"

#include <libical/ical.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>

#include "DateRangePlan.h"
#include "FileFailureText.h"
#include "ProgramTexts.h"
#include "TextFormat.h"
#include "TextEscapes.h"
#include "WholeFile.h"

namespace kt64::program {

namespace {

// A content line after unfolding, with the file line it starts on.
struct ContentLine {
    std::string text;
    int line = 0;
};

// One VEVENT as the pre-scan found it: where it starts and ends, and the
// lines of the properties whose values are checked here.
struct EventLines {
    int begin = 0, end = 0;
    int start = 0, finish = 0;  // DTSTART, DTEND
};

struct Scan {
    std::vector<ContentLine> lines;
    std::vector<EventLines> events;
};

std::string upper(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// The property name of a content line ("DTSTART" of "DTSTART;VALUE=DATE:...").
std::string propertyName(const std::string& line) { return upper(line.substr(0, line.find_first_of(";:"))); }

// Unfolds the lines and checks the frame libical takes on trust: a
// calendar, BEGIN and END in pairs, and name:value on every line.
Scan scanLines(std::string_view text, const std::string& name) {
    Scan scan;
    int number = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        std::string line(text.substr(pos, eol - pos));
        pos = eol + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !scan.lines.empty()) {
            scan.lines.back().text += line.substr(1);
        } else if (!line.empty()) {
            scan.lines.push_back({line, number});
        }
    }
    auto fault = [&](int line, std::string_view why) {
        return CalendarError(formatText(text::kCalendarFault, name.c_str(), line, std::string(why).c_str()), line);
    };
    if (scan.lines.empty() || upper(scan.lines[0].text) != "BEGIN:VCALENDAR")
        throw fault(scan.lines.empty() ? 1 : scan.lines[0].line, text::kCalendarNotCalendar);
    std::vector<std::pair<std::string, int>> open;
    for (const auto& l : scan.lines) {
        const auto colon = l.text.find(':');
        const std::string prop = propertyName(l.text);
        if (colon == std::string::npos || prop.empty() || !std::all_of(prop.begin(), prop.end(), [](char c) {
                return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
            }))
            throw fault(l.line, text::kCalendarBadLine);
        const std::string value = upper(l.text.substr(colon + 1));
        if (prop == "BEGIN") {
            open.emplace_back(value, l.line);
            if (value == "VEVENT") scan.events.push_back({l.line, 0, 0, 0});
        } else if (prop == "END") {
            if (open.empty() || open.back().first != value) throw fault(l.line, text::kCalendarUnbalanced);
            if (value == "VEVENT") scan.events.back().end = l.line;
            open.pop_back();
        } else if (!open.empty() && open.back().first == "VEVENT") {
            if (prop == "DTSTART" && !scan.events.back().start) scan.events.back().start = l.line;
            if (prop == "DTEND" && !scan.events.back().finish) scan.events.back().finish = l.line;
        }
    }
    if (!open.empty()) throw fault(open.back().second, text::kCalendarUnclosed);
    return scan;
}

// Occurrences of one recurrence looked at: a daily rule over 250 years.
constexpr int kMostOccurrences = 100000;

struct ComponentFree {
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};

// A DTSTART/DTEND value on the centre's clock: its day and minute of the
// day. Dates and floating times are taken as written; times in UTC or with
// a zone are moved into the centre's zone. libical takes any two digits for
// a time's fields ("T630000"); such a time is no time, and would otherwise
// become a later day in another zone than the same fields say elsewhere,
// putting an event's end before its start.
struct Placed {
    CivilDate day;
    int minute = 0;  // of the day
    bool timed = false;
    bool midnight() const { return minute == 0; }
    std::int64_t minutes() const { return dayNumber(day) * 1440 + minute; }
};

std::optional<Placed> place(icaltimetype t, icaltimezone* zone) {
    if (!t.is_date && (t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 60))
        return std::nullopt;
    if (!t.is_date && t.zone && zone) t = icaltime_convert_to_zone(t, zone);
    const CivilDate d{t.year, t.month, t.day};
    if (!isValid(d)) return std::nullopt;
    if (t.is_date) return Placed{d, 0, false};
    return Placed{d, t.hour * 60 + t.minute, true};
}

// The hours of lessons: a timed event that does not last from the first
// to the last of them on some day leaves that day's lessons as they are.
constexpr int kSchoolDayStart = 8 * 60, kSchoolDayEnd = 15 * 60;

bool coversASchoolDay(const Placed& start, const Placed& end) {
    // The first day whose lessons begin at or after the start.
    const std::int64_t from = start.minutes() - kSchoolDayStart;
    const std::int64_t day = from <= 0 ? 0 : (from + 1439) / 1440;
    return end.minutes() >= day * 1440 + kSchoolDayEnd;
}

std::string skippedText(const Placed& start, const Placed& end, const std::string& summary, bool recurring) {
    auto clock = [](int minute) { return formatText("%d:%02d", minute / 60, minute % 60); };
    auto day = [](const CivilDate& d) { return formatText("%02d.%02d.%04d", d.day, d.month, d.year); };
    std::string when = day(start.day) + " " + clock(start.minute) + "–";
    // An end at the midnight after the start day is that day's 24:00.
    const bool sameDay = end.minutes() <= (dayNumber(start.day) + 1) * 1440;
    when += sameDay ? clock(end.minutes() - dayNumber(start.day) * 1440) : day(end.day) + " " + clock(end.minute);
    return when + " " + summary + (recurring ? std::string(text::kCalendarRecurring) : "");
}

bool onlyTheStartDay(const icalrecurrencetype& r, const CivilDate& start) {
    auto none = [](const short* list) { return list[0] == ICAL_RECURRENCE_ARRAY_MAX; };
    auto onlyValue = [](const short* list, int v) { return list[0] == v && list[1] == ICAL_RECURRENCE_ARRAY_MAX; };
    return none(r.by_second) && none(r.by_minute) && none(r.by_hour) && none(r.by_day) && none(r.by_year_day) &&
           none(r.by_week_no) && none(r.by_set_pos) && (none(r.by_month) || onlyValue(r.by_month, start.month)) &&
           (none(r.by_month_day) || onlyValue(r.by_month_day, start.day));
}

// Where an error libical put into the calendar points in the file: its
// text ends with the offending line or value, after ": ".
int lineOfError(const std::string& error, const Scan& scan, int from, int to, int fallback) {
    for (auto colon = error.find(": "); colon != std::string::npos; colon = error.find(": ", colon + 1)) {
        const std::string tail = error.substr(colon + 2);
        if (tail.empty()) continue;
        for (const auto& l : scan.lines)
            if (l.line >= from && l.line <= to && l.text.find(tail) != std::string::npos) return l.line;
    }
    return fallback;
}

}  // namespace

CalendarContents readCalendar(std::string_view text, const std::string& fileName, const CalendarOptions& options) {
    const std::string& name = fileName;
    auto fault = [&](int line, std::string_view why) {
        return CalendarError(formatText(text::kCalendarFault, name.c_str(), line, std::string(why).c_str()), line);
    };
    // A byte-order mark, as some programs write before UTF-8, is no part
    // of the calendar; any other text than UTF-8 is refused at its line.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    for (std::size_t i = 0, line = 1; i < text.size();) {
        const std::size_t n = cli::utf8SequenceLength(text, i);
        if (n == 0) throw fault(static_cast<int>(line), text::kCalendarNotUtf8);
        line += text[i] == '\n';
        i += n;
    }
    icaltimezone* zone = icaltimezone_get_builtin_timezone(options.zone.c_str());
    if (!zone) throw CalendarError(formatText(text::kUnknownZone, options.zone.c_str()), 0);

    const Scan scan = scanLines(text, name);
    const std::string whole(text);
    std::unique_ptr<icalcomponent, ComponentFree> root(icalparser_parse_string(whole.c_str()));
    if (!root) throw fault(scan.lines[0].line, text::kCalendarNotCalendar);
    // The calendar itself first, then each of its events in file order.
    icalcomponent* calendar = root.get();
    if (icalcomponent_isa(calendar) == ICAL_XROOT_COMPONENT)
        calendar = icalcomponent_get_first_component(calendar, ICAL_VCALENDAR_COMPONENT);
    if (!calendar) throw fault(scan.lines[0].line, text::kCalendarNotCalendar);
    for (auto* p = icalcomponent_get_first_property(calendar, ICAL_XLICERROR_PROPERTY); p;
         p = icalcomponent_get_next_property(calendar, ICAL_XLICERROR_PROPERTY)) {
        const std::string error = icalproperty_get_xlicerror(p);
        throw fault(lineOfError(error, scan, 0, scan.lines.back().line, scan.lines[0].line), error);
    }

    CalendarContents contents;
    contents.name = fileName;
    for (auto* p = icalcomponent_get_first_property(calendar, ICAL_X_PROPERTY); p;
         p = icalcomponent_get_next_property(calendar, ICAL_X_PROPERTY)) {
        const char* x = icalproperty_get_x_name(p);
        const char* value = icalproperty_get_x(p);
        if (x && value && upper(x) == "X-WR-CALNAME" && *value) contents.name = value;
    }

    const CivilDate first{options.fromYear, 1, 1}, last{options.toYear, 12, 31};
    std::vector<DateRow>& out = contents.ranges;
    std::size_t index = 0;
    for (auto* event = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); event;
         event = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT), ++index) {
        const EventLines at = index < scan.events.size() ? scan.events[index] : EventLines{};
        for (auto* p = icalcomponent_get_first_property(event, ICAL_XLICERROR_PROPERTY); p;
             p = icalcomponent_get_next_property(event, ICAL_XLICERROR_PROPERTY)) {
            const std::string error = icalproperty_get_xlicerror(p);
            throw fault(lineOfError(error, scan, at.begin, at.end, at.begin), error);
        }
        if (icalcomponent_get_status(event) == ICAL_STATUS_CANCELLED) continue;
        const icaltimetype start = icalcomponent_get_dtstart(event);
        if (icaltime_is_null_time(start)) throw fault(at.start ? at.start : at.begin, text::kCalendarNoStart);
        const auto from = place(start, zone);
        if (!from) throw fault(at.start ? at.start : at.begin, text::kCalendarBadDate);
        Placed finish = *from;
        const icaltimetype end = icalcomponent_get_dtend(event);
        if (!icaltime_is_null_time(end)) {
            const auto endPlaced = place(end, zone);
            if (!endPlaced) throw fault(at.finish ? at.finish : at.begin, text::kCalendarBadDate);
            if (icaltime_compare(end, start) < 0)
                throw fault(at.finish ? at.finish : at.begin, text::kCalendarEndBeforeStart);
            finish = *endPlaced;
        }
        // DTEND is the first moment after the event: an event ending at
        // midnight does not touch the day it ends on.
        const CivilDate to =
            (finish.day > from->day && finish.midnight()) ? dateFromDayNumber(dayNumber(finish.day) - 1) : finish.day;
        const char* summary = icalcomponent_get_summary(event);
        const std::string description = summary ? summary : "";
        const std::int64_t length = dayNumber(to) - dayNumber(from->day);
        auto* rule = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY);

        if (from->timed && !options.shortTimedEvents && !coversASchoolDay(*from, finish)) {
            if (from->day <= last && (rule || to >= first))
                contents.skipped.push_back(skippedText(*from, finish, description, rule != nullptr));
            continue;
        }
        if (!rule) {
            if (to >= first && from->day <= last) out.push_back(dateRange(from->day, to, true, description));
            continue;
        }
        const icalrecurrencetype recurrence = icalproperty_get_rrule(rule);
        if (recurrence.freq == ICAL_YEARLY_RECURRENCE && recurrence.interval <= 1 && recurrence.count == 0 &&
            icaltime_is_null_time(recurrence.until) && onlyTheStartDay(recurrence, from->day) && length < 365) {
            const CivilDate yearlessFrom = yearlessDate(from->day.month, from->day.day);
            const CivilDate yearlessTo = yearlessDate(to.month, to.day);
            if (to.year == from->day.year) {
                out.push_back(dateRange(yearlessFrom, yearlessTo, false, description));
            } else {
                out.push_back(dateRange(yearlessFrom, yearlessDate(12, 31), false, description));
                out.push_back(dateRange(yearlessDate(1, 1), yearlessTo, false, description));
            }
            continue;
        }
        // Any other recurrence: its occurrences within the span, each a
        // range of its own year. The limit of the centre's list refuses a
        // span with more of them than it can hold, so at most that many
        // and one more are looked at.
        std::vector<CivilDate> skipped;
        for (auto* p = icalcomponent_get_first_property(event, ICAL_EXDATE_PROPERTY); p;
             p = icalcomponent_get_next_property(event, ICAL_EXDATE_PROPERTY)) {
            if (const auto d = place(icalproperty_get_exdate(p), zone)) skipped.push_back(d->day);
        }
        icalrecur_iterator* it = icalrecur_iterator_new(recurrence, start);
        if (!it)
            throw fault(lineOfError(icalproperty_as_ical_string(rule), scan, at.begin, at.end, at.begin),
                        text::kCalendarBadRule);
        // Bounded as well by the occurrences looked at, so that a rule of
        // every second since 1970 ends in good time.
        int taken = 0, seen = 0;
        for (icaltimetype next = icalrecur_iterator_next(it);
             !icaltime_is_null_time(next) && taken <= kMaxRecords && ++seen <= kMostOccurrences;
             next = icalrecur_iterator_next(it)) {
            const auto day = place(next, zone);
            if (!day || day->day > last) break;
            const CivilDate until = dateFromDayNumber(dayNumber(day->day) + length);
            if (until < first || std::find(skipped.begin(), skipped.end(), day->day) != skipped.end()) continue;
            out.push_back(dateRange(day->day, until, true, description));
            ++taken;
        }
        icalrecur_iterator_free(it);
    }
    return contents;
}

CalendarContents readCalendarFile(const std::filesystem::path& file, const CalendarOptions& options) {
    std::string text;
    try {
        text = readWholeFile(file, {0, 16 * 1024 * 1024, "a calendar file is at most 16 MiB"});
    } catch (const FileError& e) {
        throw CalendarError(formatText(text::kCalendarUnreadable, fileFailureText(e).c_str()), 0);
    }
    return readCalendar(text, file.filename().string(), options);
}

std::string markedDescription(const std::string& description, const std::string& name) {
    return formatText(text::kCalendarMark, description.c_str(), name.c_str());
}

DateRangePlan planCalendarImport(Database& db, std::int64_t block, const std::string& newBlockName,
                                 const CalendarContents& calendar, const CalendarOptions& options) {
    // Merged before they are marked, so that ranges joined into one carry
    // the mark once.
    std::vector<DateRow> wanted = mergeRanges(calendar.ranges);
    for (auto& r : wanted) r.description = markedDescription(r.description, calendar.name);
    const std::string mark = markedDescription("", calendar.name);
    return planDateRanges(db, block, newBlockName, std::move(wanted), [&](const DateRow& d) {
        const bool own = d.description.size() >= mark.size() &&
                         d.description.compare(d.description.size() - mark.size(), mark.size(), mark) == 0;
        // Ranges of years this import does not look at stay as they are.
        return own && (!d.inItsYearOnly || (d.to->year >= options.fromYear && d.from->year <= options.toYear));
    });
}

}  // namespace kt64::program
