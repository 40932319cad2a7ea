// Calendar files read into date ranges: a school's calendar of the shape
// calendar programs export, and files that are refused whole, by line.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <string>

#include "CalendarImport.h"

namespace kt64::test {
namespace {

using namespace kt64::program;

// Times are placed in the centre's zone, never in this computer's: the
// tests run with the computer at UTC, as a server is often left.
class CalendarImport : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = getenv("TZ");
        previous_ = tz ? tz : "";
        hadZone_ = tz != nullptr;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        if (hadZone_) {
            setenv("TZ", previous_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::string previous_;
    bool hadZone_ = false;
};

std::string shown(const DateRow& r) {
    auto date = [&](const CivilDate& d) { return r.inItsYearOnly ? isoDate(d) : isoDate(d).replace(0, 4, "****"); };
    return date(*r.from) + ".." + date(*r.to) + " " + r.description;
}

TEST_F(CalendarImport, ASchoolYearsCalendar) {
    const std::string file = std::string(KT64_TEST_CALENDARS) + "/school-year.ics";
    const auto calendar = readCalendarFile(file, {2026, 2030, "Europe/Warsaw", true});
    EXPECT_EQ(calendar.name, "Rok szkolny 2026/2027");
    std::vector<std::string> got;
    for (const auto& r : calendar.ranges) got.push_back(shown(r));
    const std::vector<std::string> expected = {
        "2027-01-18..2027-01-31 Ferie zimowe",
        "****-10-14..****-10-14 Dzień Edukacji Narodowej",
        // A timed event gives every day it touches.
        "2027-03-22..2027-03-24 Rekolekcje wielkopostne",
        "2026-12-23..2027-01-01 Zimowa przerwa świąteczna",
        // Every year across the year end: two every-year ranges.
        "****-12-31..****-12-31 Przerwa noworoczna",
        "****-01-01..****-01-02 Przerwa noworoczna",
        // A counted yearly recurrence: one range per occurrence.
        "2026-11-20..2026-11-20 Święto patrona szkoły",
        "2027-11-20..2027-11-20 Święto patrona szkoły",
        "2028-11-20..2028-11-20 Święto patrona szkoły",
        // Ending at midnight: the next day is not touched.
        "2027-04-30..2027-04-30 Dzień wolny od zajęć dydaktycznych",
        // 23:00 UTC is 01:00 of the next day in Warsaw.
        "2027-06-11..2027-06-11 Egzamin ósmoklasisty (sala gimnastyczna)",
    };
    EXPECT_EQ(got, expected);
    // Without asking, the timed events shorter than a school day are left
    // out and listed.
    const auto usual = readCalendarFile(file, {2026, 2030});
    EXPECT_EQ(usual.ranges.size(), expected.size() - 2);
    EXPECT_EQ(usual.skipped, (std::vector<std::string>{
                                 "30.04.2027 18:00–24:00 Dzień wolny od zajęć dydaktycznych",
                                 "11.06.2027 1:00–3:00 Egzamin ósmoklasisty (sala gimnastyczna)",
                             }));
}

// What one event gives, by its times and the zone they are placed in.
TEST_F(CalendarImport, TimedEventsAndZones) {
    struct Row {
        const char* what;
        std::string lines;  // the event's properties
        CalendarOptions options;
        std::string range;  // empty: left out
        std::string skipped;
    };
    const CalendarOptions usual{2026, 2030};
    const Row rows[] = {
        {"UTC evening is the next day in Warsaw", "DTSTART:20270429T220000Z\r\nDTEND:20270430T220000Z\r\n", usual,
         "2027-04-30..2027-04-30 x", ""},
        {"recurring in UTC", "DTSTART:20270104T230000Z\r\nDTEND:20270105T230000Z\r\nRRULE:FREQ=WEEKLY;COUNT=2\r\n",
         usual, "2027-01-05..2027-01-05 x; 2027-01-12..2027-01-12 x", ""},
        {"in another zone named",
         "DTSTART:20270429T220000Z\r\nDTEND:20270430T220000Z\r\n",
         {2026, 2030, "America/New_York"},
         "2027-04-29..2027-04-30 x",
         ""},
        {"a zone of its own, moved to the centre's",
         "DTSTART;TZID=America/New_York:20270429T200000\r\nDTEND;TZID=America/New_York:20270430T160000\r\n", usual,
         "2027-04-30..2027-04-30 x", ""},
        {"a staff meeting", "DTSTART:20270610T140000\r\nDTEND:20270610T160000\r\n", usual, "",
         "10.06.2027 14:00–16:00 x"},
        {"weekly consultations", "DTSTART:20260907T150000\r\nDTEND:20260907T170000\r\nRRULE:FREQ=WEEKLY;COUNT=30\r\n",
         usual, "", "07.09.2026 15:00–17:00 x (i jego powtórzenia)"},
        {"asked for",
         "DTSTART:20270610T140000\r\nDTEND:20270610T160000\r\n",
         {2026, 2030, "Europe/Warsaw", true},
         "2027-06-10..2027-06-10 x",
         ""},
        {"a whole school day", "DTSTART:20270610T073000\r\nDTEND:20270610T153000\r\n", usual,
         "2027-06-10..2027-06-10 x", ""},
        {"a school day ends too soon", "DTSTART:20270610T073000\r\nDTEND:20270610T145900\r\n", usual, "",
         "10.06.2027 7:30–14:59 x"},
        {"over the night into a school day", "DTSTART:20270609T200000\r\nDTEND:20270610T150000\r\n", usual,
         "2027-06-09..2027-06-10 x", ""},
    };
    for (const auto& row : rows) {
        const std::string text =
            "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nSUMMARY:x\r\n" + row.lines + "END:VEVENT\r\nEND:VCALENDAR\r\n";
        const auto calendar = readCalendar(text, "k.ics", row.options);
        std::string range;
        for (const auto& r : calendar.ranges) range += (range.empty() ? "" : "; ") + shown(r);
        EXPECT_EQ(range, row.range) << row.what;
        EXPECT_EQ(calendar.skipped,
                  row.skipped.empty() ? std::vector<std::string>{} : std::vector<std::string>{row.skipped})
            << row.what;
    }
}

TEST_F(CalendarImport, WrongFilesAreRefusedWholeNamingTheLine) {
    const std::string head = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\n";  // lines 1-3
    const std::string tail = "END:VEVENT\r\nEND:VCALENDAR\r\n";
    struct Row {
        const char* what;
        std::string text;
        int line;
        const char* cause;
    };
    const Row rows[] = {
        {"not a calendar", "Przerwa;2027-01-18;2027-01-31\n", 1, "to nie jest plik iCalendar (brak BEGIN:VCALENDAR)"},
        {"Windows-1250", head + "SUMMARY:\xA3\xB9ka\r\n" + tail, 4,
         "znak spoza UTF-8: plik kalendarza musi być zapisany w UTF-8, tak wymaga format iCalendar"},
        {"a line without a colon", head + "DTSTART;VALUE=DATE:20270118\r\nSUMMARY Ferie\r\n" + tail, 5,
         "wiersz nie ma postaci NAZWA:wartość"},
        {"folded lines counted", head + "SUMMARY:Ferie\r\n  zimowe\r\nDTSTART;VALUE=DATE:20271318\r\n" + tail, 6,
         "niepoprawna data"},
        {"an event left open", head + "DTSTART;VALUE=DATE:20270118\r\nEND:VCALENDAR\r\n", 5,
         "END bez pasującego BEGIN"},
        {"no end at all", head + "DTSTART;VALUE=DATE:20270118\r\n", 3, "brak END dla tego BEGIN"},
        {"no start", head + "SUMMARY:Ferie\r\n" + tail, 3, "wydarzenie bez daty początku (DTSTART)"},
        {"an hour past 23", head + "DTSTART:20270610T630000Z\r\nDTEND:20270611T010000Z\r\n" + tail, 4,
         "niepoprawna data"},
        {"end before start", head + "DTSTART;VALUE=DATE:20270118\r\nDTEND;VALUE=DATE:20270110\r\n" + tail, 5,
         "koniec wydarzenia przed jego początkiem"},
        {"a rule libical cannot read", head + "DTSTART;VALUE=DATE:20270118\r\nRRULE:FREQ=YEARLY;BYFOO=3\r\n" + tail, 5,
         "RRULE"},
    };
    for (const auto& row : rows) {
        try {
            readCalendar(row.text, "szkola.ics", {2026, 2030});
            ADD_FAILURE() << row.what << ": read";
        } catch (const CalendarError& e) {
            EXPECT_EQ(e.line(), row.line) << row.what;
            const std::string prefix = "Błąd w pliku kalendarza szkola.ics, wiersz " + std::to_string(row.line) + ": ";
            EXPECT_EQ(std::string(e.what()).rfind(prefix, 0), 0u) << row.what << ": " << e.what();
            EXPECT_NE(std::string(e.what()).find(row.cause), std::string::npos) << row.what << ": " << e.what();
        }
    }
}

// A rule of every second since 1970 would take hours to walk to the span.
TEST_F(CalendarImport, ARecurrenceFarBeforeTheSpanEnds) {
    const std::string text =
        "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nDTSTART:19700101T000000\r\nRRULE:FREQ=SECONDLY\r\nSUMMARY:x\r\n"
        "END:VEVENT\r\nEND:VCALENDAR\r\n";
    EXPECT_TRUE(readCalendar(text, "co-sekunde.ics", {2026, 2030}).ranges.empty());
}

// A byte-order mark before the calendar, as some programs write it.
TEST_F(CalendarImport, AByteOrderMarkIsNoPartOfIt) {
    const std::string text =
        "\xEF\xBB\xBF"
        "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nDTSTART;VALUE=DATE:20270118\r\nSUMMARY:Ferie\r\n"
        "END:VEVENT\r\nEND:VCALENDAR\r\n";
    const auto calendar = readCalendar(text, "bom.ics", {2026, 2030});
    ASSERT_EQ(calendar.ranges.size(), 1u);
    EXPECT_EQ(shown(calendar.ranges[0]), "2027-01-18..2027-01-18 Ferie");
    EXPECT_EQ(calendar.name, "bom.ics");
}

}  // namespace
}  // namespace kt64::test
