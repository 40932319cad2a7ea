// The weekly bell plan's content: ISO weeks, the days off and blocks in
// force, the bells per day and relay, their texts, and the pages.
#include <gtest/gtest.h>

#include "BellPlan.h"
#include "ProgramFixture.h"

namespace kt64::test {
namespace {

using namespace kt64::program;

LocalSeconds at(CivilDate day, int hour, int minute, int second = 0) {
    return localSeconds(day, TimeOfDay{hour, minute, second});
}

TEST(BellPlan, IsoWeeks) {
    struct Case {
        std::string_view text;
        std::optional<CivilDate> monday;
    } cases[] = {
        {"2024-W19", CivilDate{2024, 5, 6}},
        {"2024-W01", CivilDate{2024, 1, 1}},
        {"2021-W01", CivilDate{2021, 1, 4}},
        {"2026-W01", CivilDate{2025, 12, 29}},
        {"2020-W53", CivilDate{2020, 12, 28}},
        {"2021-W53", std::nullopt},
        {"2024-W00", std::nullopt},
        {"2024W19", std::nullopt},
        {"2024-w19", std::nullopt},
        {"2024-W1", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        const auto week = parseIsoWeek(c.text);
        ASSERT_EQ(week.has_value(), c.monday.has_value());
        if (!week) continue;
        EXPECT_EQ(mondayOf(*week), c.monday);
        // Every day of the week belongs to it.
        for (int d = 0; d < 7; ++d) EXPECT_EQ(isoWeekOf(dateFromDayNumber(dayNumber(*c.monday) + d)), *week);
    }
}

TEST(BellPlan, BellTexts) {
    const CivilDate sunday{2024, 5, 12}, monday{2024, 5, 13};
    struct Case {
        PlanBell bell;
        std::string text;
    } cases[] = {
        {{at(sunday, 8, 0), at(sunday, 8, 0, 5), kImpulsePlus, ""}, "8:00  5 s"},
        {{at(sunday, 8, 5), at(sunday, 8, 8), kImpulsePlus, ""}, "8:05  3 min"},
        {{at(sunday, 12, 30), at(sunday, 12, 31, 30), kCyclePlus, ""}, "12:30  1 min 30 s"},
        {{at(sunday, 7, 0), at(sunday, 15, 30), kOn, ""}, "7:00–15:30"},
        {{at(sunday, 22, 0), at(monday, 6, 0), kOn, ""}, "22:00–pn 6:00"},
        {{at(sunday, 8, 0), at(sunday, 8, 0, 5), kImpulsePlus, "Dzwonek – początek lekcji 1"},
         "8:00  5 s  Dzwonek – początek lekcji 1"},
    };
    for (const auto& c : cases) EXPECT_EQ(bellText(c.bell), c.text);
}

TEST(BellPlan, DaysOffBlocksAndBells) {
    OpenProgram p;
    const CivilDate wed{2024, 5, 8}, thu{2024, 5, 9};
    const auto holiday = insertBlock(p.db(), BlockRow{0, 9, "Dni wolne"});
    // Named by the date's description and the block, each once, though two
    // of the block's ranges hold the day.
    DateRow corpusChristi = dateRow(holiday, wed, wed, true);
    corpusChristi.description = "Boże Ciało";
    insertDate(p.db(), corpusChristi);
    insertDate(p.db(), dateRow(holiday, wed, wed, false));
    const auto bridge = insertBlock(p.db(), BlockRow{0, 9, "Dni wolne"});
    insertDate(p.db(), dateRow(bridge, wed, wed, true));
    // Priority 0 joins block 1: its day is no day off though it has no commands.
    const auto joining = insertBlock(p.db(), BlockRow{0, 0, "Apel"});
    insertDate(p.db(), dateRow(joining, thu, thu, true));
    CommandRow bell = commandRow(1, 1, kImpulsePlus, 8, 0, kMondayToFriday, 5);
    bell.description = "Dzwonek";
    insertCommand(p.db(), bell);
    insertCommand(p.db(), commandRow(1, 2, kOn, 7, 30, kMondayToFriday));
    insertCommand(p.db(), commandRow(1, 2, kOff, 9, 0, kMondayToFriday));
    const WeekPlan plan = weekPlan(p.db(), {2024, 19});
    EXPECT_EQ(planTitle(plan), "Plan dzwonków: tydzień 19/2024 (6.05.2024–12.05.2024)");
    for (int d = 0; d < 7; ++d) {
        SCOPED_TRACE(d);
        const PlanDay& day = plan.days[static_cast<std::size_t>(d)];
        EXPECT_EQ(day.date, dateFromDayNumber(dayNumber(CivilDate{2024, 5, 6}) + d));
        EXPECT_EQ(day.dayOff, d == 2 ? std::optional<std::string>("Boże Ciało – Dni wolne") : std::nullopt);
        const bool school = d < 5 && d != 2;
        const std::vector<PlanBell> relay1 = {{at(day.date, 8, 0), at(day.date, 8, 0, 5), kImpulsePlus, "Dzwonek"}};
        const std::vector<PlanBell> relay2 = {{at(day.date, 7, 30), at(day.date, 9, 0), kOn, ""}};
        EXPECT_EQ(day.bells[0], school ? relay1 : std::vector<PlanBell>{});
        EXPECT_EQ(day.bells[1], school ? relay2 : std::vector<PlanBell>{});
    }
    EXPECT_EQ(plan.days[2].blocks, std::vector<std::string>{"Dni wolne"});
    EXPECT_EQ(plan.days[3].blocks, (std::vector<std::string>{"Blok 1", "Apel"}));

    // Block 1 alone without commands is an empty program, not a week off.
    OpenProgram empty;
    for (const auto& day : weekPlan(empty.db(), {2024, 19}).days) EXPECT_EQ(day.dayOff, std::nullopt);
}

// Three weeks, a holiday on the first Wednesday and an extra bell on the
// last Monday: the typical week is the ordinary one.
TEST(BellPlan, TypicalWeekIsTheMostFrequentDayOfEachWeekday) {
    OpenProgram p;
    const CivilDate first{2024, 5, 6}, wed{2024, 5, 8}, lastMonday{2024, 5, 20};
    const auto holiday = insertBlock(p.db(), BlockRow{0, 9, "Dni wolne"});
    insertDate(p.db(), dateRow(holiday, wed, wed, true));
    const auto extra = insertBlock(p.db(), BlockRow{0, 0, "Apel"});
    insertDate(p.db(), dateRow(extra, lastMonday, lastMonday, true));
    insertCommand(p.db(), commandRow(1, 1, kImpulsePlus, 8, 0, kMondayToFriday, 5));
    insertCommand(p.db(), commandRow(extra, 1, kImpulsePlus, 9, 0, kAllWeek, 5));
    const WeekPlan plan = typicalWeek(p.db(), first, {2024, 5, 26});
    EXPECT_EQ(planTitle(plan), "Plan dzwonków: typowy tydzień 6.05.2024–26.05.2024");
    for (int d = 0; d < 7; ++d) {
        SCOPED_TRACE(d);
        const PlanDay& day = plan.days[static_cast<std::size_t>(d)];
        EXPECT_EQ(day.dayOff, std::nullopt);
        EXPECT_EQ(day.blocks, std::vector<std::string>{"Blok 1"});
        EXPECT_EQ(day.bells[0].size(), d < 5 ? 1u : 0u);
        EXPECT_EQ(dayHeading(day), d == 0 || d == 2 ? "2 z 3 dni" : "3 z 3 dni");
    }
    // Each weekday's day is one of that weekday.
    EXPECT_EQ(plan.days[2].date, (CivilDate{2024, 5, 15}));
}

TEST(BellPlan, PagesPerRelayAndLines) {
    auto planWith = [](std::size_t relay1, std::size_t relay2) {
        WeekPlan plan;
        plan.days[4].bells[0].resize(relay1);
        plan.days[1].bells[1].resize(relay2);
        return plan;
    };
    struct Case {
        const char* name;
        WeekPlan plan;
        std::vector<PlanPage> pages;
    } cases[] = {
        {"no bells: one page", planWith(0, 0), {{1, 0}}},
        {"relay 2 alone", planWith(0, 3), {{2, 0}}},
        {"a full page", planWith(20, 0), {{1, 0}}},
        {"one line more", planWith(21, 1), {{1, 0}, {1, 20}, {2, 0}}},
    };
    for (const auto& c : cases) EXPECT_EQ(planPages(c.plan, 20), c.pages) << c.name;
}

}  // namespace
}  // namespace kt64::test
