// The chart's drawing-free geometry: widths, hour ticks and labels, the time
// and sample of a column, scrolling and the marks of the state words.
#include <gtest/gtest.h>

#include "ChartGeometry.h"

namespace kt64::test {
namespace {

using namespace kt64::program;

constexpr CivilDate kStart{2024, 5, 10};

TEST(ChartGeometry, WidthsAndLimits) {
    struct Row {
        int days, minutes, width, step;
    } rows[] = {
        {1, 1, 1500, 1},  {7, 20, 564, 8}, {3, 15, 348, 4},
        {7, 1, 10140, 1}, {2, 5, 636, 2},  {9, 1, 10140, 1},  // more than 7 days: 7
        {1, 45, 132, 8},                                      // coarser than 20 minutes: 20
    };
    for (const auto& r : rows) {
        const ChartGeometry g(kStart, r.days, r.minutes);
        EXPECT_EQ(g.width(), r.width) << r.days << " days, " << r.minutes << " min";
        EXPECT_EQ(g.hourLabelStep(), r.step) << r.minutes << " min";
    }
    EXPECT_EQ(ChartGeometry(kStart, 7, 1).columnCount(), 10081);
    const int steps[21] = {0, 1, 1, 1, 1, 2, 2, 2, 2, 2, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 8};
    for (int r = 1; r <= 20; ++r) EXPECT_EQ(ChartGeometry(kStart, 1, r).hourLabelStep(), steps[r]) << r;
}

TEST(ChartGeometry, OneDayAtOneMinuteHasTwentyFiveTicksAndTwoDates) {
    const ChartGeometry g(kStart, 1, 1);
    const auto ticks = g.hourTicks();
    ASSERT_EQ(ticks.size(), 25u);
    for (int h = 0; h < 25; ++h) {
        EXPECT_EQ(ticks[h].x, 30 + 60 * h);
        EXPECT_EQ(ticks[h].hour, h % 24);
        EXPECT_TRUE(ticks[h].labelled);
        EXPECT_EQ(ticks[h].date.has_value(), h == 0 || h == 24) << h;
    }
    EXPECT_EQ(*ticks[0].date, "24-05-10");
    EXPECT_EQ(*ticks[24].date, "24-05-11");
    EXPECT_EQ(ticks[24].x, 1470);

    const auto coarse = ChartGeometry(kStart, 7, 20).hourTicks();
    ASSERT_EQ(coarse.size(), 7u * 24 + 1);
    EXPECT_TRUE(coarse[8].labelled);
    EXPECT_FALSE(coarse[9].labelled);
    EXPECT_EQ(*coarse[168].date, "24-05-17");
}

TEST(ChartGeometry, ColumnsSamplesAndScrolling) {
    const ChartGeometry g(kStart, 1, 1);
    EXPECT_EQ(g.columnTime(30), localSeconds(kStart));
    EXPECT_EQ(g.columnTime(1470), localSeconds({2024, 5, 11}));
    EXPECT_EQ(ChartGeometry(kStart, 3, 15).columnTime(34), localSeconds(kStart, {1, 0, 0}));

    EXPECT_FALSE(g.sampleNumber(29, 0));
    EXPECT_EQ(g.sampleNumber(30, 0), 0);
    EXPECT_EQ(g.sampleNumber(100, 1370), 1440);
    EXPECT_FALSE(g.sampleNumber(101, 1370));
    EXPECT_EQ(g.sampleTime(420), localSeconds(kStart, {7, 0, 0}));

    EXPECT_EQ(ChartGeometry(kStart, 3, 15).scrollRange(400), 0);
    EXPECT_EQ(ChartGeometry(kStart, 3, 15).scrollRange(200), 148);
    const int m = g.scrollRange(500);
    EXPECT_EQ(m, 1000);
    EXPECT_EQ(ChartGeometry::scroll(ScrollAction::LineRight, 995, m), 1000);
    EXPECT_EQ(ChartGeometry::scroll(ScrollAction::LineLeft, 5, m), 0);
    EXPECT_EQ(ChartGeometry::scroll(ScrollAction::PageRight, 100, m), 150);
    EXPECT_EQ(ChartGeometry::scroll(ScrollAction::Thumb, 100, m, 700), 700);
    EXPECT_EQ(ChartGeometry::scroll(ScrollAction::RightEnd, 100, m), 1000);
    EXPECT_EQ(ChartGeometry::scroll(ScrollAction::PageLeft, 10, 0), 0);
}

TEST(ChartGeometry, MarksAndColours) {
    EXPECT_FALSE(markFor(kNothingInForce));
    const auto off = markFor(kOff);
    ASSERT_TRUE(off);
    EXPECT_EQ(off->colour, (Rgb{200, 200, 200}));
    EXPECT_EQ(off->top, 62);
    const auto on = markFor(kCyclePlus | kRelayOnBit);
    ASSERT_TRUE(on);
    EXPECT_EQ(on->colour, (Rgb{116, 195, 242}));
    EXPECT_EQ(on->bottom, 67);
    EXPECT_EQ(on->top, 35);
    EXPECT_EQ(stateName(5), "Cykl-");
    EXPECT_EQ(stateName(77), " --------");
}

}  // namespace
}  // namespace kt64::test
