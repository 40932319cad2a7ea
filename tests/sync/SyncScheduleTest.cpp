// Next-instant schedule and the deviation window of the synchronisation worker.
#include <gtest/gtest.h>

#include <vector>

#include "SyncSchedule.h"
#include "SystemSyncClock.h"

namespace kt64::sync {
namespace {

LocalSeconds at(int y, int mo, int d, int h, int mi, int s) {
    return localSecondsOf(SystemTime{y, mo, d, h, mi, s});
}

DATE hour(int h, int m = 0, int s = 0) { return *makeDate(1899, 12, 30, h, m, s); }

std::string show(LocalSeconds t) {
    const auto st = systemTimeOf(t);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", st.year, st.month, st.day, st.hour, st.minute,
                  st.second);
    return text;
}

TEST(SyncSchedule, FirstInstantFollowsHourSync) {
    struct Row {
        const char* name;
        DATE hourSync;
        std::uint32_t freq;
        LocalSeconds now;
        LocalSeconds expected;
    };
    const Row rows[] = {
        {"daily, before the hour", hour(2), 1440, at(2024, 3, 10, 1, 59, 30), at(2024, 3, 10, 2, 0, 0)},
        {"daily, one second after", hour(2), 1440, at(2024, 3, 10, 2, 0, 1), at(2024, 3, 11, 2, 0, 0)},
        {"daily, exactly at the hour", hour(2), 1440, at(2024, 3, 10, 2, 0, 0), at(2024, 3, 10, 2, 0, 0)},
        {"daily, across the year end", hour(2), 1440, at(2023, 12, 31, 23, 0, 0), at(2024, 1, 1, 2, 0, 0)},
        {"daily, across 29 February", hour(0), 1440, at(2024, 2, 28, 12, 0, 0), at(2024, 2, 29, 0, 0, 0)},
        {"period, started after the hour", hour(8), 30, at(2024, 3, 10, 9, 10, 0), at(2024, 3, 11, 8, 0, 0)},
        {"period, started before the hour", hour(8), 30, at(2024, 3, 10, 7, 10, 0), at(2024, 3, 10, 8, 0, 0)},
        {"HourSync with a date part", *makeDate(2011, 5, 6, 13, 14, 15), 1440, at(2024, 3, 10, 9, 0, 0),
         at(2024, 3, 10, 13, 14, 15)},
    };
    for (const auto& row : rows) {
        SyncSchedule schedule(row.hourSync, row.freq);
        const auto next = schedule.next(row.now);
        ASSERT_TRUE(next) << row.name;
        EXPECT_EQ(show(*next), show(row.expected)) << row.name;
    }
}

TEST(SyncSchedule, PeriodRunsFromFirstInstantWithoutRealigning) {
    SyncSchedule schedule(hour(8), 30);
    // Started at 09:10: 08:00 tomorrow, then every 30 minutes from there,
    // whatever the clock says when each cycle starts.
    const LocalSeconds starts[] = {at(2024, 3, 10, 9, 10, 0), at(2024, 3, 11, 8, 0, 5), at(2024, 3, 11, 8, 30, 7),
                                   at(2024, 3, 11, 8, 30, 9)};
    const LocalSeconds expected[] = {at(2024, 3, 11, 8, 0, 0), at(2024, 3, 11, 8, 30, 0), at(2024, 3, 11, 9, 0, 0),
                                     at(2024, 3, 11, 9, 30, 0)};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(show(*schedule.next(starts[i])), show(expected[i])) << "cycle " << i;
}

TEST(SyncSchedule, MissedInstantsComeDueOneAfterAnother) {
    // After a suspension of a day, every missed instant is already in the
    // past and so due at once, until the schedule has caught up.
    SyncSchedule schedule(hour(8), 360);
    LocalSeconds now = at(2024, 3, 10, 7, 0, 0);
    EXPECT_EQ(show(*schedule.next(now)), "2024-03-10 08:00:00");
    now = at(2024, 3, 11, 9, 0, 0);
    std::vector<std::string> overdue;
    for (;;) {
        const auto next = *schedule.next(now);
        if (next > now) {
            EXPECT_EQ(show(next), "2024-03-11 14:00:00");
            break;
        }
        overdue.push_back(show(next));
        now += 5;  // the pause after each cycle
    }
    EXPECT_EQ(overdue, (std::vector<std::string>{"2024-03-10 14:00:00", "2024-03-10 20:00:00", "2024-03-11 02:00:00",
                                                 "2024-03-11 08:00:00"}));
}

TEST(SyncSchedule, ZeroPeriodNeverAdvances) {
    SyncSchedule schedule(hour(8), 0);
    const auto first = *schedule.next(at(2024, 3, 10, 7, 0, 0));
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(*schedule.next(at(2024, 3, 10, 9, 0, i * 5)), first);
}

TEST(SyncSchedule, UnusableDatesFail) {
    EXPECT_FALSE(SyncSchedule(std::numeric_limits<double>::quiet_NaN(), 1440).next(at(2024, 1, 1, 0, 0, 0)));
    // A schedule that runs past year 9999 can no longer be converted.
    SyncSchedule far(hour(0), 0xFFFFFFFFu);
    EXPECT_TRUE(far.next(at(2024, 1, 1, 1, 0, 0)));
    bool failed = false;
    for (int i = 0; i < 3000 && !failed; ++i) failed = !far.next(at(2024, 1, 1, 1, 0, 0));
    EXPECT_TRUE(failed);
}

TEST(SyncWindow, ConditionOverDeviationsAndBounds) {
    struct Row {
        std::int32_t od, dO;
        std::vector<std::pair<std::int32_t, bool>> cases;
    };
    const Row rows[] = {
        {0, 0, {{0, true}, {1, true}, {3600, true}, {INT32_MAX, true}}},
        {2, 0, {{0, false}, {1, false}, {2, true}, {3, true}, {3600, true}}},
        {0, 60, {{0, true}, {60, true}, {61, false}}},
        {10, 20, {{9, false}, {10, true}, {15, true}, {20, true}, {21, false}}},
        {10, 5, {{0, false}, {5, false}, {7, false}, {10, false}, {100, false}}},
        // Signed bounds as stored: a negative lower bound always holds below a zero upper bound.
        {-5, 0, {{0, true}, {90, true}}},
    };
    for (const auto& row : rows) {
        for (const auto& [d, allowed] : row.cases)
            EXPECT_EQ(synchronisationAllowed(d, row.od, row.dO), allowed) << "Od=" << row.od << " Do=" << row.dO
                                                                          << " d=" << d;
    }
}

}  // namespace
}  // namespace kt64::sync

namespace kt64::sync {
namespace {

TEST(SystemSyncClock, LocalFieldsBecomeUtcByTheZoneInForce) {
    // Central European time with its summer time, as a POSIX rule (no tzdata needed).
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
    EXPECT_EQ(utcOfLocal(SystemTime{2024, 1, 15, 12, 0, 0}), std::time_t{1705316400});  // 11:00 UTC
    EXPECT_EQ(utcOfLocal(SystemTime{2024, 7, 1, 12, 0, 0}), std::time_t{1719828000});   // 10:00 UTC
    if (old) ::setenv("TZ", saved.c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
}

}  // namespace
}  // namespace kt64::sync
