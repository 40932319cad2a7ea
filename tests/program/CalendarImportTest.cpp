// Calendar files read into date ranges: a school's calendar of the shape
// calendar programs export, and files that are refused whole, by line.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <string>

#include "CalendarImport.h"

namespace kt64::program {
namespace {

// Times in UTC are read as the local day; the test fixes the zone.
class CalendarImport : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = getenv("TZ");
        previous_ = tz ? tz : "";
        hadZone_ = tz != nullptr;
        setenv("TZ", "Europe/Warsaw", 1);
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
    const auto ranges = readCalendarFile(std::string(KT64_TEST_CALENDARS) + "/school-year.ics", 2026, 2030);
    std::vector<std::string> got;
    for (const auto& r : ranges) got.push_back(shown(r));
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
            readCalendar(row.text, "szkola.ics", 2026, 2030);
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
    EXPECT_TRUE(readCalendar(text, "co-sekunde.ics", 2026, 2030).empty());
}

}  // namespace
}  // namespace kt64::program
