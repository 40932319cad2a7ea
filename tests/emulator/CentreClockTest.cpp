// The centre's clocks: the day of each change derived from its key, summer
// and winter across the change instants, GMT running from the time source,
// and the analogue line time advancing only while the line is on.
#include <gtest/gtest.h>

#include "CentreTestSupport.h"
#include "ChangeOfTime.h"

namespace kt64::test {
using namespace kt64::sim;
namespace {

using namespace std::chrono_literals;

TEST(ChangeDay, EachKeyNamesItsSunday) {
    struct Row {
        int year, month, key, day;
    };
    const Row rows[] = {
        {2024, 3, 0, 31}, {2024, 10, 0, 27}, {2025, 3, 0, 30}, {2025, 10, 0, 26}, {2024, 3, 1, 3},
        {2024, 3, 2, 10}, {2024, 3, 3, 17},  {2024, 3, 4, 24}, {2023, 10, 1, 1},  // the month begins on a Sunday
        {2024, 6, 0, 30},                                                         // the month ends on a Sunday
        {2024, 2, 0, 25}, {2020, 2, 0, 23},  {2015, 2, 0, 22}, {2026, 2, 4, 22},  {2024, 12, 0, 29},
        {2100, 1, 1, 3},  {2024, 13, 0, 0},  {2024, 0, 1, 0},  {2024, 3, 5, 0},  // nothing to name
    };
    for (const auto& r : rows)
        EXPECT_EQ(changeDay(r.year, r.month, r.key), r.day) << r.year << "-" << r.month << " key " << r.key;
}

struct Instant {
    TimePoint gmt;
    const char* local;    // status bytes 10..15 (ss mm hh DD MM YY)
    std::uint8_t winter;  // status byte 41
};

void expectInstants(const CentreSettings& settings, std::initializer_list<Instant> instants) {
    for (const auto& i : instants) {
        CentreOnManualClock c(settings, i.gmt);
        const auto s = c.status();
        EXPECT_EQ(hexOf(link::ByteSpan(s).subspan(10, 6)), i.local) << hexOf(s);
        EXPECT_EQ(s[41], i.winter) << hexOf(s);
    }
}

// +1 h, 2 h winter time on the last Sunday of March, 3 h summer time on the
// last Sunday of October: both changes at 01:00 GMT.
TEST(ChangeOfTime, SummerBeginsAndEndsAtTheChangeInstants) {
    expectInstants(CentreSettings{},
                   {
                       {utcTime(2024, 3, 31, 0, 59, 59), "59 59 01 31 03 24", 0x01},
                       {utcTime(2024, 3, 31, 1, 0, 0), "00 00 03 31 03 24", 0x00},
                       {utcTime(2024, 10, 27, 0, 59, 59), "59 59 02 27 10 24", 0x00},
                       {utcTime(2024, 10, 27, 1, 0, 0), "00 00 02 27 10 24", 0x01},
                       {utcTime(2024, 1, 1, 12, 0, 0), "00 00 13 01 01 24", 0x01},
                       {utcTime(2024, 12, 31, 23, 30, 0), "00 30 00 01 01 25", 0x01},  // local new year
                   });
}

// Southern hemisphere: +10 h, summer from the first Sunday of October (2 h)
// to the first Sunday of April (3 h), spanning the new year.
TEST(ChangeOfTime, SummerSpansTheNewYearWhenItEndsEarlierInTheYear) {
    CentreSettings s;
    s.offsetMinutes = 600;
    s.winterToSummer = {1, 10, 2};
    s.summerToWinter = {1, 4, 3};
    expectInstants(s, {
                          {utcTime(2024, 1, 15, 0, 0, 0), "00 00 11 15 01 24", 0x00},
                          {utcTime(2024, 4, 6, 15, 59, 59), "59 59 02 07 04 24", 0x00},  // 7 April, 02:59:59 summer
                          {utcTime(2024, 4, 6, 16, 0, 0), "00 00 02 07 04 24", 0x01},
                          {utcTime(2024, 10, 5, 15, 59, 59), "59 59 01 06 10 24", 0x01},  // 6 October, 01:59:59 winter
                          {utcTime(2024, 10, 5, 16, 0, 0), "00 00 03 06 10 24", 0x00},
                      });
}

TEST(ChangeOfTime, SwitchedOffKeepsWinterTime) {
    CentreSettings s;
    s.changeOn = false;
    CentreOnManualClock c(s, utcTime(2024, 7, 1, 12, 0, 0));
    const auto frame = c.status();
    EXPECT_EQ(frame[12], 0x13);
    EXPECT_EQ(frame[40], 0x00);
    EXPECT_EQ(frame[41], 0x01);
}

// The days reported in bytes 34 and 37 are those of the local year, and a
// running clock moves into summer without any request.
TEST(ChangeOfTime, ReportedDaysFollowTheYearAndTheClockCrossesTheChange) {
    CentreOnManualClock c(CentreSettings{}, utcTime(2024, 12, 31, 22, 59, 58));
    auto s = c.status();
    EXPECT_EQ(s[34], 0x31);
    EXPECT_EQ(s[37], 0x27);
    c.clock->advance(3s);  // 23:00:01 GMT = 00:00:01 local, 2025
    s = c.status();
    EXPECT_EQ(s[34], 0x30);
    EXPECT_EQ(s[37], 0x26);

    CentreOnManualClock d(CentreSettings{}, utcTime(2025, 3, 30, 0, 59, 58));
    EXPECT_EQ(d.status()[41], 0x01);
    d.clock->advance(2s);
    const auto after = d.status();
    EXPECT_EQ(after[41], 0x00);
    EXPECT_EQ(hexOf(link::ByteSpan(after).subspan(10, 3)), "00 00 03");
}

TEST(CentreClock, GmtRunsFromTheTimeSourceAndFromEachSetting) {
    CentreOnManualClock c;
    c.clock->advance(61500ms);
    EXPECT_EQ(hexOf(link::ByteSpan(c.status()).subspan(3, 6)), "57 35 12 17 05 24");
    c.exchange(hexOf(link::buildFrame(0x22, hexBytes("00 00 00 01 01 24"))));  // 1 January 2024 00:00:00
    c.clock->advance(999ms);
    EXPECT_EQ(hexOf(link::ByteSpan(c.status()).subspan(3, 6)), "00 00 00 01 01 24");
    c.clock->advance(1ms);
    EXPECT_EQ(hexOf(link::ByteSpan(c.status()).subspan(3, 6)), "01 00 00 01 01 24");
}

TEST(CentreClock, LineTimeAdvancesOnlyWhileTheLineIsOn) {
    CentreOnManualClock c;
    auto line = [&] { return hexOf(link::ByteSpan(c.status()).subspan(17, 2)); };
    EXPECT_EQ(line(), "34 14");  // local time at start
    c.exchange("1B 88 03 11 30 08 B9");
    c.clock->advance(59s);
    EXPECT_EQ(line(), "30 08");
    c.clock->advance(1s);
    EXPECT_EQ(line(), "31 08");
    c.exchange("1B 77 02 00 01 6F");  // analogue off
    c.clock->advance(10min);
    EXPECT_EQ(line(), "31 08");
    c.exchange("1B 77 02 01 01 6E");  // on again
    c.clock->advance(2min);
    EXPECT_EQ(line(), "33 08");
    c.exchange(hexOf(link::buildFrame(0x88, hexBytes("11 59 23"))));
    c.clock->advance(60s);
    EXPECT_EQ(line(), "00 00");  // past midnight
}

}  // namespace
}  // namespace kt64::test
