// OLE automation dates against known values, the failure cases, rounding to
// whole seconds and round trips over the whole valid range.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "OleDate.h"
#include "TestEnvironment.h"

namespace kt64::test {
namespace {

constexpr double kSecond = 1.0 / 86400.0;

SystemTime fields(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int dow = 0) {
    SystemTime st;
    st.year = y, st.month = mo, st.day = d, st.hour = h, st.minute = mi, st.second = s, st.dayOfWeek = dow;
    return st;
}

// A DATE as a linear count of days: the whole part is the day and the
// absolute fraction the time on both sides of the epoch, so -1.25 lies
// before -1.5 and -0.25 is the same moment as 0.25.
double moment(double date) {
    const double whole = std::trunc(date);
    return whole + std::fabs(date - whole);
}

struct KnownDate {
    SystemTime st;
    double date;
};

// Days of week: 0 Sunday .. 6 Saturday.
const KnownDate kKnown[] = {
    {fields(1899, 12, 30, 0, 0, 0, 6), 0.0},
    {fields(1899, 12, 31, 0, 0, 0, 0), 1.0},
    {fields(1900, 1, 1, 0, 0, 0, 1), 2.0},
    {fields(1899, 12, 29, 6, 0, 0, 5), -1.25},
    {fields(1899, 12, 28, 18, 0, 0, 4), -2.75},
    {fields(1900, 3, 1, 0, 0, 0, 4), 61.0},  // 1900 is no leap year
    {fields(2000, 2, 29, 12, 0, 0, 2), 36585.5},
    {fields(2024, 5, 17, 12, 34, 56, 5), 45429.0 + (12 * 3600 + 34 * 60 + 56) * kSecond},
    {fields(100, 1, 1, 0, 0, 0, 5), -657434.0},
    {fields(9999, 12, 31, 23, 59, 59, 5), 2958465.0 + 86399 * kSecond},
};

TEST(OleDate, KnownValuesBothWays) {
    for (const auto& k : kKnown) {
        SCOPED_TRACE(testing::Message() << k.st.year << "-" << k.st.month << "-" << k.st.day << " " << k.date);
        const auto date = toVariantTime(k.st);
        ASSERT_TRUE(date.has_value());
        EXPECT_NEAR(*date, k.date, 1e-9);
        const auto st = fromVariantTime(k.date);
        ASSERT_TRUE(st.has_value());
        EXPECT_EQ(*st, k.st);
    }
}

TEST(OleDate, FieldsOutOfRangeFail) {
    const SystemTime bad[] = {
        fields(99, 12, 31),       fields(10000, 1, 1),     fields(2024, 13, 1),        fields(2024, 0, 1),
        fields(2024, 5, 0),       fields(2024, 5, 32),     fields(-1, 5, 17),          fields(2024, -1, 17),
        fields(2024, 5, -1),      fields(2024, 5, 17, -1), fields(2024, 5, 17, 0, -1), fields(2024, 5, 17, 0, 0, -1),
        fields(9999, 12, 31, 24),  // rolls into year 10000
    };
    for (const auto& st : bad) {
        EXPECT_FALSE(toVariantTime(st).has_value())
            << st.year << "-" << st.month << "-" << st.day << " " << st.hour << ":" << st.minute << ":" << st.second;
    }
}

TEST(OleDate, FieldsPastTheirRangeRollOver) {
    EXPECT_EQ(makeDate(2023, 2, 29), makeDate(2023, 3, 1));
    EXPECT_EQ(makeDate(2024, 4, 31), makeDate(2024, 5, 1));
    EXPECT_EQ(makeDate(2024, 12, 31, 23, 59, 60), makeDate(2025, 1, 1));
    EXPECT_EQ(makeDate(2024, 5, 17, 25, 61, 0), makeDate(2024, 5, 18, 2, 1, 0));
}

TEST(OleDate, DatesOutsideTheRangeFail) {
    const double bad[] = {-657435.0, -657435.5, 2958466.0, 2958465.0 + 86399.6 * kSecond, 1e300, -1e300,
                          NAN,       INFINITY,  -INFINITY};
    for (double d : bad) EXPECT_FALSE(fromVariantTime(d).has_value()) << d;
    // The last representable moments on both ends still convert.
    EXPECT_TRUE(fromVariantTime(-657434.0 - 86399 * kSecond).has_value());
    EXPECT_TRUE(fromVariantTime(2958465.0 + 86399.4 * kSecond).has_value());
}

// Every half second rounds up, on both sides of the epoch and at the far
// end of the range where a DATE's resolution is coarsest.
TEST(OleDate, HalfSecondsRoundUpEverywhere) {
    const double days[] = {0.0, 2.0, 45429.0, 2958464.0, -1.0, -657434.0};
    int failures = 0;
    for (double day : days) {
        for (int s = 0; s < 86399; s += 7) {
            const double frac = (s + 0.5) * kSecond;
            const auto st = fromVariantTime(day >= 0 ? day + frac : day - frac);
            ASSERT_TRUE(st.has_value());
            const int got = st->hour * 3600 + st->minute * 60 + st->second;
            if (got != s + 1 && ++failures <= 5) ADD_FAILURE() << "day " << day << " second " << s << ".5 gave " << got;
        }
    }
    EXPECT_EQ(failures, 0);
    // Just below the half rounds down.
    EXPECT_EQ(fromVariantTime(45429.0 + 10.49 * kSecond)->second, 10);
}

TEST(OleDate, RoundingPastMidnightMovesToTheNextDay) {
    EXPECT_EQ(*fromVariantTime(45429.0 + 86399.6 * kSecond), fields(2024, 5, 18, 0, 0, 0, 6));
    // Before the epoch the time still counts forward: 29 Dec 23:59:59.6 is 30 Dec.
    EXPECT_EQ(*fromVariantTime(-1.0 - 86399.6 * kSecond), fields(1899, 12, 30, 0, 0, 0, 6));
    // Between -1 and 0 the whole part is day 0 and the fraction its time.
    EXPECT_EQ(*fromVariantTime(-0.25), fields(1899, 12, 30, 6, 0, 0, 6));
}

TEST(OleDate, MillisecondsAreIgnoredOnTheWayIn) {
    SystemTime st = fields(2024, 5, 17, 12, 0, 0);
    st.millisecond = 999;
    EXPECT_EQ(toVariantTime(st), makeDate(2024, 5, 17, 12));
}

TEST(OleDate, RoundTripsOverTheWholeRange) {
    const unsigned seed = testSeed("OleDate round trip");
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> year(100, 9999), month(1, 12), day(1, 28), hour(0, 23), minsec(0, 59);
    std::uniform_real_distribution<double> anyDate(-657434.999, 2958465.99998);
    int failures = 0;
    for (int i = 0; i < 200000 && failures < 5; ++i) {
        const SystemTime st = fields(year(rng), month(rng), day(rng), hour(rng), minsec(rng), minsec(rng));
        const auto date = toVariantTime(st);
        const auto back = date ? fromVariantTime(*date) : std::nullopt;
        if (!back || back->year != st.year || back->month != st.month || back->day != st.day || back->hour != st.hour ||
            back->minute != st.minute || back->second != st.second) {
            ++failures;
            ADD_FAILURE() << st.year << "-" << st.month << "-" << st.day << " " << st.hour << ":" << st.minute << ":"
                          << st.second;
        }
        // A DATE goes to fields and back to within half a second (plus the
        // millisecond by which the time is taken before rounding).
        const double d = anyDate(rng);
        const auto f = fromVariantTime(d);
        const auto again = f ? toVariantTime(*f) : std::nullopt;
        if (!again || std::fabs(moment(*again) - moment(d)) > 0.501 * kSecond) {
            ++failures;
            ADD_FAILURE() << "DATE " << d;
        }
    }
}

TEST(OleDate, DayOfWeekFollowsTheCalendar) {
    // 1 Jan 2001 was a Monday; walk 3000 consecutive days.
    const double start = *makeDate(2001, 1, 1);
    for (int i = 0; i < 3000; ++i) ASSERT_EQ(fromVariantTime(start + i)->dayOfWeek, (1 + i) % 7) << "day " << i;
    EXPECT_EQ(fromVariantTime(-657434.0)->dayOfWeek, 5);  // 1 Jan 100, a Friday (proleptic Gregorian)
}

}  // namespace
}  // namespace kt64::test
