// The program evaluator behind the chart: blocks in force per day, the
// command lookup and its cursor rule, weekdays, every operation's relay
// state, the sample records, and agreement with the per-day SQL selection.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "BellPlan.h"
#include "ChartGeometry.h"
#include "ProgramEvaluator.h"
#include "ProgramFixture.h"
#include "ScratchTableSource.h"
#include "Switchings.h"

namespace kt64::test {
namespace {

using namespace kt64::program;

constexpr std::uint32_t kOnBit = kRelayOnBit;
constexpr CivilDate kFriday{2024, 5, 10};

// State words of row for count samples every step minutes from start.
std::vector<std::uint32_t> run(ProgramEvaluator& e, int row, LocalSeconds start, int count, int step = 1) {
    std::vector<std::uint32_t> out;
    e.beginRow(row);
    for (int i = 0; i < count; ++i) out.push_back(e.evaluate(start + LocalSeconds{i} * step * 60, row));
    e.endRow(row);
    return out;
}

std::vector<std::uint32_t> runDay(OpenProgram& p, CivilDate day, int row = 0, int days = 1) {
    ProgramEvaluator e(p.document.database(), p.messages);
    return run(e, row, localSeconds(day), days * 1440 + 1);
}

int minute(int h, int m, int day = 0) { return day * 1440 + h * 60 + m; }

TEST(Evaluator, BlocksInForceByPriorityAndDateRules) {
    const CivilDate day{2024, 5, 10};
    auto yearly = [](std::int64_t prio, std::int64_t block, CivilDate from, CivilDate to) {
        return DatedBlock{prio, from, to, true, block, {}};
    };
    auto everyYear = [](std::int64_t prio, std::int64_t block, CivilDate from, CivilDate to) {
        return DatedBlock{prio, from, to, false, block, {}};
    };
    struct Case {
        const char* name;
        std::vector<DatedBlock> rows;
        CivilDate day;
        std::vector<std::int64_t> blocks;
    } cases[] = {
        {"no dates", {}, day, {1}},
        {"one day, priority 2", {yearly(2, 5, day, day)}, day, {5}},
        {"the day after", {yearly(2, 5, day, day)}, {2024, 5, 11}, {1}},
        {"another year", {yearly(2, 5, {2023, 5, 10}, {2023, 5, 10})}, day, {1}},
        {"equal priority adds",
         {yearly(2, 5, day, day), yearly(1, 7, day, day), yearly(2, 6, {2024, 5, 1}, {2024, 5, 31})},
         day,
         {5, 6}},
        {"higher replaces", {yearly(2, 5, day, day), yearly(3, 8, day, day)}, day, {8}},
        {"priority 0 adds to block 1", {yearly(0, 4, day, day)}, day, {1, 4}},
        {"every year", {everyYear(1, 3, {1999, 5, 1}, {1999, 5, 31})}, day, {3}},
        {"every year, end before start", {everyYear(1, 3, {2023, 12, 20}, {2024, 1, 6})}, {2024, 12, 24}, {1}},
        {"every year, end before start, January", {everyYear(1, 3, {2023, 12, 20}, {2024, 1, 6})}, {2025, 1, 2}, {1}},
        {"29 February every year", {everyYear(1, 3, {2256, 2, 29}, {2255, 3, 1})}, {2023, 3, 1}, {3}},
        {"29 February not on 28th", {everyYear(1, 3, {2256, 2, 29}, {2256, 2, 29})}, {2023, 2, 28}, {1}},
        {"missing date", {DatedBlock{2, std::nullopt, day, true, 5, {}}}, day, {1}},
    };
    for (const auto& c : cases) EXPECT_EQ(blocksInForce(c.rows, c.day), c.blocks) << c.name;
}

TEST(Evaluator, SwitchOnInBlockOneHoldsToTheEndOfTheChart) {
    OpenProgram p;
    insertCommand(p.db(), commandRow(1, 1, kOn, 7, 0));
    const auto s = runDay(p, kFriday, 0, 2);
    for (int m = 0; m < static_cast<int>(s.size()); ++m) {
        const std::uint32_t expected = m < minute(7, 0) ? std::uint32_t{kNothingInForce} : (kOn | kOnBit);
        ASSERT_EQ(s[static_cast<std::size_t>(m)], expected) << "minute " << m;
    }
}

TEST(Evaluator, DatedBlocksReplaceOrJoinBlockOneOnTheirDay) {
    OpenProgram p;
    const CivilDate day = kFriday;
    const auto a = p.addBlock(2), b = p.addBlock(2), c = p.addBlock(1);
    for (auto block : {a, b, c}) insertDate(p.db(), dateRow(block, day, day, true));
    insertCommand(p.db(), commandRow(1, 1, kOn, 6, 0));
    insertCommand(p.db(), commandRow(a, 1, kOff, 8, 0));
    insertCommand(p.db(), commandRow(b, 1, kImpulsePlus, 9, 0, kAllWeek, 3, true));
    insertCommand(p.db(), commandRow(c, 1, kOn, 10, 0));
    const auto s = runDay(p, {2024, 5, 9}, 0, 3);  // Thursday .. Saturday
    EXPECT_EQ(s[minute(6, 0)], kOn | kOnBit);
    EXPECT_EQ(s[minute(6, 0, 1)], kOn | kOnBit);  // block 1's 6:00 is not in force on the day
    EXPECT_EQ(s[minute(8, 0, 1)], kOff);
    EXPECT_EQ(s[minute(9, 3, 1)], kImpulsePlus | kOnBit);
    EXPECT_EQ(s[minute(9, 4, 1)], kImpulsePlus);
    EXPECT_EQ(s[minute(10, 30, 1)], kImpulsePlus);  // block c's priority 1 contributes nothing
    EXPECT_EQ(s[minute(5, 59, 2)], kImpulsePlus);
    EXPECT_EQ(s[minute(6, 0, 2)], kOn | kOnBit);
}

TEST(Evaluator, WeekdayMaskSkipsCommandsAndThePreviousStaysInForce) {
    OpenProgram p;
    insertCommand(p.db(), commandRow(1, 1, kOn, 7, 0));
    insertCommand(p.db(), commandRow(1, 1, kOff, 8, 0, kMondayToFriday));
    const auto s = runDay(p, kFriday, 0, 3);  // Friday .. Sunday
    EXPECT_EQ(s[minute(8, 0)], kOff);
    EXPECT_EQ(s[minute(7, 30, 1)], kOn | kOnBit);
    EXPECT_EQ(s[minute(8, 0, 1)], kOn | kOnBit);
    EXPECT_EQ(s[minute(23, 59, 2)], kOn | kOnBit);
}

TEST(Evaluator, ImpulsesLastTheirLengthInclusiveOfTheLastMinute) {
    for (int op : {kImpulsePlus, kImpulseMinus}) {
        OpenProgram p;
        insertCommand(p.db(), commandRow(1, 1, op, 8, 0, kAllWeek, 3, true));
        insertCommand(p.db(), commandRow(1, 1, op, 12, 0, kAllWeek, 5, false));  // 5 s shows for the minute
        const auto s = runDay(p, kFriday);
        const std::uint32_t on = op == kImpulsePlus ? kOnBit : 0, off = kOnBit ^ on;
        EXPECT_EQ(s[minute(7, 59)], kNothingInForce);
        for (int m = 0; m <= 3; ++m) EXPECT_EQ(s[minute(8, m)], op | on) << "8:0" << m;
        EXPECT_EQ(s[minute(8, 4)], op | off);
        EXPECT_EQ(s[minute(12, 0)], op | on);
        EXPECT_EQ(s[minute(12, 1)], op | off);
    }
}

TEST(Evaluator, CycleShowsAPeriodOneMinuteLongerThanItsOwn) {
    for (int op : {kCyclePlus, kCycleMinus}) {
        OpenProgram p;
        insertCommand(p.db(), commandRow(1, 1, op, 8, 0, kAllWeek, 1, true, 5, true));
        const auto s = runDay(p, kFriday);
        std::vector<int> onMinutes;
        for (int m = minute(7, 0); m < minute(9, 0); ++m) {
            const bool on = (s[static_cast<std::size_t>(m)] & kOnBit) != 0;
            if (on == (op == kCyclePlus) && m >= minute(8, 0)) onMinutes.push_back(m - minute(8, 0));
            if (m < minute(8, 0)) {
                ASSERT_EQ(s[static_cast<std::size_t>(m)], kNothingInForce);
            }
        }
        EXPECT_EQ(std::vector<int>(onMinutes.begin(), onMinutes.begin() + 4), (std::vector<int>{5, 11, 17, 23}))
            << "operation " << op;
    }
}

// What the centre switches, per program and day: an impulse or cycle runs
// only on the days its weekday mask names, from its own time; on other days
// the relay stays as the last command taken left it. Expected on-minutes are
// counted from the chart's start; a cycle sampled once a minute shows one
// minute more per period (see CycleShowsAPeriodOneMinuteLongerThanItsOwn).
TEST(Evaluator, WeekdayMasksOperationsAndDaysSwitchAsTheCentreDoes) {
    constexpr CivilDate kMonday{2024, 5, 6};
    struct Span {
        int from, to;  // minutes, inclusive
    };
    auto cycling = [](int from, int to, int period) {
        std::vector<Span> on;
        for (int m = from + period; m <= to; m += period + 1) on.push_back({m, m});
        return on;
    };
    struct Case {
        const char* name;
        std::vector<CommandRow> commands;
        CivilDate start;
        int days;
        std::vector<Span> on;
        int nothingUntil;  // minutes with no command in force yet
    } cases[] = {
        {"Impuls+ Monday only, a week",
         {commandRow(1, 1, kImpulsePlus, 8, 0, 0x01, 3, true)},
         kMonday,
         7,
         {{minute(8, 0), minute(8, 3)}},
         minute(8, 0)},
        {"Impuls+ Monday to Friday over a weekend",
         {commandRow(1, 1, kImpulsePlus, 8, 0, kMondayToFriday, 3, true)},
         kFriday,
         4,
         {{minute(8, 0), minute(8, 3)}, {minute(8, 0, 3), minute(8, 3, 3)}},
         minute(8, 0)},
        {"Impuls- Monday to Friday over a weekend",
         {commandRow(1, 1, kImpulseMinus, 8, 0, kMondayToFriday, 3, true)},
         kFriday,
         4,
         {{minute(8, 4), minute(7, 59, 3)}, {minute(8, 4, 3), minute(0, 0, 4)}},
         minute(8, 0)},
        {"Impuls+ every day, Wyłączony Monday to Friday after it",
         {commandRow(1, 1, kImpulsePlus, 8, 0, kAllWeek, 3, true), commandRow(1, 1, kOff, 12, 0, kMondayToFriday)},
         kFriday,
         4,
         {{minute(8, 0), minute(8, 3)},
          {minute(8, 0, 1), minute(8, 3, 1)},
          {minute(8, 0, 2), minute(8, 3, 2)},
          {minute(8, 0, 3), minute(8, 3, 3)}},
         minute(8, 0)},
        {"Impuls+ late on Friday runs past midnight",
         {commandRow(1, 1, kImpulsePlus, 23, 58, kMondayToFriday, 5, true)},
         kFriday,
         2,
         {{minute(23, 58), minute(0, 3, 1)}},
         minute(23, 58)},
        {"Cykl+ Monday only keeps cycling until another command",
         {commandRow(1, 1, kCyclePlus, 16, 0, 0x01, 1, true, 5, true)},
         kMonday,
         2,
         cycling(minute(16, 0), minute(0, 0, 2), 5),
         minute(16, 0)},
        {"Cykl+ Monday to Friday, Wyłączony every night",
         {commandRow(1, 1, kOff, 0, 0), commandRow(1, 1, kCyclePlus, 7, 30, kMondayToFriday, 1, true, 5, true)},
         kFriday,
         2,
         cycling(minute(7, 30), minute(23, 59), 5),
         0},
    };
    for (const auto& c : cases) {
        OpenProgram p;
        for (const auto& command : c.commands) insertCommand(p.db(), command);
        const auto s = runDay(p, c.start, 0, c.days);
        for (int m = 0; m < static_cast<int>(s.size()); ++m) {
            const bool on = std::any_of(c.on.begin(), c.on.end(), [m](Span x) { return x.from <= m && m <= x.to; });
            const std::uint32_t state = s[static_cast<std::size_t>(m)];
            const bool right = m < c.nothingUntil ? state == kNothingInForce : ((state & kOnBit) != 0) == on;
            if (!right) {
                ADD_FAILURE() << c.name << ": day " << m / 1440 << " " << m % 1440 / 60 << ":" << m % 60 << " shows "
                              << std::hex << state;
                break;
            }
        }
    }
}

// Between two samples of a coarse chart every command due is taken in
// order; the last one is in force and runs from its own time (7:10).
TEST(Evaluator, CommandsDueSinceThePreviousSampleAreTakenInOrder) {
    OpenProgram p;
    insertCommand(p.db(), commandRow(1, 1, kOn, 7, 0));
    insertCommand(p.db(), commandRow(1, 1, kOff, 7, 5));
    insertCommand(p.db(), commandRow(1, 1, kImpulsePlus, 7, 10, kAllWeek, 30, true));
    insertCommand(p.db(), commandRow(1, 1, kOn, 23, 50));
    ProgramEvaluator e(p.document.database(), p.messages);
    // 6:40, 7:00, ... 8:20, then 23:40 and midnight: 23:50 is still taken.
    e.beginRow(0);
    std::vector<std::uint32_t> s;
    for (int i = 0; i < 6; ++i) s.push_back(e.evaluate(localSeconds(kFriday, {6, 40 + 20 * i, 0}), 0));
    s.push_back(e.evaluate(localSeconds(kFriday, {23, 40, 0}), 0));
    s.push_back(e.evaluate(localSeconds({2024, 5, 11}), 0));
    e.endRow(0);
    EXPECT_EQ(s,
              (std::vector<std::uint32_t>{kNothingInForce, kOn | kOnBit, kImpulsePlus | kOnBit, kImpulsePlus | kOnBit,
                                          kImpulsePlus, kImpulsePlus, kImpulsePlus, kOn | kOnBit}));
}

// Bells per weekday of a week, as the chart shows them and as the export
// and the plan resolve them: every command whose minute has come is taken,
// whatever other weekdays' commands share its minute.
TEST(Evaluator, EveryBellOfEveryWeekdayIsShown) {
    constexpr CivilDate kMonday{2024, 5, 6};
    using Week = std::array<std::vector<int>, 7>;  // bell minutes of the day, Monday .. Sunday
    std::vector<int> lessons;                      // 123 bells, 7:00 .. 17:10
    for (int i = 0; i < 123; ++i) lessons.push_back(minute(7, 0) + 5 * i);
    auto sameMinutes = [&](std::initializer_list<int> days) {
        std::vector<CommandRow> rows;
        for (const int d : days)
            for (const int m : lessons) rows.push_back(commandRow(1, 1, kImpulsePlus, m / 60, m % 60, d, 5));
        return rows;
    };
    // Cykl+ every day at 7:30 with 1 min of 6: on every 7 minutes sampled
    // once a minute (see CycleShowsAPeriodOneMinuteLongerThanItsOwn), from
    // 7:36 on each day, the night's bells continuing the evening's.
    std::vector<int> cycleDay;
    for (int m = 0; m < 1440; ++m)
        if ((m - minute(7, 30) + 1440) % 1440 % 7 == 6) cycleDay.push_back(m);
    struct Case {
        const char* name;
        std::vector<CommandRow> commands;
        Week bells;
    } cases[] = {
        {"separate Monday, Tuesday and Wednesday commands at the same minutes",
         sameMinutes({0x01, 0x02, 0x04}),
         {{lessons, lessons, lessons, {}, {}, {}, {}}}},
        {"Friday's commands listed before Thursday's",
         sameMinutes({0x10, 0x08}),
         {{{}, {}, {}, lessons, lessons, {}, {}}}},
        {"a cycle taken again the next day starts afresh",
         {commandRow(1, 1, kCyclePlus, 7, 30, kAllWeek, 1, true, 6, true)},
         {{cycleDay, cycleDay, cycleDay, cycleDay, cycleDay, cycleDay, cycleDay}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OpenProgram p;
        {
            Transaction t(p.db());
            for (const auto& command : c.commands) insertCommand(p.db(), command);
            t.commit();
        }
        // The export's and the plan's switchings.
        Week resolved;
        const CivilDate sunday = dateFromDayNumber(dayNumber(kMonday) + 6);
        for (const Switching& s : resolveSwitchings(p.db(), kMonday, sunday)) {
            const auto day = dayNumber(dateOf(s.start)) - dayNumber(kMonday);
            if (s.relay == 1 && day >= 0) resolved[static_cast<std::size_t>(day)].push_back(secondsOfDay(s.start) / 60);
        }
        // The chart's columns, from the day before so the night is known.
        Week charted;
        const auto states = runDay(p, dateFromDayNumber(dayNumber(kMonday) - 1), 0, 8);
        for (std::size_t m = 1441; m < states.size() - 1; ++m) {
            if ((states[m] & kOnBit) && !(states[m - 1] & kOnBit))
                charted[(m - 1440) / 1440].push_back((m - 1440) % 1440);
        }
        for (std::size_t d = 0; d < 7; ++d) {
            EXPECT_EQ(resolved[d].size(), c.bells[d].size()) << "export, " << weekdayName(static_cast<int>(d));
            EXPECT_EQ(resolved[d], c.bells[d]) << "export, " << weekdayName(static_cast<int>(d));
            EXPECT_EQ(charted[d], c.bells[d]) << "chart, " << weekdayName(static_cast<int>(d));
        }
    }
}

TEST(Evaluator, RowsAreIndependentAndKeepTheirSamples) {
    OpenProgram p;
    const auto c1 = insertCommand(p.db(), commandRow(1, 1, kCyclePlus, 0, 0, kAllWeek, 10, false, 30, true));
    const auto c2 = insertCommand(p.db(), commandRow(1, 2, kOn, 7, 0));
    ProgramEvaluator e(p.document.database(), p.messages);
    const LocalSeconds start = localSeconds(kFriday);
    run(e, 0, start, 1441);
    const auto relay2 = run(e, 1, start, 1441);
    EXPECT_EQ(relay2[minute(6, 59)], kNothingInForce);
    EXPECT_EQ(relay2[minute(7, 0)], kOn | kOnBit);
    EXPECT_EQ(e.evaluate(start, 1), 0u);  // after endRow
    ASSERT_EQ(e.sampleCount(0), 1441u);
    ASSERT_EQ(e.sampleCount(1), 1441u);
    EXPECT_EQ(e.sample(1, 1441), nullptr);

    const SampleRecord* s = e.sample(0, 600);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(*s, (SampleRecord{kCyclePlus, 10, 30, 0x01, static_cast<std::int32_t>(c1), 1}));
    EXPECT_EQ(*e.sample(1, 0), SampleRecord{});
    EXPECT_EQ(e.sample(1, minute(7, 0))->id, c2);

    const SampleInfo info = describeSample(*s, start + 600 * 60, 0);
    EXPECT_EQ(info.relay, "1");
    EXPECT_EQ(info.time, "10/05/2024 10:00");
    EXPECT_EQ(info.state, "Cykl+");
    EXPECT_EQ(info.impulse, "10 s");
    EXPECT_EQ(info.cycle, "30 m");
    EXPECT_EQ(info.command, std::to_string(c1));
    EXPECT_EQ(info.block, "1");
    EXPECT_TRUE(info.impulseShown && info.cycleShown);
    const SampleInfo none = describeSample(SampleRecord{}, start, 1);
    EXPECT_EQ(none.state, " --------");
    EXPECT_EQ(none.command, "Brak");
    EXPECT_FALSE(none.impulseShown || none.cycleShown);
}

TEST(Evaluator, WithoutAProgramOrWithABrokenOneNothingIsEvaluated) {
    OpenProgram p;
    ProgramEvaluator closed(nullptr, p.messages);
    EXPECT_EQ(run(closed, 0, 0, 3), std::vector<std::uint32_t>(3, 0));

    EXPECT_EQ(runDay(p, kFriday), std::vector<std::uint32_t>(1441, kNothingInForce));  // empty program

    p.db().execute("DROP TABLE Daty");
    ProgramEvaluator broken(p.document.database(), p.messages);
    EXPECT_EQ(run(broken, 0, 0, 3), std::vector<std::uint32_t>(3, 0));
    ASSERT_EQ(p.messages.entries.size(), 1u);
    EXPECT_EQ(p.messages.entries[0].text, "Błąd bazy danych 3: no such table: Daty");
}

TEST(Evaluator, AgreesWithThePerDaySqlSelectionOnRandomPrograms) {
    const unsigned seed = testSeed("random programs");
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 4; ++round) {
        OpenProgram p;
        Transaction t(p.db());
        std::vector<std::int64_t> blocks{1};
        for (int i = 0; i < 8; ++i) blocks.push_back(p.addBlock(pick(0, 3)));
        for (int i = 0; i < 20; ++i) {
            const CivilDate from{pick(2023, 2024), pick(1, 12), pick(1, 28)};
            const CivilDate to = pick(0, 2) == 0 ? from : CivilDate{pick(2023, 2025), pick(1, 12), pick(1, 28)};
            insertDate(p.db(), dateRow(blocks[static_cast<std::size_t>(pick(1, 8))], from, to, pick(0, 1) == 1));
        }
        for (int i = 0; i < 80; ++i) {
            insertCommand(p.db(), commandRow(blocks[static_cast<std::size_t>(pick(0, 8))], pick(1, 2), pick(0, 5),
                                             pick(0, 23), pick(0, 59), pick(0, 127), pick(1, 20), pick(0, 1) == 1,
                                             pick(1, 40), pick(0, 1) == 1));
        }
        t.commit();
        const LocalSeconds start = localSeconds({pick(2023, 2024), pick(1, 12), pick(1, 28)});
        ProgramSnapshot snapshot(p.db());
        ScratchTableSource scratch(p.db());
        for (int row = 0; row < 2; ++row) {
            RowEvaluation fast(snapshot, row), reference(scratch, row);
            for (int i = 0; i < 7 * 1440 / 5; ++i) {
                const LocalSeconds at = start + LocalSeconds{i} * 300;
                ASSERT_EQ(fast.evaluate(at), reference.evaluate(at)) << "seed " << seed << " sample " << i;
            }
            EXPECT_EQ(fast.samples(), reference.samples());
        }
    }
}

}  // namespace
}  // namespace kt64::test
