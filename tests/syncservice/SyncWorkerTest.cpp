// The synchronisation cycle against a scripted link server and a clock that
// only pretends: the real worker, schedule, window and log.
#include <gtest/gtest.h>

#include <cmath>

#include <deque>
#include <functional>

#include "SyncTestSupport.h"
#include "SyncWorker.h"

namespace kt64::test {
namespace {

using namespace kt64::sync;

LocalSeconds at(int y, int mo, int d, int h, int mi, int s) { return calendar::secondsFromCivil(y, mo, d, h, mi, s); }
DATE dateAt(LocalSeconds t) { return *dateOfLocalSeconds(t); }

// The PC clock: stands still except where the worker waits or pauses. Ends
// the run by requesting the stop when the worker starts waiting for cycle
// number stopAtWait.
class FakeClock final : public SyncClock {
public:
    LocalSeconds now = 0;
    std::vector<LocalSeconds> dues;
    std::vector<calendar::CivilTime> setTimes;
    bool settingFails = false;
    bool timerFails = false;
    bool noTimer = false;
    int pauses = 0;
    int stopAtWait = 2;
    StopSignal* stop = nullptr;
    PcZone zone{"Etc/UTC", 0};

    LocalSeconds nowLocal() override { return now; }

    std::unique_ptr<SyncTimer> createTimer() override {
        if (noTimer) return nullptr;
        return std::make_unique<Timer>(*this);
    }

    std::error_code setLocalTime(const calendar::CivilTime& local) override {
        if (settingFails) return std::make_error_code(std::errc::operation_not_permitted);
        setTimes.push_back(local);
        now = calendar::secondsFromCivil(local);
        return {};
    }

    // The whole-second setting (SyncZmiany = 0) that these tests drive reads
    // and sets whole seconds only.
    ClockReading readClock() override {
        ADD_FAILURE() << "readClock in a whole-second cycle";
        return {};
    }
    std::error_code setLocalTime(const CentreEstimate&) override {
        ADD_FAILURE() << "estimate set in a whole-second cycle";
        return std::make_error_code(std::errc::invalid_argument);
    }
    PcZone zoneAt(std::time_t) override { return zone; }

    bool pause(std::chrono::milliseconds length, const StopSignal& s) override {
        ++pauses;
        now += length.count() / 1000;
        return !s.requested();
    }

private:
    struct Timer final : SyncTimer {
        explicit Timer(FakeClock& c) : clock(c) {}
        WaitResult waitUntil(LocalSeconds due, const StopSignal&) override {
            if (clock.timerFails) return WaitResult::Failed;
            clock.dues.push_back(due);
            if (static_cast<int>(clock.dues.size()) >= clock.stopAtWait) {
                clock.stop->request();
                return WaitResult::Stopped;
            }
            if (due > clock.now) clock.now = due;
            return WaitResult::Due;
        }
        FakeClock& clock;
    };
};

// A link server whose centre readings are scripted as offsets (seconds)
// from the PC clock at each GetSyncTime; an empty script repeats the last.
class FakeLink final : public SyncConnector {
public:
    explicit FakeLink(FakeClock& c) : clock(c) {}

    FakeClock& clock;
    std::deque<LocalSeconds> readings;  // absolute centre times, one per GetSyncTime
    std::optional<LinkError> connectError;
    std::optional<LinkError> readError;
    std::vector<std::string> computers;
    int getSyncTimeCalls = 0;
    int waitCalls = 0;
    LocalSeconds centreOffset = 0;  // the centre's local time less its GMT
    LocalSeconds last = 0;          // the last reading given
    std::function<void()> onWait;

    std::unique_ptr<SyncServer> connect(const std::string& computer) override {
        computers.push_back(computer);
        if (connectError) throw *connectError;
        return std::make_unique<Server>(*this);
    }

private:
    struct Server final : SyncServer {
        explicit Server(FakeLink& l) : link(l) {}
        DATE getSyncTime() override {
            ++link.getSyncTimeCalls;
            if (link.readError) throw *link.readError;
            if (link.readings.empty()) throw LinkError(E_KT64_NOANSWER, std::nullopt);
            const LocalSeconds r = link.last = link.readings.front();
            if (link.readings.size() > 1) link.readings.pop_front();
            return dateAt(r);
        }
        StampedReading getStampedSyncTime() override {
            ADD_FAILURE() << "stamped reading in a whole-second cycle";
            throw LinkError(E_KT64_NOANSWER, std::nullopt);
        }
        // The centre's GMT of the last reading, by its offset.
        DATE getGmtTime() override { return dateAt(link.last - link.centreOffset); }
        void waitForDeviceRead() override {
            ++link.waitCalls;
            if (link.onWait) link.onWait();
        }
        FakeLink& link;
    };
};

class SyncWorkerTest : public ::testing::Test {
protected:
    TempFolder dir;
    std::filesystem::path logPath = dir.path() / "VqSync.log";
    CountingSpeaker speaker;
    FakeClock clock;
    FakeLink link{clock};
    std::vector<DATE> lastSyncs;
    std::vector<std::string> journal;
    // The cycles as the metrics hear of them: "108 +90", "109 -90", "107", "zone".
    std::vector<std::string> reports;
    SyncSettings settings;
    ProgramVariant variant = ProgramVariant::Service;

    SyncWorkerTest() {
        clock.now = at(2024, 3, 10, 1, 59, 30);
        settings.hourSync = *makeDate(1899, 12, 30, 2, 0, 0);
        settings.freqSync = 1440;
        settings.compName = "kt64-host";
        // The whole-second setting; the timed one has its own tests.
        settings.timedChanges = 0;
    }

    // One run of the worker with a fresh stop request.
    WorkerEnd run() {
        StopSignal stop;
        clock.stop = &stop;
        clock.dues.clear();
        clock.pauses = 0;
        SyncLog log(logPath, variant, speaker);
        log.setJournal([this](int, std::string_view line) { journal.emplace_back(line); });
        SyncWorker worker(settings, {clock, link, log, speaker, [this](DATE d) { lastSyncs.push_back(d); }, nullptr,
                                     [this](const CycleReport& r) { reports.push_back(reportText(r)); }});
        return worker.run(stop);
    }
    std::vector<std::string> messages() { return logMessages(logPath); }
    static std::string reportText(const CycleReport& r) {
        std::string t = r.synchronised ? "108" : r.zoneMismatch ? "zone" : "";
        if (r.failure) t += std::to_string(static_cast<int>(*r.failure));
        if (r.deviationSeconds)
            t += (*r.deviationSeconds >= 0 ? " +" : " ") + std::to_string(std::lround(*r.deviationSeconds));
        return t;
    }
    static std::string text(MessageId id) {
        auto t = std::string(messageText(id, ProgramVariant::Service));
        t.pop_back();
        return t;
    }
};

TEST_F(SyncWorkerTest, AcceptsFirstReadingOneSecondAfterThePrevious) {
    const LocalSeconds c = at(2024, 3, 10, 2, 0, 0);
    struct Row {
        const char* name;
        std::deque<LocalSeconds> readings;
        int readsUsed;  // GetSyncTime calls until one is accepted
        LocalSeconds accepted;
    };
    const Row rows[] = {
        {"second reading follows the first", {c, c + 1}, 2, c + 1},
        {"several readings in one second", {c, c, c, c + 1, c + 2}, 4, c + 1},
        {"a jump of two seconds is not accepted", {c, c + 2, c + 3}, 3, c + 3},
        {"after a step back the next second is accepted", {c, c - 1, c, c + 1}, 3, c},
    };
    for (const auto& row : rows) {
        link.readings = row.readings;
        link.getSyncTimeCalls = link.waitCalls = 0;
        clock.now = at(2024, 3, 10, 1, 59, 30);
        clock.setTimes.clear();
        EXPECT_EQ(run(), WorkerEnd::Stopped) << row.name;
        EXPECT_EQ(link.getSyncTimeCalls, row.readsUsed) << row.name;
        EXPECT_EQ(link.waitCalls, row.readsUsed - 1) << row.name;
        ASSERT_EQ(clock.setTimes.size(), 1u) << row.name;
        EXPECT_EQ(calendar::secondsFromCivil(clock.setTimes[0]), row.accepted) << row.name;
    }
}

TEST_F(SyncWorkerTest, SuccessfulSynchronisationSetsClockLogsTonesAndRecords) {
    settings.syncSnd = true;
    const LocalSeconds c = at(2024, 3, 10, 2, 1, 30);  // centre 90 s ahead of the PC at the cycle
    link.readings = {c, c + 1};
    EXPECT_EQ(run(), WorkerEnd::Stopped);
    EXPECT_EQ(link.computers, std::vector<std::string>{"kt64-host"});
    ASSERT_EQ(clock.setTimes.size(), 1u);
    EXPECT_EQ(clock.setTimes[0], calendar::civilFromSeconds(c + 1));
    EXPECT_EQ(messages(), std::vector<std::string>{text(MessageId::Synchronised)});
    EXPECT_EQ(speaker.tones, (std::vector<std::pair<unsigned, unsigned>>{{1500, 300}}));
    EXPECT_EQ(lastSyncs, std::vector<DATE>{dateAt(c + 1)});
    EXPECT_EQ(clock.pauses, 1);
    EXPECT_EQ(clock.dues, (std::vector<LocalSeconds>{at(2024, 3, 10, 2, 0, 0), at(2024, 3, 11, 2, 0, 0)}));
}

TEST_F(SyncWorkerTest, WindowDecidesOverNinetySecondsAheadOrBehind) {
    struct Row {
        const char* name;
        std::int32_t od, dO;
        LocalSeconds offset;
        bool set;
    };
    const Row rows[] = {
        {"no bounds, centre ahead", 0, 0, 90, true},  {"no bounds, centre behind", 0, 0, -90, true},
        {"upper bound 60, ahead", 0, 60, 90, false},  {"upper bound 60, behind", 0, 60, -90, false},
        {"lower bound 90, behind", 90, 0, -90, true}, {"window 91-100, ahead", 91, 100, 90, false},
        {"window 80-90, behind", 80, 90, -90, true},  {"clock already right, no bounds", 0, 0, 0, true},
    };
    for (const auto& row : rows) {
        settings.deviationFrom = row.od;
        settings.deviationTo = row.dO;
        clock.now = at(2024, 3, 10, 1, 59, 30);
        clock.setTimes.clear();
        std::filesystem::remove(logPath);
        // The PC clock reads 02:00:00 when the reading is taken; the centre
        // is offset from it.
        const LocalSeconds c = at(2024, 3, 10, 2, 0, 0) + row.offset;
        link.readings = {c - 1, c};
        reports.clear();
        run();
        EXPECT_EQ(clock.setTimes.size(), row.set ? 1u : 0u) << row.name;
        EXPECT_EQ(reports,
                  std::vector<std::string>{(row.set ? "108" : "109") + std::string(row.offset >= 0 ? " +" : " ") +
                                           std::to_string(row.offset)})
            << row.name;
        EXPECT_EQ(messages(),
                  std::vector<std::string>{text(row.set ? MessageId::Synchronised : MessageId::OutsideWindow)})
            << row.name;
    }
}

// The log keeps its one text per cycle; the journal has it too, and the
// system's reason once until it changes.
TEST_F(SyncWorkerTest, ClockThatCannotBeSetLogs113WithoutToneOrLastSync) {
    settings.syncSnd = true;
    clock.settingFails = true;
    clock.stopAtWait = 3;
    const LocalSeconds c = at(2024, 3, 10, 2, 0, 0);
    link.readings = {c, c + 1, c + 1, c + 2};
    run();
    EXPECT_EQ(messages(), std::vector<std::string>(2, text(MessageId::ClockNotSet)));
    EXPECT_EQ(journal, (std::vector<std::string>{text(MessageId::ClockNotSet),
                                                 "setting the system clock failed: Operation not permitted (EPERM): "
                                                 "the service lacks the right to set the clock (CAP_SYS_TIME)",
                                                 text(MessageId::ClockNotSet)}));
    EXPECT_TRUE(speaker.tones.empty());
    EXPECT_TRUE(lastSyncs.empty());
    // The second cycle runs a day later on the same readings.
    EXPECT_EQ(reports, (std::vector<std::string>{"113 +1", "113 -86398"}));
}

// The centre's offset against the PC's zone: a difference sets nothing and
// is logged (and journalled) once for both cycles of the run.
TEST_F(SyncWorkerTest, ZoneThatDiffersFromTheCentreSetsNothingAndIsLoggedOnce) {
    const std::string utcBesidePolish =
        "Nie zsynchronizowano: strefa czasowa komputera Etc/UTC (UTC+00:00) nie zgadza się z czasem lokalnym "
        "centrali (UTC+01:00). Ustaw strefę czasową komputera zgodną z centralą (np. timedatectl set-timezone "
        "Europe/Warsaw) albo przesunięcie czasu lokalnego w centrali.";
    struct Row {
        const char* name;
        PcZone pc;
        LocalSeconds centreOffset;
        std::vector<std::string> logged;
    };
    const Row rows[] = {
        {"UTC PC beside a centre in Polish winter time", {"Etc/UTC", 0}, 3600, {utcBesidePolish}},
        {"New York PC beside a centre on GMT",
         {"America/New_York", -18000},
         0,
         {"Nie zsynchronizowano: strefa czasowa komputera America/New_York (UTC-05:00) nie zgadza się z czasem "
          "lokalnym centrali (UTC+00:00). Ustaw strefę czasową komputera zgodną z centralą (np. timedatectl "
          "set-timezone Europe/Warsaw) albo przesunięcie czasu lokalnego w centrali."}},
        {"zones agree", {"Europe/Warsaw", 3600}, 3600, {2, text(MessageId::Synchronised)}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        clock.zone = row.pc;
        link.centreOffset = row.centreOffset;
        clock.now = at(2024, 3, 10, 1, 59, 30);
        clock.stopAtWait = 3;
        clock.setTimes.clear();
        journal.clear();
        std::filesystem::remove(logPath);
        const LocalSeconds c = at(2024, 3, 10, 2, 0, 0);
        link.readings = {c, c + 1, c + 1, c + 2};
        run();
        EXPECT_EQ(clock.setTimes.size(), row.logged.size() == 1 ? 0u : 2u);
        EXPECT_EQ(messages(), row.logged);
        EXPECT_EQ(journal, row.logged);
        const std::vector<std::string> reported{"108 +1", "108 -86398"};
        EXPECT_EQ(reports, row.logged.size() == 1 ? std::vector<std::string>(2, "zone") : reported);
        reports.clear();
    }
}

TEST_F(SyncWorkerTest, FailuresAreLoggedAndTheScheduleKeepsItsPace) {
    struct Row {
        const char* name;
        std::optional<LinkError> connectError, readError;
        ProgramVariant variant;
        std::string logged;
        const char* reported;
    };
    const Row rows[] = {
        {"no connection", LinkError(hresultOf(0x800706BAu), std::nullopt), std::nullopt, ProgramVariant::Service,
         text(MessageId::NoConnection), "107"},
        {"call fails with description", std::nullopt, LinkError(E_KT64_NOTREADY, std::string(text::kNotSynced240h)),
         ProgramVariant::Service, std::string(text::kNotSynced240h), "111"},
        {"call fails without description", std::nullopt, LinkError(hresultOf(0x8001011Fu), std::nullopt),
         ProgramVariant::Service, "Wystąpił wewnętrzny błąd serwera DCOM.", "111"},
        {"stand-alone program's wording", std::nullopt, LinkError(hresultOf(0x8001011Fu), std::nullopt),
         ProgramVariant::Standalone, "Wystąpił wewnętrzny błąd serwera DCOM", "111"},
    };
    for (const auto& row : rows) {
        settings.freqSync = 30;
        link.connectError = row.connectError;
        link.readError = row.readError;
        variant = row.variant;
        clock.now = at(2024, 3, 10, 1, 59, 30);
        clock.dues.clear();
        clock.pauses = 0;
        clock.stopAtWait = 4;
        std::filesystem::remove(logPath);
        EXPECT_EQ(run(), WorkerEnd::Stopped) << row.name;
        EXPECT_EQ(messages(), std::vector<std::string>(3, row.logged)) << row.name;
        EXPECT_EQ(reports, std::vector<std::string>(3, row.reported)) << row.name;
        reports.clear();
        EXPECT_EQ(clock.pauses, 3) << row.name;
        EXPECT_TRUE(clock.setTimes.empty()) << row.name;
        EXPECT_EQ(clock.dues, (std::vector<LocalSeconds>{at(2024, 3, 10, 2, 0, 0), at(2024, 3, 10, 2, 30, 0),
                                                         at(2024, 3, 10, 3, 0, 0), at(2024, 3, 10, 3, 30, 0)}))
            << row.name;
    }
}

TEST_F(SyncWorkerTest, StopDuringReadingsSetsNothing) {
    const LocalSeconds c = at(2024, 3, 10, 2, 0, 0);
    link.readings = {c, c + 1};
    link.onWait = [this] { clock.stop->request(); };
    EXPECT_EQ(run(), WorkerEnd::Stopped);
    EXPECT_EQ(link.getSyncTimeCalls, 1);
    EXPECT_TRUE(clock.setTimes.empty());
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(clock.pauses, 0);
}

TEST_F(SyncWorkerTest, TimerAndConversionFailuresEndTheWorker) {
    clock.timerFails = true;
    EXPECT_EQ(run(), WorkerEnd::SystemFailed);
    EXPECT_EQ(messages(), std::vector<std::string>{text(MessageId::SystemFailed)});
    EXPECT_EQ(link.computers.size(), 0u);

    std::filesystem::remove(logPath);
    clock.timerFails = false;
    settings.hourSync = std::numeric_limits<double>::infinity();
    EXPECT_EQ(run(), WorkerEnd::SystemFailed);
    EXPECT_EQ(messages(), std::vector<std::string>{text(MessageId::SystemFailed)});

    std::filesystem::remove(logPath);
    clock.noTimer = true;
    EXPECT_EQ(run(), WorkerEnd::NoTimer);
    EXPECT_TRUE(messages().empty());
}

}  // namespace
}  // namespace kt64::test
