// The switchings as data: what the chart's evaluation turns into stretches
// of "relay on", and the CSV, JSON and iCalendar texts written from them
// (the calendar read back by libical's parser).
#include <gtest/gtest.h>
#include <libical/ical.h>

#include <set>

#include "ProgramEvaluator.h"
#include "ProgramFixture.h"
#include "SwitchingFormats.h"
#include "TextEscapes.h"
#include "Switchings.h"

namespace kt64::test {
namespace {

using namespace kt64::program;

constexpr CivilDate kWeekStart{2024, 5, 6};

LocalSeconds at(CivilDate day, int hour, int minute, int second = 0) {
    return localSeconds(day, TimeOfDay{hour, minute, second});
}
CivilDate plusDays(CivilDate d, int n) { return dateFromDayNumber(dayNumber(d) + n); }
CommandRow described(CommandRow c, std::string description) {
    c.description = std::move(description);
    return c;
}

TEST(Switchings, StretchesOfRelayOnWithTheirCommand) {
    struct Case {
        const char* name;
        std::vector<CommandRow> commands;
        CivilDate from, to;
        std::vector<Switching> expected;  // command and block filled from the insertions
    };
    const CivilDate tue = plusDays(kWeekStart, 1), sat = plusDays(kWeekStart, 5), sun = plusDays(kWeekStart, 6);
    const Case cases[] = {
        {"an impulse of seconds lasts its seconds, named by its command",
         {described(commandRow(1, 1, kImpulsePlus, 8, 0, kMondayToFriday, 5), "Dzwonek – początek lekcji 1")},
         kWeekStart,
         tue,
         {{1, at(kWeekStart, 8, 0), at(kWeekStart, 8, 0, 5), kImpulsePlus, 1, 1, "Dzwonek – początek lekcji 1"},
          {1, at(tue, 8, 0), at(tue, 8, 0, 5), kImpulsePlus, 1, 1, "Dzwonek – początek lekcji 1"}}},
        {"an impulse of minutes lasts its minutes, not the chart's last one too",
         {commandRow(1, 2, kImpulsePlus, 8, 0, kAllWeek, 3, true)},
         kWeekStart,
         kWeekStart,
         {{2, at(kWeekStart, 8, 0), at(kWeekStart, 8, 3), kImpulsePlus, 1, 1, ""}}},
        {"on until off",
         {commandRow(1, 1, kOn, 7, 0), commandRow(1, 1, kOff, 15, 30)},
         kWeekStart,
         kWeekStart,
         {{1, at(kWeekStart, 7, 0), at(kWeekStart, 15, 30), kOn, 1, 1, ""}}},
        {"on from before the span, still on at its end",
         {commandRow(1, 1, kOn, 20, 0, 0x10), commandRow(1, 1, kOff, 6, 0, 0x01)},
         sat,
         sun,
         {{1, at(plusDays(kWeekStart, 4), 20, 0), at(plusDays(kWeekStart, 7), 0, 0), kOn, 1, 1, ""}}},
        {"no command on the weekend days", {commandRow(1, 1, kImpulsePlus, 8, 0, kMondayToFriday, 5)}, sat, sun, {}},
        {"an inverted impulse is on around its impulse",
         {commandRow(1, 1, kImpulseMinus, 12, 0, kAllWeek, 1, true)},
         kWeekStart,
         kWeekStart,
         {{1, at(plusDays(kWeekStart, -1), 12, 2), at(kWeekStart, 12, 0), kImpulseMinus, 1, 1, ""},
          {1, at(kWeekStart, 12, 2), at(tue, 0, 0), kImpulseMinus, 1, 1, ""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpenProgram p;
        for (const auto& command : c.commands) insertCommand(p.db(), command);
        EXPECT_EQ(resolveSwitchings(p.db(), c.from, c.to), c.expected);
    }
}

// The minutes the switchings cover are the minutes the chart shows on.
TEST(Switchings, AgreeWithTheChart) {
    OpenProgram p;
    const auto block = p.addBlock(2);
    insertDate(p.db(), dateRow(block, plusDays(kWeekStart, 1), plusDays(kWeekStart, 1), true));
    for (const auto& c :
         {commandRow(1, 1, kOn, 6, 10), commandRow(1, 1, kOff, 6, 40),
          commandRow(1, 1, kImpulsePlus, 8, 0, kMondayToFriday, 2, true),
          commandRow(1, 1, kCyclePlus, 9, 0, kAllWeek, 2, true, 5, true), commandRow(1, 1, kOff, 10, 0),
          commandRow(block, 1, kImpulseMinus, 11, 0, kAllWeek, 1, true), commandRow(block, 1, kOff, 13, 0)})
        insertCommand(p.db(), c);
    ProgramEvaluator chart(p.document.database(), p.messages);
    const LocalSeconds start = localSeconds(kWeekStart);
    const int minutes = 2 * 1440;
    std::set<LocalSeconds> chartOn, exportedOn;
    chart.beginRow(0);
    for (int m = 0; m < minutes; ++m) {
        const LocalSeconds t = start + m * 60;
        if (chart.evaluate(t, 0) & kRelayOnBit) chartOn.insert(t);
    }
    chart.endRow(0);
    for (const auto& s : resolveSwitchings(p.db(), kWeekStart, plusDays(kWeekStart, 1))) {
        // An "Impuls+" shows in the chart up to the minute its impulse ends.
        const LocalSeconds end = s.operation == kImpulsePlus ? s.end + 60 : s.end;
        for (LocalSeconds t = s.start; t < end; t += 60) exportedOn.insert(t);
    }
    EXPECT_FALSE(chartOn.empty());
    EXPECT_EQ(exportedOn, chartOn);
}

TEST(Switchings, TextsAreEscapedForTheirFormat) {
    struct Case {
        std::string_view text;
        std::string csv, json, ics;
    } cases[] = {
        {"Lekcje", "Lekcje", "\"Lekcje\"", "Lekcje"},
        {"Przerwa, długa", "\"Przerwa, długa\"", "\"Przerwa, długa\"", "Przerwa\\, długa"},
        {"\"Duża\" przerwa", "\"\"\"Duża\"\" przerwa\"", "\"\\\"Duża\\\" przerwa\"", "\"Duża\" przerwa"},
        {"a;b\\c", "a;b\\c", "\"a;b\\\\c\"", "a\\;b\\\\c"},
        {"dwie\r\nlinie", "\"dwie\r\nlinie\"", "\"dwie\\r\\nlinie\"", "dwie\\nlinie"},
        {"=SUM(A1)", "'=SUM(A1)", "\"=SUM(A1)\"", "=SUM(A1)"},
        {std::string_view("tab\t\x01", 5), "tab\t\x01", "\"tab\\t\\u0001\"", "tab"},
        {"zły \xC5 bajt", "zły \xC5 bajt", "\"zły \xEF\xBF\xBD bajt\"", "zły \xEF\xBF\xBD bajt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        EXPECT_EQ(csvField(c.text), c.csv);
        EXPECT_EQ(cli::jsonString(c.text), c.json);
        EXPECT_EQ(icsText(c.text), c.ics);
    }
}

TEST(Switchings, CalendarLinesFoldAt75OctetsBetweenLetters) {
    const std::string line = "SUMMARY:" + std::string(66, 'a') + "żółć" + std::string(80, 'b');
    const std::string folded = icsLine(line);
    std::string unfolded;
    std::size_t pos = 0;
    while (pos < folded.size()) {
        const auto end = folded.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos);
        const std::string part = folded.substr(pos, end - pos);
        EXPECT_LE(part.size(), 75u);
        // A continuation never starts inside a letter.
        if (pos > 0) {
            EXPECT_NE(static_cast<unsigned char>(part[1]) & 0xC0, 0x80u) << part;
        }
        unfolded += pos > 0 ? part.substr(1) : part;
        pos = end + 2;
    }
    EXPECT_EQ(unfolded, line);
}

TEST(Switchings, TheCalendarReadsBackThroughLibical) {
    const BlockNames names = {{1, ""}, {3, "Przerwa, \"duża\"; żółć"}};
    const Switching switchings[] = {
        {1, at(kWeekStart, 8, 0), at(kWeekStart, 8, 0, 5), kImpulsePlus, 12, 3, ""},
        {2, at(kWeekStart, 7, 0), at(kWeekStart, 15, 30), kOn, 4, 1, ""},
        {1, at(kWeekStart, 8, 45), at(kWeekStart, 8, 45, 5), kImpulsePlus, 13, 3, "Dzwonek – początek lekcji 1"}};
    const std::string ics = switchingsIcs(switchings, names, at({2026, 12, 9}, 5, 30));
    icalcomponent* calendar = icalparser_parse_string(ics.c_str());
    ASSERT_NE(calendar, nullptr) << ics;
    EXPECT_EQ(icalcomponent_isa(calendar), ICAL_VCALENDAR_COMPONENT);
    EXPECT_EQ(icalcomponent_count_errors(calendar), 0) << icalcomponent_as_ical_string(calendar);
    EXPECT_EQ(icalrestriction_check(calendar), 1) << icalcomponent_as_ical_string(calendar);
    std::vector<std::string> summaries;
    std::vector<int> lengths;
    for (icalcomponent* e = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); e;
         e = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
        summaries.push_back(icalcomponent_get_summary(e));
        const icaltimetype start = icalcomponent_get_dtstart(e), end = icalcomponent_get_dtend(e);
        EXPECT_TRUE(!icaltime_is_utc(start) && start.zone == nullptr);
        EXPECT_EQ(start.year, 2024);
        EXPECT_EQ(start.day, 6);
        lengths.push_back(static_cast<int>(icaltime_as_timet(end) - icaltime_as_timet(start)));
        EXPECT_EQ(icaltime_as_ical_string(icalcomponent_get_dtstamp(e)), std::string("20261209T053000Z"));
    }
    // The command's description first, where there is one.
    EXPECT_EQ(summaries, (std::vector<std::string>{"Przekaźnik 1: Impuls+ (Przerwa, \"duża\"; żółć)",
                                                   "Przekaźnik 2: Załączony (Blok 1)",
                                                   "Dzwonek – początek lekcji 1 (Przekaźnik 1: Impuls+)"}));
    EXPECT_EQ(lengths, (std::vector<int>{5, 8 * 3600 + 30 * 60, 5}));
    icalcomponent_free(calendar);
}

TEST(Switchings, SpreadsheetAndJsonRows) {
    const BlockNames names = {{3, "Lekcje"}};
    const Switching switchings[] = {
        {1, at(kWeekStart, 8, 0), at(kWeekStart, 8, 0, 5), kImpulsePlus, 12, 3, "Dzwonek, lekcja 1"}};
    EXPECT_EQ(switchingsCsv(switchings, names),
              "Przekaźnik,Początek,Koniec,Operacja,Rozkaz,Blok,Opis bloku,Opis rozkazu\r\n"
              "1,2024-05-06 08:00:00,2024-05-06 08:00:05,Impuls+,12,3,Lekcje,\"Dzwonek, lekcja 1\"\r\n");
    EXPECT_EQ(switchingsJson(switchings, names),
              "[\n  {\"relay\": 1, \"start\": \"2024-05-06T08:00:00\", \"end\": \"2024-05-06T08:00:05\", "
              "\"operation\": \"Impuls+\", \"operationCode\": 2, \"command\": 12, \"block\": 3, "
              "\"blockName\": \"Lekcje\", \"description\": \"Dzwonek, lekcja 1\"}\n]\n");
    EXPECT_EQ(switchingsJson({}, names), "[\n]\n");
}

}  // namespace
}  // namespace kt64::test
