// The shared civil calendar: the cases where hand-written day arithmetic
// goes wrong (century leap years, days past a month's end, months outside
// the year, dates before 1970, the Sunday a change of time names).
#include <gtest/gtest.h>

#include "CivilCalendar.h"

namespace kt64::test {
namespace {

using namespace kt64::calendar;

TEST(CivilCalendar, DayNumbersAndDatesAgreeBothWays) {
    struct Row {
        int y, m, d;
        std::int64_t n;
        int isoWeekday;
    };
    const Row rows[] = {
        {1970, 1, 1, 0, 4},                                  // a Thursday
        {1969, 12, 31, -1, 3},   {1899, 12, 30, -25569, 6},  // the DATE epoch, a Saturday
        {2000, 2, 29, 11016, 2}, {2000, 3, 1, 11017, 3},    {100, 1, 1, -683003, 5}, {9999, 12, 31, 2932896, 5},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(dayNumber(r.y, r.m, r.d), r.n) << r.y << "-" << r.m << "-" << r.d;
        EXPECT_EQ(civilDate(r.n), (CivilDate{r.y, r.m, r.d})) << r.n;
        EXPECT_EQ(isoWeekday(r.n), r.isoWeekday) << r.n;
    }
}

TEST(CivilCalendar, FieldsOutOfRangeCountOnInsteadOfBeingUnspecified) {
    EXPECT_EQ(dayNumber(2024, 4, 31), dayNumber(2024, 5, 1));
    EXPECT_EQ(dayNumber(2023, 2, 29), dayNumber(2023, 3, 1));
    EXPECT_EQ(dayNumber(2024, 13, 1), dayNumber(2025, 1, 1));
    EXPECT_EQ(dayNumber(2024, 0, 1), dayNumber(2023, 12, 1));
    EXPECT_EQ(dayNumber(2024, -11, 1), dayNumber(2023, 1, 1));
    EXPECT_EQ(dayNumber(2024, 1, 0), dayNumber(2023, 12, 31));
}

TEST(CivilCalendar, MonthLengthsAndValidity) {
    EXPECT_EQ(daysInMonth(1900, 2), 28);
    EXPECT_EQ(daysInMonth(2000, 2), 29);
    EXPECT_EQ(daysInMonth(2024, 2), 29);
    EXPECT_EQ(daysInMonth(2023, 4), 30);
    EXPECT_EQ(daysInMonth(2023, 0), 0);
    EXPECT_EQ(daysInMonth(2023, 13), 0);
    EXPECT_FALSE(isLeapYear(2100));
    EXPECT_TRUE(isValidDate(2024, 2, 29));
    EXPECT_FALSE(isValidDate(2023, 2, 29));
    EXPECT_FALSE(isValidDate(0, 1, 1));
    EXPECT_FALSE(isValidDate(10000, 1, 1));
}

TEST(CivilCalendar, ChangeSundays) {
    struct Row {
        int y, m, key, day;
    };
    // {2024, 9, 1, 1}: the 1st is a Sunday itself.
    const Row rows[] = {
        {2024, 3, 0, 31}, {2024, 10, 0, 27}, {2025, 3, 0, 30}, {2026, 10, 0, 25}, {2024, 9, 1, 1}, {2024, 9, 4, 22},
        {2023, 2, 0, 26}, {2023, 2, 4, 26},  {2024, 3, 5, 0},  {2024, 13, 0, 0},  {2024, 0, 1, 0},
    };
    for (const Row& r : rows) EXPECT_EQ(changeSunday(r.y, r.m, r.key), r.day) << r.y << "-" << r.m << " key " << r.key;
}

TEST(CivilCalendar, FloorDivRoundsTowardsMinusInfinity) {
    EXPECT_EQ(floorDiv(-1, 86400), -1);
    EXPECT_EQ(floorDiv(-86400, 86400), -1);
    EXPECT_EQ(floorDiv(86399, 86400), 0);
}

}  // namespace
}  // namespace kt64::test
