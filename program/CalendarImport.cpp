// Date ranges from an iCalendar file (see CalendarImport.h).
#include "CalendarImport.h"

#include <libical/ical.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <memory>
#include <optional>

#include "DateRangePlan.h"
#include "FileFailureText.h"
#include "ProgramTexts.h"
#include "TextFormat.h"
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

// The local calendar day of a DTSTART/DTEND value: its own date for dates
// and floating or zoned times, the local day for times in UTC. libical takes
// any two digits for a time's fields ("T630000"); such a time is no time,
// and would otherwise become a later day in UTC than the same fields say
// elsewhere, putting an event's end before its start.
std::optional<CivilDate> dayOf(const icaltimetype& t, bool& midnight) {
    if (!t.is_date && (t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 60))
        return std::nullopt;
    int year = t.year, month = t.month, day = t.day, hour = t.hour, minute = t.minute, second = t.second;
    if (!t.is_date && icaltime_is_utc(t)) {
        const std::time_t at = icaltime_as_timet(t);
        std::tm local{};
        localtime_r(&at, &local);
        year = local.tm_year + 1900, month = local.tm_mon + 1, day = local.tm_mday;
        hour = local.tm_hour, minute = local.tm_min, second = local.tm_sec;
    }
    midnight = t.is_date || (hour == 0 && minute == 0 && second == 0);
    const CivilDate d{year, month, day};
    if (!isValid(d)) return std::nullopt;
    return d;
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

std::vector<DateRow> readCalendar(std::string_view text, const std::string& name, int fromYear, int toYear) {
    const Scan scan = scanLines(text, name);
    auto fault = [&](int line, std::string_view why) {
        return CalendarError(formatText(text::kCalendarFault, name.c_str(), line, std::string(why).c_str()), line);
    };
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

    const CivilDate first{fromYear, 1, 1}, last{toYear, 12, 31};
    std::vector<DateRow> out;
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
        bool startMidnight = false, endMidnight = false;
        const auto from = dayOf(start, startMidnight);
        if (!from) throw fault(at.start ? at.start : at.begin, text::kCalendarBadDate);
        CivilDate to = *from;
        const icaltimetype end = icalcomponent_get_dtend(event);
        if (!icaltime_is_null_time(end)) {
            const auto endDay = dayOf(end, endMidnight);
            if (!endDay) throw fault(at.finish ? at.finish : at.begin, text::kCalendarBadDate);
            if (icaltime_compare(end, start) < 0)
                throw fault(at.finish ? at.finish : at.begin, text::kCalendarEndBeforeStart);
            // DTEND is the first moment after the event: an event ending at
            // midnight does not touch the day it ends on.
            to = (*endDay > *from && endMidnight) ? dateFromDayNumber(dayNumber(*endDay) - 1) : *endDay;
        }
        const char* summary = icalcomponent_get_summary(event);
        const std::string description = summary ? summary : "";
        const std::int64_t length = dayNumber(to) - dayNumber(*from);

        auto* rule = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY);
        if (!rule) {
            if (to >= first && *from <= last) out.push_back(dateRange(*from, to, true, description));
            continue;
        }
        const icalrecurrencetype recurrence = icalproperty_get_rrule(rule);
        if (recurrence.freq == ICAL_YEARLY_RECURRENCE && recurrence.interval <= 1 && recurrence.count == 0 &&
            icaltime_is_null_time(recurrence.until) && onlyTheStartDay(recurrence, *from) && length < 365) {
            const CivilDate yearlessFrom = yearlessDate(from->month, from->day);
            const CivilDate yearlessTo = yearlessDate(to.month, to.day);
            if (to.year == from->year) {
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
            bool ignored = false;
            if (const auto d = dayOf(icalproperty_get_exdate(p), ignored)) skipped.push_back(*d);
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
            bool ignored = false;
            const auto day = dayOf(next, ignored);
            if (!day || *day > last) break;
            const CivilDate until = dateFromDayNumber(dayNumber(*day) + length);
            if (until < first || std::find(skipped.begin(), skipped.end(), *day) != skipped.end()) continue;
            out.push_back(dateRange(*day, until, true, description));
            ++taken;
        }
        icalrecur_iterator_free(it);
    }
    return out;
}

std::vector<DateRow> readCalendarFile(const std::filesystem::path& file, int fromYear, int toYear) {
    std::string text;
    try {
        text = readWholeFile(file, {0, 16 * 1024 * 1024, "a calendar file is at most 16 MiB"});
    } catch (const FileError& e) {
        throw CalendarError(formatText(text::kCalendarUnreadable, fileFailureText(e).c_str()), 0);
    }
    return readCalendar(text, file.filename().string(), fromYear, toYear);
}

}  // namespace kt64::program
