// The synchronisation worker's real cycle against the link server program
// and an emulated centre whose clock runs 90 s ahead of or behind the PC.
// The clock seam measures instead of setting the machine's clock.
#include <gtest/gtest.h>

#include "ClientSyncLink.h"
#include "LinkedCentre.h"
#include "SyncWorker.h"

namespace kt64::test {
namespace {

using namespace kt64::sync;

using namespace std::chrono_literals;

// How far behind the centre a setting may lag: the time from the centre's
// change of second to the setting (about 150 ms here), with all the room a
// loaded machine may need, but less than the whole second plus that lag
// which setting the previous second would cost.
constexpr double kLateSettingMs = 1000.0;

struct Run {
    std::vector<std::string> messages;
    std::vector<MeasuringClock::Setting> settings;
};

Run runCycles(const LinkedCentre& centre, std::int32_t od, std::int32_t dO, int cycles) {
    SyncSettings settings;
    settings.freqSync = 0;
    settings.deviationFrom = od;
    settings.deviationTo = dO;
    settings.compName = centre.computer();
    // Two changes keep the cycles short; the precision of the default is
    // measured by sync_accuracy.
    settings.timedChanges = 2;
    StopSignal stop;
    MeasuringClock clock(cycles, 100ms, stop);
    ClientSyncLink link("sync_end_to_end_test");
    CountingSpeaker speaker;
    const auto logPath = centre.folder() / "log" / "VqSync.log";
    std::filesystem::remove(logPath);
    SyncLog log(logPath, ProgramVariant::Service, speaker);
    std::vector<DATE> recorded;
    SyncWorker worker(settings, {clock, link, log, speaker, [&](DATE d) { recorded.push_back(d); }});
    worker.run(stop);
    EXPECT_EQ(recorded.size(), clock.settings().size());
    return {logMessages(logPath), clock.settings()};
}

TEST(SyncEndToEnd, CentreNinetySecondsAheadOrBehind) {
    const std::string synchronised = "Synchronizację czasu przeprowadzono pomyślnie.";
    const std::string outside = "Nie spełniono warunku synchronizacji.";
    for (const auto skew : {90s, -90s}) {
        SCOPED_TRACE("centre skew " + std::to_string(skew.count()) + " s");
        LinkedCentre centre(skew);

        // A window that excludes a deviation of about 90 s refuses.
        const auto refused = runCycles(centre, 0, 60, 1);
        EXPECT_EQ(refused.messages, std::vector<std::string>{outside});
        EXPECT_TRUE(refused.settings.empty());

        // One around it, and no window at all, set the centre's time.
        for (const auto& [od, dO] : {std::pair{85, 95}, std::pair{0, 0}}) {
            const auto run = runCycles(centre, od, dO, 2);
            EXPECT_EQ(run.messages, std::vector<std::string>(2, synchronised)) << od << "-" << dO;
            ASSERT_EQ(run.settings.size(), 2u);
            for (const auto& s : run.settings) {
                // The set time is the centre's time estimated from two
                // changes: within about a poll period of the true time,
                // here with all the room a loaded machine may need. A
                // second or more off is a second counted wrong.
                const double error = settingErrorMs(s, skew);
                EXPECT_LT(error, kLateSettingMs / 4);
                EXPECT_GT(error, -kLateSettingMs);
            }
        }
    }
}

}  // namespace
}  // namespace kt64::test
