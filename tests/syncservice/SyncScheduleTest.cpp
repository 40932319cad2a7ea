// Next-instant schedule and the deviation window of the synchronisation worker.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "CivilCalendar.h"
#include "SyncSchedule.h"
#include "SystemSyncClock.h"
#include "TimeFeed.h"
#include "ZoneAgreement.h"

namespace kt64::test {
namespace {

using namespace kt64::sync;

LocalSeconds at(int y, int mo, int d, int h, int mi, int s) { return calendar::secondsFromCivil(y, mo, d, h, mi, s); }

DATE hour(int h, int m = 0, int s = 0) { return *makeDate(1899, 12, 30, h, m, s); }

std::string show(LocalSeconds t) {
    const auto st = calendar::civilFromSeconds(t);
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
            EXPECT_EQ(synchronisationAllowed(d, row.od, row.dO), allowed)
                << "Od=" << row.od << " Do=" << row.dO << " d=" << d;
    }
}

TEST(SystemSyncClock, LocalFieldsBecomeUtcByTheZoneInForce) {
    // Central European time with its summer time, as a POSIX rule (no tzdata needed).
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
    EXPECT_EQ(utcOfLocal(calendar::CivilTime{2024, 1, 15, 12, 0, 0}), std::time_t{1705316400});  // 11:00 UTC
    EXPECT_EQ(utcOfLocal(calendar::CivilTime{2024, 7, 1, 12, 0, 0}), std::time_t{1719828000});   // 10:00 UTC
    if (old)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

// The zone of the test's own choosing for the time of one test.
class ScopedZone {
public:
    explicit ScopedZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) saved_ = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedZone() {
        if (saved_)
            ::setenv("TZ", saved_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::optional<std::string> saved_;
};

std::time_t utc(int y, int mo, int d, int h, int mi, int s) {
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    return ::timegm(&tm);
}

// The centre's local reading becomes UTC with the offset in force when it was
// read. On the autumn change day 02:00-02:59 occurs twice (first in summer
// time, then in winter time): each occurrence must give its own UTC, where
// mktime gives both the same one. In spring 02:00-02:59 does not exist; a
// reading of it is taken with the offset the PC has at that moment.
TEST(SystemSyncClock, ReadingsBecomeUtcWithTheOffsetInForceOnTheChangeDays) {
    ScopedZone zone("Europe/Warsaw");
    struct Row {
        const char* what;
        calendar::CivilTime local;
        std::time_t readAt;
        std::time_t expected;
    };
    const Row rows[] = {
        {"winter", {2024, 1, 15, 12, 0, 0}, utc(2024, 1, 15, 11, 0, 0), utc(2024, 1, 15, 11, 0, 0)},
        {"summer", {2024, 7, 1, 12, 0, 0}, utc(2024, 7, 1, 10, 0, 0), utc(2024, 7, 1, 10, 0, 0)},
        {"spring, last winter second",
         {2024, 3, 31, 1, 59, 59},
         utc(2024, 3, 31, 0, 59, 59),
         utc(2024, 3, 31, 0, 59, 59)},
        {"spring, first summer second", {2024, 3, 31, 3, 0, 0}, utc(2024, 3, 31, 1, 0, 0), utc(2024, 3, 31, 1, 0, 0)},
        {"spring, missing hour read in winter time",
         {2024, 3, 31, 2, 30, 0},
         utc(2024, 3, 31, 0, 30, 0),
         utc(2024, 3, 31, 1, 30, 0)},
        {"spring, missing hour read in summer time",
         {2024, 3, 31, 2, 30, 0},
         utc(2024, 3, 31, 1, 30, 0),
         utc(2024, 3, 31, 0, 30, 0)},
        {"autumn, before the repeated hour",
         {2024, 10, 27, 1, 59, 59},
         utc(2024, 10, 26, 23, 59, 59),
         utc(2024, 10, 26, 23, 59, 59)},
        {"autumn, repeated hour, first time",
         {2024, 10, 27, 2, 30, 0},
         utc(2024, 10, 27, 0, 30, 0),
         utc(2024, 10, 27, 0, 30, 0)},
        {"autumn, repeated hour, second time",
         {2024, 10, 27, 2, 30, 0},
         utc(2024, 10, 27, 1, 30, 0),
         utc(2024, 10, 27, 1, 30, 0)},
        {"autumn, last summer second",
         {2024, 10, 27, 2, 59, 59},
         utc(2024, 10, 27, 0, 59, 59),
         utc(2024, 10, 27, 0, 59, 59)},
        {"autumn, after the repeated hour",
         {2024, 10, 27, 3, 0, 0},
         utc(2024, 10, 27, 2, 0, 0),
         utc(2024, 10, 27, 2, 0, 0)},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(utcOfReading(r.local, r.readAt), std::optional<std::time_t>(r.expected)) << r.what;
    }
    const std::time_t any = utc(2024, 1, 15, 11, 0, 0);
    EXPECT_EQ(utcOfReading({2024, 2, 30, 12, 0, 0}, any), std::nullopt);
    EXPECT_EQ(utcOfReading({2024, 1, 15, 24, 0, 0}, any), std::nullopt);
}

// The estimate is carried forward by the monotonic time elapsed since it was
// made, keeps its sub-second part, and becomes UTC with the zone's offset.
TEST(SystemSyncClock, EstimateIsSetWithItsFractionAtTheMomentOfSetting) {
    using namespace std::chrono_literals;
    ScopedZone zone("Europe/Warsaw");
    const SteadyTime made{std::chrono::hours(7)};
    const LocalNanoseconds local = std::chrono::seconds(calendar::secondsFromCivil(2024, 1, 15, 12, 0, 0)) + 900ms;
    struct Row {
        const char* what;
        std::chrono::nanoseconds elapsed;
        std::time_t sec;
        long nsec;
    };
    const Row rows[] = {
        {"at once", 0ns, utc(2024, 1, 15, 11, 0, 0), 900'000'000},
        {"250 ms later, into the next second", 250ms, utc(2024, 1, 15, 11, 0, 1), 150'000'000},
        {"a minute later", 60s + 1us, utc(2024, 1, 15, 11, 1, 0), 900'001'000},
    };
    for (const auto& r : rows) {
        const auto ts = settingOf({local, made}, made + r.elapsed, utc(2024, 1, 15, 11, 0, 0));
        ASSERT_TRUE(ts) << r.what;
        EXPECT_EQ(ts->tv_sec, r.sec) << r.what;
        EXPECT_EQ(ts->tv_nsec, r.nsec) << r.what;
    }
}

// The PC's zone against the centre's offset at the centre's GMT instant,
// through the zone rules themselves, on ordinary days and both change days;
// and the daemon's sample, which is the centre's GMT less the PC's UTC
// whatever the two keep as local time.
TEST(ZoneAgreement, CentreOffsetAgainstThePcZoneAndGmtSamples) {
    using namespace std::chrono_literals;
    constexpr std::int32_t kH = 3600;
    struct Row {
        const char* what;
        const char* zone;
        std::time_t gmt;      // the centre's GMT, true time
        std::int32_t centre;  // the centre's local less its GMT
        bool agree;
    };
    const Row rows[] = {
        {"UTC PC, centre in Polish winter time", "Etc/UTC", utc(2024, 1, 15, 11, 0, 0), kH, false},
        {"UTC PC, centre in Polish summer time", "Etc/UTC", utc(2024, 7, 1, 10, 0, 0), 2 * kH, false},
        {"UTC PC, centre on GMT", "Etc/UTC", utc(2024, 7, 1, 10, 0, 0), 0, true},
        {"Warsaw, winter", "Europe/Warsaw", utc(2024, 1, 15, 11, 0, 0), kH, true},
        {"Warsaw, summer", "Europe/Warsaw", utc(2024, 7, 1, 10, 0, 0), 2 * kH, true},
        {"Warsaw, spring change, last winter second", "Europe/Warsaw", utc(2024, 3, 31, 0, 59, 59), kH, true},
        {"Warsaw, spring change, first summer second", "Europe/Warsaw", utc(2024, 3, 31, 1, 0, 0), 2 * kH, true},
        {"Warsaw, spring change, centre not yet changed", "Europe/Warsaw", utc(2024, 3, 31, 1, 0, 0), kH, false},
        {"Warsaw, autumn change, last summer second", "Europe/Warsaw", utc(2024, 10, 27, 0, 59, 59), 2 * kH, true},
        {"Warsaw, autumn change, first winter second", "Europe/Warsaw", utc(2024, 10, 27, 1, 0, 0), kH, true},
        {"Warsaw, autumn change, centre changed an hour early", "Europe/Warsaw", utc(2024, 10, 27, 0, 0, 0), kH, false},
        {"Warsaw, centre's local clock set a minute off by hand", "Europe/Warsaw", utc(2024, 1, 15, 11, 0, 0), kH + 60,
         true},
        {"London summer beside a Polish centre", "Europe/London", utc(2024, 7, 1, 10, 0, 0), 2 * kH, false},
        {"New York winter, centre on New York time", "America/New_York", utc(2024, 1, 15, 11, 0, 0), -5 * kH, true},
        {"Kathmandu, a quarter-hour zone", "Asia/Kathmandu", utc(2024, 1, 15, 11, 0, 0), 5 * kH + 45 * 60, true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        ScopedZone zone(r.zone);
        const PcZone pc = pcZoneAt(r.gmt);
        EXPECT_EQ(pc.name, r.zone);
        const auto mismatch = compareZones(r.gmt + r.centre, r.gmt, pc);
        EXPECT_EQ(!mismatch, r.agree);
        if (mismatch) {
            EXPECT_EQ(mismatch->centreOffsetSeconds, r.centre);
        }

        // The PC's clock 1.25 s behind the centre's GMT, read half a second
        // after the estimate was made.
        const SteadyTime made{std::chrono::hours(3)};
        const auto pcUtc = std::chrono::system_clock::from_time_t(r.gmt) - 1250ms + 500ms;
        const ClockReading reading{std::chrono::seconds(r.gmt + pc.offsetSeconds) - 1250ms + 500ms, pcUtc,
                                   made + 500ms};
        const CentreClocks centre{std::chrono::seconds(r.gmt + r.centre), std::chrono::seconds(r.gmt), made};
        EXPECT_NEAR(sampleOffsetOf(reading, centre), 1.25, 1e-9);
    }
}

// No RTC is no failure; a device that refuses the time is told apart. The
// real RTC is never touched here.
TEST(SystemSyncClock, HardwareClockIsSkippedWhereThereIsNone) {
    EXPECT_EQ(setHardwareClock(utc(2024, 1, 15, 11, 0, 0), "/nonexistent/rtc0"), HardwareClockResult::NoDevice);
    EXPECT_EQ(setHardwareClock(utc(2024, 1, 15, 11, 0, 0), "/dev/null"), HardwareClockResult::Failed);
}

}  // namespace
}  // namespace kt64::test
