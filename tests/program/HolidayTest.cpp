// Public holidays and many date ranges added at once: the holiday dates
// against published tables, the merging of ranges, and the change to a
// program file (what goes, what comes, the 400 limit, one transaction).
#include <gtest/gtest.h>

#include <algorithm>

#include "DateRangePlan.h"
#include "HolidayCalendar.h"
#include "ProgramFixture.h"
#include "ProgramTexts.h"

namespace kt64::test {
namespace {

using namespace kt64::program;

// Published dates of the movable holidays (Western Easter tables), not
// derived from the computus.
struct MovableDates {
    int year;
    CivilDate easter, easterMonday, pentecost, corpusChristi;
};
constexpr MovableDates kPublished[] = {
    {2024, {2024, 3, 31}, {2024, 4, 1}, {2024, 5, 19}, {2024, 5, 30}},
    {2025, {2025, 4, 20}, {2025, 4, 21}, {2025, 6, 8}, {2025, 6, 19}},
    {2026, {2026, 4, 5}, {2026, 4, 6}, {2026, 5, 24}, {2026, 6, 4}},
    {2027, {2027, 3, 28}, {2027, 3, 29}, {2027, 5, 16}, {2027, 5, 27}},
    {2028, {2028, 4, 16}, {2028, 4, 17}, {2028, 6, 4}, {2028, 6, 15}},
    {2029, {2029, 4, 1}, {2029, 4, 2}, {2029, 5, 20}, {2029, 5, 31}},
    {2030, {2030, 4, 21}, {2030, 4, 22}, {2030, 6, 9}, {2030, 6, 20}},
    {2031, {2031, 4, 13}, {2031, 4, 14}, {2031, 6, 1}, {2031, 6, 12}},
    {2032, {2032, 3, 28}, {2032, 3, 29}, {2032, 5, 16}, {2032, 5, 27}},
    {2033, {2033, 4, 17}, {2033, 4, 18}, {2033, 6, 5}, {2033, 6, 16}},
    {2034, {2034, 4, 9}, {2034, 4, 10}, {2034, 5, 28}, {2034, 6, 8}},
    {2035, {2035, 3, 25}, {2035, 3, 26}, {2035, 5, 13}, {2035, 5, 24}},
};

bool hasRange(const std::vector<DateRow>& rows, CivilDate from, CivilDate to, bool yearBound) {
    return std::any_of(rows.begin(), rows.end(),
                       [&](const DateRow& r) { return r.from == from && r.to == to && r.inItsYearOnly == yearBound; });
}

TEST(Holidays, MovableOnesMatchThePublishedTables) {
    const auto span = polishHolidays(2024, 2035);
    for (const auto& p : kPublished) {
        EXPECT_EQ(easterSunday(p.year), p.easter) << p.year;
        EXPECT_TRUE(hasRange(span, p.easter, p.easterMonday, true)) << p.year;
        EXPECT_TRUE(hasRange(span, p.pentecost, p.pentecost, true)) << p.year;
        EXPECT_TRUE(hasRange(span, p.corpusChristi, p.corpusChristi, true)) << p.year;
    }
    for (const auto& r : span) {
        EXPECT_EQ(isMovableHoliday(r), r.inItsYearOnly) << r.description;
    }
}

TEST(Holidays, FixedOnesAndChristmasEveFrom2025) {
    struct Row {
        int from, to;
        CivilDate christmasStart;   // of the every-year Christmas range (year ignored)
        std::vector<int> eveYears;  // 24 December as a day of its year
    };
    const Row rows[] = {
        {2025, 2030, {2025, 12, 24}, {}},
        {2024, 2026, {2024, 12, 25}, {2025, 2026}},
        {2023, 2024, {2023, 12, 25}, {}},
    };
    for (const auto& row : rows) {
        const auto list = polishHolidays(row.from, row.to);
        std::vector<std::pair<int, int>> everyYear;
        std::vector<int> eves;
        for (const auto& r : list) {
            if (!r.inItsYearOnly)
                everyYear.emplace_back(r.from->month * 100 + r.from->day, r.to->month * 100 + r.to->day);
            if (r.inItsYearOnly && r.from->month == 12) eves.push_back(r.from->year);
        }
        const int christmas = row.christmasStart.month * 100 + row.christmasStart.day;
        const std::vector<std::pair<int, int>> expected = {{101, 101}, {106, 106},   {501, 501},   {503, 503},
                                                           {815, 815}, {1101, 1101}, {1111, 1111}, {christmas, 1226}};
        EXPECT_EQ(everyYear, expected) << row.from;
        EXPECT_EQ(eves, row.eveYears) << row.from;
    }
}

TEST(DateRanges, MergeOverlappingAndAdjacentOfOneKind) {
    struct Row {
        const char* what;
        std::vector<DateRow> in;
        std::vector<DateRow> out;
    };
    auto dated = [](CivilDate a, CivilDate b) { return dateRow(0, a, b, true); };
    auto yearly = [](CivilDate a, CivilDate b) { return dateRow(0, a, b, false); };
    const Row rows[] = {
        {"overlapping",
         {dated({2026, 2, 10}, {2026, 2, 20}), dated({2026, 2, 15}, {2026, 2, 25})},
         {dated({2026, 2, 10}, {2026, 2, 25})}},
        {"inside",
         {dated({2026, 2, 10}, {2026, 2, 20}), dated({2026, 2, 12}, {2026, 2, 13})},
         {dated({2026, 2, 10}, {2026, 2, 20})}},
        {"adjacent across a month",
         {dated({2026, 2, 1}, {2026, 2, 28}), dated({2026, 3, 1}, {2026, 3, 2})},
         {dated({2026, 2, 1}, {2026, 3, 2})}},
        {"adjacent across the year end",
         {dated({2027, 1, 1}, {2027, 1, 3}), dated({2026, 12, 22}, {2026, 12, 31})},
         {dated({2026, 12, 22}, {2027, 1, 3})}},
        {"a day apart",
         {dated({2026, 5, 1}, {2026, 5, 1}), dated({2026, 5, 3}, {2026, 5, 3})},
         {dated({2026, 5, 1}, {2026, 5, 1}), dated({2026, 5, 3}, {2026, 5, 3})}},
        {"every year, years differ",
         {yearly({2024, 12, 24}, {2024, 12, 24}), yearly({2030, 12, 25}, {2030, 12, 26})},
         {yearly({2255, 12, 24}, {2255, 12, 26})}},
        {"every year and dated stay apart",
         {dated({2026, 1, 2}, {2026, 1, 2}), yearly({2026, 1, 1}, {2026, 1, 1})},
         {yearly({2255, 1, 1}, {2255, 1, 1}), dated({2026, 1, 2}, {2026, 1, 2})}},
        {"every year: 31 December and 1 January",
         {yearly({2026, 12, 31}, {2026, 12, 31}), yearly({2026, 1, 1}, {2026, 1, 1})},
         {yearly({2255, 1, 1}, {2255, 1, 1}), yearly({2255, 12, 31}, {2255, 12, 31})}},
        {"end before start dropped", {dated({2026, 3, 2}, {2026, 3, 1})}, {}},
    };
    for (const auto& row : rows) {
        const auto merged = mergeRanges(row.in);
        ASSERT_EQ(merged.size(), row.out.size()) << row.what;
        for (std::size_t i = 0; i < merged.size(); ++i) {
            EXPECT_EQ(merged[i].from, row.out[i].from) << row.what;
            EXPECT_EQ(merged[i].to, row.out[i].to) << row.what;
            EXPECT_EQ(merged[i].inItsYearOnly, row.out[i].inItsYearOnly) << row.what;
        }
    }
    auto a = dated({2026, 2, 1}, {2026, 2, 2}), b = dated({2026, 2, 3}, {2026, 2, 4});
    a.description = "Ferie";
    b.description = "Dzień dyrektora";
    EXPECT_EQ(mergeRanges({a, b})[0].description, "Ferie, Dzień dyrektora");
}

std::vector<DateRow> datesOf(Database& db, std::int64_t block) {
    std::vector<DateRow> out;
    for (auto& d : readDatesByBlock(db))
        if (d.block == block) out.push_back(d);
    return out;
}

TEST(DateRanges, HolidaysAddedAgainReplaceOnlyTheirOwnMovableDays) {
    OpenProgram p;
    const auto first = planDateRanges(p.db(), 0, "Dni wolne", polishHolidays(2026, 2027), isMovableHoliday);
    EXPECT_EQ(first.added.size(), 8u + 2 * 3);
    const std::int64_t block = applyDateRangePlan(p.db(), first);
    EXPECT_EQ(readBlocks(p.db()).back().priority, 9);
    EXPECT_EQ(readBlocks(p.db()).back().description, "Dni wolne");
    insertDate(p.db(), dateRow(block, {2027, 1, 18}, {2027, 1, 29}, true));  // the user's winter break

    // A later span: 2026's movable days go, 2027's stay, 2028's come; the
    // fixed ones and the user's range stay as they are.
    const auto again = planDateRanges(p.db(), block, "", polishHolidays(2027, 2028), isMovableHoliday);
    EXPECT_EQ(again.removed.size(), 3u);
    EXPECT_EQ(again.added.size(), 3u);
    applyDateRangePlan(p.db(), again);
    const auto dates = datesOf(p.db(), block);
    EXPECT_EQ(dates.size(), 8u + 2 * 3 + 1);
    EXPECT_TRUE(hasRange(dates, {2027, 1, 18}, {2027, 1, 29}, true));
    EXPECT_FALSE(hasRange(dates, {2026, 4, 5}, {2026, 4, 6}, true));
    EXPECT_TRUE(hasRange(dates, {2028, 4, 16}, {2028, 4, 17}, true));
    // Ranges the block already covers are not added twice.
    EXPECT_TRUE(
        planDateRanges(p.db(), block, "",
                       {dateRow(0, {2027, 1, 20}, {2027, 1, 21}, true), dateRow(0, {2031, 11, 1}, {2031, 11, 1}, true)},
                       nullptr)
            .added.empty());
}

bool isDayOff(const std::vector<DateRow>& dates, CivilDate day) {
    return std::any_of(dates.begin(), dates.end(),
                       [&](const DateRow& d) { return covers(d, dateRow(0, day, day, true)); });
}

// Runs one after another into one block, each on its own day: what a run
// takes away, and the days off the block has after the last.
TEST(DateRanges, ARunNeverTakesAwayADayToCome) {
    struct Run {
        int from, to;
        CivilDate today;
    };
    struct Row {
        const char* what;
        std::vector<Run> runs;
        std::vector<std::string> removedByLast;        // "2026-04-05 Wielkanoc (święto ruchome)"
        std::vector<std::pair<CivilDate, bool>> days;  // day off or not, after the last run
    };
    const Row rows[] = {
        {"a later span keeps the years before it",
         {{2026, 2031, {2026, 12, 9}}, {2032, 2032, {2026, 12, 9}}},
         {},
         {{{2026, 4, 6}, true}, {{2027, 3, 29}, true}, {{2031, 6, 12}, true}, {{2032, 3, 29}, true}}},
        {"movable days of years that have ended go",
         {{2026, 2031, {2026, 12, 9}}, {2032, 2032, {2028, 1, 10}}},
         {"2026-04-05 Wielkanoc (święto ruchome)", "2026-05-24 Zielone Świątki (święto ruchome)",
          "2026-06-04 Boże Ciało (święto ruchome)", "2027-03-28 Wielkanoc (święto ruchome)",
          "2027-05-16 Zielone Świątki (święto ruchome)", "2027-05-27 Boże Ciało (święto ruchome)"},
         {{{2028, 4, 17}, true}, {{2032, 3, 29}, true}, {{2028, 11, 11}, true}}},
        {"24 December before 2025 is no day off, none after is lost",
         {{2025, 2030, {2026, 12, 9}}, {2024, 2026, {2026, 12, 9}}},
         {"****-12-24 Wigilia i Boże Narodzenie"},
         {{{2024, 12, 24}, false},
          {{2024, 12, 25}, true},
          {{2026, 12, 24}, true},
          {{2030, 12, 24}, true},
          {{2030, 12, 26}, true}}},
        {"and stays so for a later run from 2026",
         {{2024, 2026, {2026, 12, 9}}, {2026, 2031, {2026, 12, 9}}},
         {"2024-03-31 Wielkanoc (święto ruchome)", "2024-05-19 Zielone Świątki (święto ruchome)",
          "2024-05-30 Boże Ciało (święto ruchome)", "2025-04-20 Wielkanoc (święto ruchome)",
          "2025-06-08 Zielone Świątki (święto ruchome)", "2025-06-19 Boże Ciało (święto ruchome)",
          "2025-12-24 Wigilia (święto od 2025)"},
         {{{2024, 12, 24}, false}, {{2031, 12, 24}, true}, {{2031, 12, 25}, true}}},
    };
    for (const auto& row : rows) {
        OpenProgram p;
        std::int64_t block = 0;
        DateRangePlan last;
        for (const auto& run : row.runs) {
            last = planHolidays(p.db(), block, "Dni wolne", run.from, run.to, run.today);
            block = applyDateRangePlan(p.db(), last);
        }
        std::vector<std::string> removed;
        for (const auto& d : last.removed)
            removed.push_back((d.inItsYearOnly ? isoDate(*d.from) : isoDate(*d.from).replace(0, 4, "****")) + " " +
                              d.description);
        EXPECT_EQ(removed, row.removedByLast) << row.what;
        const auto dates = datesOf(p.db(), block);
        for (const auto& [day, off] : row.days) EXPECT_EQ(isDayOff(dates, day), off) << row.what << " " << isoDate(day);
    }
}

// Days off go only to a block without commands above every block with
// commands; anything else is refused naming the block to use.
TEST(DateRanges, TheBlockOfDaysOff) {
    struct Row {
        const char* what;
        std::vector<std::pair<int, bool>> blocks;  // blocks 2, 3, ...: priority, with a command
        std::int64_t asked;
        std::int64_t offered;
        const char* refusal;
        const char* ringingName = "Szkoła";
    };
    const Row rows[] = {
        {"bells only in block 1: a new block", {}, 0, 0, ""},
        // The name offered must make a new block, not name this one again.
        {"a ringing block called Dni wolne",
         {{1, true}},
         2,
         0,
         "Blok 2 ma rozkazy, więc w dni wolne dodane do niego dzwonki nadal by dzwoniły. Dni wolne należą do bloku bez "
         "rozkazów, o priorytecie wyższym niż każdy blok z rozkazami: użyj nowego bloku „Dni wolne 2”, który powstanie "
         "z priorytetem 9.",
         "Dni wolne"},
        {"the bell block",
         {{1, true}},
         2,
         0,
         "Blok 2 ma rozkazy, więc w dni wolne dodane do niego dzwonki nadal by dzwoniły. Dni wolne należą do bloku bez "
         "rozkazów, o priorytecie wyższym niż każdy blok z rozkazami: użyj nowego bloku „Dni wolne”, który powstanie z "
         "priorytetem 9."},
        {"a block of days off there already", {{1, true}, {9, false}}, 3, 3, ""},
        {"it is offered for the bell block",
         {{1, true}, {9, false}},
         2,
         3,
         "Blok 2 ma rozkazy, więc w dni wolne dodane do niego dzwonki nadal by dzwoniły. Dni wolne należą do bloku bez "
         "rozkazów, o priorytecie wyższym niż każdy blok z rozkazami: użyj bloku 3 „Dni wolne”."},
        {"below a bell block",
         {{5, true}, {5, false}},
         3,
         0,
         "Blok 3 ma priorytet 5, a blok 2 z rozkazami ma priorytet 5, więc w dni wolne dzwonki nadal by dzwoniły. Dni "
         "wolne należą do bloku bez rozkazów, o priorytecie wyższym niż każdy blok z rozkazami: użyj nowego bloku „Dni "
         "wolne 2”, który powstanie z priorytetem 9."},
        {"no such block",
         {},
         7,
         0,
         "Program nie ma bloku 7. Dni wolne należą do bloku bez rozkazów, o priorytecie wyższym niż każdy blok z "
         "rozkazami: użyj nowego bloku „Dni wolne”, który powstanie z priorytetem 9."},
        {"a bell block of priority 9",
         {{9, true}},
         0,
         0,
         "Blok 2 ma rozkazy i priorytet 9, najwyższy z możliwych, więc żaden blok dni wolnych nie wyciszy jego "
         "dzwonków. Obniż jego priorytet, a potem dodaj dni wolne."},
    };
    for (const auto& row : rows) {
        OpenProgram p;
        insertCommand(p.db(), commandRow(1, 1, kOn, 7, 0));
        for (const auto& [priority, rings] : row.blocks) {
            const auto id = insertBlock(p.db(), BlockRow{0, priority, rings ? row.ringingName : "Dni wolne"});
            if (rings) insertCommand(p.db(), commandRow(id, 1, kOn, 8, 0));
        }
        EXPECT_EQ(daysOffBlock(p.db()), row.offered) << row.what;
        EXPECT_EQ(daysOffRefusal(p.db(), row.asked), row.refusal) << row.what;
    }
}

TEST(DateRanges, TheLimitAndAFailureChangeNothing) {
    struct Row {
        const char* what;
        int commandsBefore;
        bool failOnWrite;  // the engine refuses a row part-way
        const char* refusal;
    };
    const Row rows[] = {
        {"fits exactly", 400 - 14, false, ""},
        {"one too many", 400 - 13, false,
         "Nie mogę dodać zakresów dat: potrzeba 14, a wolnych miejsc na daty i rozkazy jest 13 (centrala mieści "
         "najwyżej 400)."},
        {"a write fails", 10, true, "stop"},
    };
    for (const auto& row : rows) {
        OpenProgram p;
        {
            Transaction bulk(p.db());
            for (int i = 0; i < row.commandsBefore; ++i) insertCommand(p.db(), commandRow(1, 1, kOn, 7, 0));
            bulk.commit();
        }
        if (row.failOnWrite)
            p.db().execute(
                "CREATE TRIGGER fail BEFORE INSERT ON Daty WHEN NEW.Opis LIKE 'Boże Ciało%' "
                "BEGIN SELECT RAISE(ABORT, 'stop'); END");
        const auto plan = planDateRanges(p.db(), 0, "Dni wolne", polishHolidays(2026, 2027), isMovableHoliday);
        EXPECT_EQ(plan.fits(), row.failOnWrite || std::string(row.refusal).empty()) << row.what;
        try {
            applyDateRangePlan(p.db(), plan);
            EXPECT_STREQ(row.refusal, "") << row.what;
            EXPECT_EQ(recordCount(p.db()), row.commandsBefore + 14) << row.what;
        } catch (const DatabaseError& e) {
            EXPECT_STREQ(e.what(), row.refusal) << row.what;
            EXPECT_EQ(recordCount(p.db()), row.commandsBefore) << row.what;
            EXPECT_EQ(readBlocks(p.db()).size(), 1u) << row.what;
        }
    }
}

}  // namespace
}  // namespace kt64::test
