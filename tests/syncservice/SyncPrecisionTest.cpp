// The timed synchronisation (SyncZmiany > 0) and the time daemon's feed
// against a simulated centre on a fake monotonic clock: frames every poll
// period, each showing the second the centre had when the frame started to
// leave it, stamped when its last byte arrived. The real worker, bracket,
// window, log and socket feed; nothing touches the machine's clock.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cmath>
#include <cstring>

#include "CentreBracket.h"
#include "SyncMetrics.h"
#include "SyncTestSupport.h"
#include "SyncWorker.h"
#include "TimeFeed.h"

namespace kt64::test {
namespace {

using namespace kt64::sync;

using namespace std::chrono_literals;
using std::chrono::nanoseconds;

LocalNanoseconds localAt(int y, int mo, int d, int h, int mi, int s) {
    return std::chrono::seconds(calendar::secondsFromCivil(y, mo, d, h, mi, s));
}

double ms(nanoseconds d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Monotonic time and the two clocks that run on it: local time = offset +
// elapsed, for the centre and for the PC (whose zone is UTC here). The
// centre's GMT is its local time less its zone.
struct World {
    SteadyTime start{std::chrono::hours(1000)};
    nanoseconds elapsed{0};
    LocalNanoseconds centreOffset = localAt(2024, 3, 10, 2, 0, 0);
    LocalNanoseconds pcOffset = localAt(2024, 3, 10, 2, 0, 0);
    std::chrono::seconds centreZone{0};
    SteadyTime now() const { return start + elapsed; }
    LocalNanoseconds centre() const { return centreOffset + elapsed; }
    LocalNanoseconds pc() const { return pcOffset + elapsed; }
};

class SimClock final : public SyncClock {
public:
    explicit SimClock(World& w) : world(w) {}
    World& world;
    nanoseconds setDelay = 300ms;  // from the estimate to the setting
    int cycles = 1;
    StopSignal* stop = nullptr;
    struct Set {
        LocalNanoseconds value;
        LocalNanoseconds truth;
    };
    std::vector<Set> sets;
    std::vector<calendar::CivilTime> wholeSeconds;

    LocalSeconds nowLocal() override { return std::chrono::duration_cast<std::chrono::seconds>(world.pc()).count(); }
    std::unique_ptr<SyncTimer> createTimer() override { return std::make_unique<Due>(); }
    std::error_code setLocalTime(const calendar::CivilTime& local) override {
        wholeSeconds.push_back(local);
        return {};
    }
    ClockReading readClock() override {
        return {world.pc(),
                std::chrono::system_clock::time_point(
                    std::chrono::duration_cast<std::chrono::system_clock::duration>(world.pc())),
                world.now()};
    }
    std::error_code setLocalTime(const CentreEstimate& centre) override {
        world.elapsed += setDelay;
        sets.push_back({centre.local + (world.now() - centre.at), world.centre()});
        world.pcOffset = sets.back().value - world.elapsed;
        return {};
    }
    PcZone zoneAt(std::time_t) override { return {"Etc/UTC", 0}; }
    bool pause(std::chrono::milliseconds, const StopSignal& s) override {
        if (--cycles <= 0) stop->request();
        return !s.requested();
    }

private:
    struct Due final : SyncTimer {
        WaitResult waitUntil(LocalSeconds, const StopSignal& s) override {
            return s.requested() ? WaitResult::Stopped : WaitResult::Due;
        }
    };
};

// The link server polling the centre every poll period; events scripted by
// frame number.
class SimLink final : public SyncConnector {
public:
    explicit SimLink(World& w) : world(w) {}
    World& world;
    nanoseconds poll = 123ms;
    // The request is written this long before the frame starts (its own
    // time on the line included); the centre takes its time
    // sampleAfterArrival after the request's last byte has reached it.
    std::optional<nanoseconds> requestLead;
    nanoseconds sampleAfterArrival = 0ns;
    // Every 7th frame is placed this far late or early (alternately), with
    // that doubt on it, as after a slow call.
    nanoseconds misplaced{0};
    int frames = 0;
    int moveAtFrame = -1;  // the centre is set an hour ahead before this frame
    int failAtFrame = -1;  // this reading fails with a description
    int stopAtFrame = -1;
    StopSignal* stop = nullptr;
    std::function<void()> onWait;

    std::unique_ptr<SyncServer> connect(const std::string&) override { return std::make_unique<Server>(*this); }

private:
    struct Server final : SyncServer {
        explicit Server(SimLink& l) : link(l) {}
        DATE getSyncTime() override { return getStampedSyncTime().time; }
        DATE getGmtTime() override { return getStampedSyncTime().gmt; }
        StampedReading getStampedSyncTime() override {
            World& w = link.world;
            ++link.frames;
            if (link.frames == link.stopAtFrame) link.stop->request();
            if (link.frames == link.failAtFrame)
                throw LinkError(E_KT64_NOTREADY, std::string("Centrala ustawiana ręcznie."));
            if (link.frames == link.moveAtFrame) w.centreOffset += 1h;
            w.elapsed += link.poll;
            if (!link.requestLead) return reading(second(), w.now(), SteadyTime{});
            const auto requested = w.now() - kStatusFrameWireTime - *link.requestLead;
            const auto taken = w.centre() - kStatusFrameWireTime - *link.requestLead + kStatusRequestWireTime +
                               link.sampleAfterArrival;
            return reading(std::chrono::floor<std::chrono::seconds>(taken).count(), w.now(), requested);
        }
        StampedReading reading(LocalSeconds local, SteadyTime frameEnd, SteadyTime requested) const {
            StampedReading r{{frameEnd, static_cast<std::uint64_t>(link.frames), requested},
                             *dateOfLocalSeconds(local),
                             *dateOfLocalSeconds(local - link.world.centreZone.count())};
            if (link.misplaced != 0ns && link.frames % 7 == 0) {
                const auto shift = link.frames % 14 == 0 ? link.misplaced : -link.misplaced;
                r.frameEnd += shift;
                if (r.requested != SteadyTime{}) r.requested += shift;
                r.placement = link.misplaced;
            }
            return r;
        }
        void waitForDeviceRead() override {
            if (link.onWait) link.onWait();
        }
        // The centre's second when the frame now arriving started to leave it.
        LocalSeconds second() const {
            const auto taken = link.world.centre() - kStatusFrameWireTime;
            return std::chrono::floor<std::chrono::seconds>(taken).count();
        }
        SimLink& link;
    };
};

class SyncPrecisionTest : public ::testing::Test {
protected:
    TempFolder dir;
    std::filesystem::path logPath = dir.path() / "VqSync.log";
    CountingSpeaker speaker;
    World world;
    SimClock clock{world};
    SimLink link{world};
    std::vector<DATE> lastSyncs;
    std::vector<double> deviations;  // as the metrics hear of them
    std::vector<CycleReport> reports;
    SyncSettings settings;
    TimeFeed* feed = nullptr;

    SyncPrecisionTest() {
        settings.freqSync = 0;
        settings.compName = "kt64-host";
    }
    void run() {
        StopSignal stop;
        clock.stop = &stop;
        link.stop = &stop;
        std::filesystem::remove(logPath);
        SyncLog log(logPath, ProgramVariant::Service, speaker);
        SyncWorker worker(settings, {clock, link, log, speaker, [this](DATE d) { lastSyncs.push_back(d); }, feed,
                                     [this](const CycleReport& r) {
                                         deviations.push_back(r.deviationSeconds.value_or(-1e9));
                                         reports.push_back(r);
                                     }});
        worker.run(stop);
    }
    std::vector<std::string> messages() { return logMessages(logPath); }
    static std::string text(MessageId id) {
        auto t = std::string(messageText(id, ProgramVariant::Service));
        t.pop_back();
        return t;
    }
};

TEST_F(SyncPrecisionTest, SettingLandsWithinMillisecondsOfTheCentre) {
    struct Row {
        std::uint32_t zmiany;
        nanoseconds centreAhead;  // of the PC, fraction included
        nanoseconds poll;
        double boundMs;            // the largest error allowed
        int minFrames;             // N - 1 seconds of polls at least
        nanoseconds misplaced{0};  // every 7th frame's stamps this far off, and said so
    };
    const Row rows[] = {
        {20, 90s + 337ms, 123ms, 10.0, 154},
        {20, -90s - 999ms, 123ms, 10.0, 154},
        {20, 0ns, 123ms, 10.0, 154},
        {20, 500ms, 131ms, 10.0, 145},
        {10, 42ms, 123ms, 15.0, 73},
        // One change alone leaves a poll period of doubt.
        {1, 90s + 600ms, 123ms, 62.0, 2},
        // Calls to the server that took 160 ms now and then.
        {20, 90s + 337ms, 123ms, 10.0, 154, 80ms},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "N " << row.zmiany << ", centre ahead " << ms(row.centreAhead)
                                        << " ms, poll " << ms(row.poll) << " ms");
        world = World{};
        world.centreOffset = world.pcOffset + row.centreAhead;
        link.poll = row.poll;
        link.misplaced = row.misplaced;
        link.frames = 0;
        link.stopAtFrame = 2000;  // a bracket that never settles ends the cycle
        clock.sets.clear();
        clock.cycles = 1;
        settings.timedChanges = row.zmiany;
        run();
        ASSERT_EQ(clock.sets.size(), 1u);
        EXPECT_TRUE(clock.wholeSeconds.empty());
        EXPECT_LE(std::fabs(ms(clock.sets[0].value - clock.sets[0].truth)), row.boundMs);
        EXPECT_GE(link.frames, row.minFrames);
        EXPECT_EQ(messages(), std::vector<std::string>{text(MessageId::Synchronised)});
    }
}

// Whether the centre takes its time as the request arrives or as it starts
// to answer 8 ms later, the estimate stays within half of that.
TEST_F(SyncPrecisionTest, CentreTakingItsTimeAnywhereAfterTheRequestIsAllowedFor) {
    for (const auto sample : {0ms, 4ms, 8ms}) {
        SCOPED_TRACE(testing::Message() << "time taken " << ms(sample) << " ms after the request arrived");
        world = World{};
        world.centreOffset = world.pcOffset + 90s + 337ms;
        link.frames = 0;
        link.requestLead = kStatusRequestWireTime + 8ms;
        link.sampleAfterArrival = sample;
        clock.sets.clear();
        clock.cycles = 1;
        settings.timedChanges = 20;
        run();
        ASSERT_EQ(clock.sets.size(), 1u);
        EXPECT_LE(std::fabs(ms(clock.sets[0].value - clock.sets[0].truth)), 4.0 + 6.0);
    }
}

TEST_F(SyncPrecisionTest, ZeroChangesKeepsTheWholeSecondOfTheFirstChange) {
    world.centreOffset = world.pcOffset + 90s + 337ms;
    settings.timedChanges = 0;
    run();
    EXPECT_TRUE(clock.sets.empty());
    ASSERT_EQ(clock.wholeSeconds.size(), 1u);
    const LocalNanoseconds set = std::chrono::seconds(calendar::secondsFromCivil(clock.wholeSeconds[0]));
    // The second that had just begun when the frame left the centre.
    EXPECT_LT(set, world.centre());
    EXPECT_GT(set, world.centre() - 1s);
}

TEST_F(SyncPrecisionTest, WindowIsJudgedOnTheEstimatedDeviationRounded) {
    struct Row {
        nanoseconds centreAhead;
        std::int32_t od, dO;
        bool set;
    };
    const Row rows[] = {
        {59s + 400ms, 0, 59, true},                          // 59.4 s is 59
        {59s + 600ms, 0, 59, false},                         // 59.6 s is 60
        {-59s - 600ms, 60, 0, true},                         // behind as much as ahead
        {-59s - 400ms, 60, 0, false}, {400ms, 1, 0, false},  // under half a second is no deviation
        {600ms, 1, 0, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "centre ahead " << ms(row.centreAhead) << " ms, window " << row.od << "-"
                                        << row.dO);
        world = World{};
        world.centreOffset = world.pcOffset + row.centreAhead;
        clock.sets.clear();
        clock.cycles = 1;
        lastSyncs.clear();
        deviations.clear();
        settings.timedChanges = 20;
        settings.deviationFrom = row.od;
        settings.deviationTo = row.dO;
        run();
        ASSERT_EQ(deviations.size(), 1u);
        EXPECT_NEAR(deviations[0], std::chrono::duration<double>(row.centreAhead).count(), 0.05);
        EXPECT_EQ(clock.sets.size(), row.set ? 1u : 0u);
        EXPECT_EQ(lastSyncs.size(), row.set ? 1u : 0u);
        EXPECT_EQ(messages(),
                  std::vector<std::string>{text(row.set ? MessageId::Synchronised : MessageId::OutsideWindow)});
    }
}

TEST_F(SyncPrecisionTest, LastSyncAndToneFollowTheAppliedEstimate) {
    world.centreOffset = world.pcOffset + 2s + 250ms;
    settings.timedChanges = 20;
    settings.syncSnd = true;
    run();
    ASSERT_EQ(clock.sets.size(), 1u);
    ASSERT_EQ(lastSyncs.size(), 1u);
    EXPECT_EQ(speaker.tones, (std::vector<std::pair<unsigned, unsigned>>{{1500, 300}}));
    // LastSync keeps the milliseconds: within the setting's error (and the
    // setting's own delay) of the centre's time, not at a whole second.
    const double lastSyncMs = (lastSyncs[0] - *dateOfLocalSeconds(0)) * 86400e3;
    const double setMs = ms(clock.sets[0].value - clock.setDelay);
    EXPECT_NEAR(lastSyncMs, setMs, 1.0);
    EXPECT_GT(std::fmod(lastSyncMs, 1000.0), 1.0);
}

TEST_F(SyncPrecisionTest, CentreSetWhileTimingStartsTheTimingAfresh) {
    world.centreOffset = world.pcOffset + 90s + 337ms;
    settings.timedChanges = 20;
    link.moveAtFrame = 100;
    run();
    ASSERT_EQ(clock.sets.size(), 1u);
    // The hour's step is applied, and to the millisecond: nothing from
    // before the step narrowed the bracket.
    EXPECT_LE(std::fabs(ms(clock.sets[0].value - clock.sets[0].truth)), 10.0);
    // Twenty changes after the step span at least 19 s of polls.
    EXPECT_GE(link.frames, 100 + 19 * 1000 / 123);
}

TEST_F(SyncPrecisionTest, FailedReadingEndsTheCycleWithItsDescription) {
    settings.timedChanges = 20;
    settings.syncSnd = true;
    link.failAtFrame = 30;
    run();
    EXPECT_TRUE(clock.sets.empty());
    EXPECT_TRUE(lastSyncs.empty());
    EXPECT_TRUE(speaker.tones.empty());
    EXPECT_EQ(messages(), std::vector<std::string>{"Centrala ustawiana ręcznie."});
}

TEST(CentreBracket, NarrowsOverChangesAndKeepsTheLastOnes) {
    CentreBracket bracket;
    const SteadyTime t0{std::chrono::hours(5)};
    const LocalSeconds s0 = 1'000'000;
    // The centre's second begins at t0 + 300 ms + wire time on the monotonic clock.
    auto frame = [&](nanoseconds at, std::uint64_t no) {
        const auto taken = at - kStatusFrameWireTime - 300ms;
        return std::pair{s0 + std::chrono::floor<std::chrono::seconds>(taken).count(), FrameStamps{t0 + at, no}};
    };
    std::uint64_t no = 0;
    for (nanoseconds at = 0ns; at < 20s; at += 123ms) {
        const auto [second, stamps] = frame(at, ++no);
        EXPECT_EQ(bracket.add(second, stamps), CentreBracket::Fit::Narrowed);
        EXPECT_EQ(bracket.add(second, stamps), CentreBracket::Fit::Repeated);
    }
    EXPECT_EQ(bracket.changes(), 20);
    ASSERT_TRUE(bracket.width());
    EXPECT_LE(*bracket.width(), 20ms);
    const auto truth = std::chrono::seconds(s0) + 20s - 300ms;  // centre's local time at t0 + 20 s
    EXPECT_LE(std::fabs(ms(bracket.centreAt(t0 + 20s)->local - truth)), 10.0);

    bracket.keepChanges(3);
    EXPECT_EQ(bracket.changes(), 3);
    EXPECT_LE(std::fabs(ms(bracket.centreAt(t0 + 20s)->local - truth)), 62.0);

    // A frame an hour on cannot be the same clock: the bracket starts again.
    EXPECT_EQ(bracket.add(s0 + 3620, {t0 + 20s + 123ms, ++no}), CentreBracket::Fit::Contradicts);
    EXPECT_EQ(bracket.changes(), 0);
    EXPECT_EQ(*bracket.width(), 1s);
}

// The true offset stays inside the bracket wherever between the request's
// arrival and the frame's start the centre took its time, and the bracket
// leaves open no more than that span: the request's own time on the line is
// no doubt. Frames 17 ms apart, so that the sweep across the second changes
// leaves hardly any doubt of its own.
TEST(CentreBracket, TruthStaysInsideWhereverTheCentreTookItsTime) {
    const SteadyTime t0{std::chrono::hours(5)};
    const LocalSeconds s0 = 1'000'000;
    struct Row {
        nanoseconds answer;  // from the request's arrival to the frame's start
        nanoseconds sample;  // from the request's arrival to the time taken
    };
    for (const Row row : {Row{8ms, 0ms}, Row{8ms, 3ms}, Row{8ms, 8ms}, Row{500us, 0ms}, Row{500us, 500us}}) {
        SCOPED_TRACE(testing::Message() << "answer after " << ms(row.answer) << " ms, time taken after "
                                        << ms(row.sample) << " ms");
        CentreBracket bracket;
        std::uint64_t no = 0;
        for (nanoseconds end = 200ms; end < 20s; end += 17ms) {
            const auto requested = end - kStatusFrameWireTime - row.answer - kStatusRequestWireTime;
            // The centre's second begins 300 ms on.
            const auto taken = requested + kStatusRequestWireTime + row.sample - 300ms;
            const LocalSeconds second = s0 + std::chrono::floor<std::chrono::seconds>(taken).count();
            ASSERT_EQ(bracket.add(second, {t0 + end, ++no, t0 + requested}), CentreBracket::Fit::Narrowed);
        }
        const auto truth = std::chrono::seconds(s0) + 20s - 300ms;
        EXPECT_LE(std::fabs(ms(bracket.centreAt(t0 + 20s)->local - truth)), ms(*bracket.width()) / 2);
        EXPECT_GE(*bracket.width(), row.answer);
        EXPECT_LE(*bracket.width(), row.answer + 1ms);
    }
}

TEST(CentreBracket, DeviationRoundsHalfAwayFromZeroBothWays) {
    EXPECT_EQ(estimatedDeviation(10s + 499ms, 0ns), 10);
    EXPECT_EQ(estimatedDeviation(10s + 500ms, 0ns), 11);
    EXPECT_EQ(estimatedDeviation(0ns, 10s + 500ms), 11);
    EXPECT_EQ(estimatedDeviation(std::chrono::hours(24 * 365 * 200), 0ns), std::numeric_limits<std::int32_t>::max());
}

// ---------------------------------------------------------------------------
// The time daemon's feed.

// A bound Unix datagram socket standing in for the daemon.
class DaemonSocket {
public:
    explicit DaemonSocket(std::filesystem::path path) : path_(std::move(path)) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path_.c_str(), sizeof addr.sun_path - 1);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) throw std::runtime_error("bind");
    }
    ~DaemonSocket() { ::close(fd_); }
    // Every datagram waiting, whole.
    std::vector<std::vector<char>> take() {
        std::vector<std::vector<char>> out;
        for (;;) {
            std::vector<char> buffer(256);
            const auto n = ::recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (n < 0) break;
            buffer.resize(static_cast<std::size_t>(n));
            out.push_back(std::move(buffer));
        }
        return out;
    }

private:
    std::filesystem::path path_;
    int fd_;
};

TEST(SockSample, LayoutAndTimeValues) {
    struct Row {
        nanoseconds measured;
        long sec, usec;
    };
    const Row rows[] = {
        {1s + 500ms, 1, 500000}, {-250ms, -1, 750000}, {1'700'000'000s + 999999us, 1'700'000'000, 999999}};
    for (const auto& row : rows) {
        const auto s = sockSampleOf(std::chrono::system_clock::time_point(
                                        std::chrono::duration_cast<std::chrono::system_clock::duration>(row.measured)),
                                    -0.125);
        EXPECT_EQ(s.tv.tv_sec, row.sec);
        EXPECT_EQ(s.tv.tv_usec, row.usec);
        EXPECT_EQ(s.offset, -0.125);
        EXPECT_EQ(s.magic, 0x534f434b);
        EXPECT_EQ(s.pulse, 0);
        EXPECT_EQ(s.leap, 0);
    }
    EXPECT_EQ(offsetof(SockSample, offset), 16u);
    EXPECT_EQ(offsetof(SockSample, magic), 36u);
}

TEST_F(SyncPrecisionTest, FeedSendsOneSamplePerSecondInsteadOfSettingTheClock) {
    const auto socketPath = dir.path() / "kt64.sock";
    DaemonSocket daemon(socketPath);
    SockTimeFeed sock(socketPath.string(), {::geteuid()});
    feed = &sock;
    settings.syncSock = socketPath.string();
    settings.timedChanges = 10;
    settings.syncSnd = true;
    const nanoseconds ahead = 1s + 337ms;
    world.centreOffset = world.pcOffset + ahead;
    link.stopAtFrame = 30 * 1000 / 123;  // about 30 s of polls
    // The daemon reads as it goes (its queue holds only a few datagrams).
    std::vector<std::vector<char>> samples;
    link.onWait = [&] {
        for (auto& d : daemon.take()) samples.push_back(std::move(d));
    };
    run();

    EXPECT_TRUE(clock.sets.empty());
    EXPECT_TRUE(clock.wholeSeconds.empty());
    // A sample per change once ten have been seen: about 20 of 30 seconds.
    EXPECT_GE(samples.size(), 18u);
    EXPECT_LE(samples.size(), 21u);
    for (const auto& bytes : samples) {
        ASSERT_EQ(bytes.size(), 40u);
        SockSample s;
        std::memcpy(&s, bytes.data(), sizeof s);
        EXPECT_EQ(s.magic, 0x534f434b);
        EXPECT_EQ(s.pulse, 0);
        EXPECT_EQ(s.leap, 0);
        EXPECT_NEAR(s.offset, 1.337, 0.010);
        EXPECT_GE(s.tv.tv_usec, 0);
        EXPECT_LT(s.tv.tv_usec, 1000000);
    }
    // The measurement times are the PC's, a second or so apart.
    for (std::size_t i = 1; i < samples.size(); ++i) {
        SockSample a, b;
        std::memcpy(&a, samples[i - 1].data(), sizeof a);
        std::memcpy(&b, samples[i].data(), sizeof b);
        const double gap = (b.tv.tv_sec - a.tv.tv_sec) + (b.tv.tv_usec - a.tv.tv_usec) / 1e6;
        EXPECT_NEAR(gap, 1.0, 0.13);
    }
    // One 108, tone and LastSync for the connection, not one per sample.
    EXPECT_EQ(messages(), std::vector<std::string>{text(MessageId::Synchronised)});
    EXPECT_EQ(lastSyncs.size(), 1u);
    EXPECT_EQ(speaker.tones.size(), 1u);
}

TEST_F(SyncPrecisionTest, FeedFailuresAndTheWindowAreLoggedOnceNotEverySecond) {
    struct Row {
        const char* name;
        bool daemonListens;
        std::int32_t deviationTo;
        bool delivered;
        std::chrono::seconds centreZone{0};  // the PC's zone is UTC
        bool strangersSocket = false;        // bound by an account other than the daemon's
    };
    const Row rows[] = {
        {"no daemon on the socket", false, 0, false},
        {"deviation outside the window", true, 1, false},
        {"daemon that does not read: the full queue drops samples, the worker goes on", true, 0, true},
        {"centre keeping another local time than the PC's zone", true, 0, false, 1h},
        {"socket bound by a member in the daemon's place", true, 0, false, 0s, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto socketPath = dir.path() / "daemon.sock";
        std::filesystem::remove(socketPath);
        std::optional<DaemonSocket> daemon;
        if (row.daemonListens) daemon.emplace(socketPath);
        const uid_t daemonAccount = row.strangersSocket ? ::geteuid() + 1 : ::geteuid();
        SockTimeFeed sock(socketPath.string(), {daemonAccount});
        feed = &sock;
        settings.syncSock = socketPath.string();
        settings.timedChanges = 5;
        settings.deviationTo = row.deviationTo;
        world = World{};
        world.centreOffset = world.pcOffset + 5s + row.centreZone;
        world.centreZone = row.centreZone;
        link.frames = 0;
        // Samples for 25 s: more than a daemon's queue holds.
        link.stopAtFrame = 30 * 1000 / 123;
        run();
        const auto logged = messages();
        if (row.delivered) {
            // Its queue took the first samples (108); the rest found it full.
            ASSERT_EQ(logged.size(), 2u);
            EXPECT_EQ(logged[0], text(MessageId::Synchronised));
            EXPECT_EQ(logged[1].rfind("Nie mogę przekazać próbki czasu do gniazda " + socketPath.string() + ": ", 0),
                      0u)
                << logged[1];
            EXPECT_EQ(lastSyncs.size(), 1u);
            lastSyncs.clear();
            continue;
        }
        ASSERT_EQ(logged.size(), 1u);
        if (row.strangersSocket) {
            EXPECT_EQ(logged[0], "Nie mogę przekazać próbki czasu do gniazda " + socketPath.string() +
                                     ": gniazdo należy do użytkownika o uid " + std::to_string(::geteuid()) +
                                     ", a nie do roota ani do demona czasu");
            EXPECT_TRUE(daemon->take().empty());
        } else if (row.daemonListens) {
            std::string expected =
                row.centreZone == 0s ? text(MessageId::OutsideWindow) : zoneMismatchText({{"Etc/UTC", 0}, 3600});
            if (expected.back() == '\n') expected.pop_back();
            EXPECT_EQ(logged[0], expected);
            EXPECT_TRUE(daemon->take().empty());
        } else {
            EXPECT_EQ(logged[0].rfind("Nie mogę przekazać próbki czasu do gniazda " + socketPath.string() + ": ", 0),
                      0u)
                << logged[0];
        }
        EXPECT_TRUE(lastSyncs.empty());
    }
}

// A feed runs for hours on one connection: the metrics must hear of it as
// it goes, a minute at a time on the clock's own time, or the monitoring
// takes a healthy PC for one that stopped synchronising. Every kind of
// failure is counted for each minute it lasts.
TEST_F(SyncPrecisionTest, FeedTellsTheMetricsEveryMinute) {
    struct Row {
        const char* name;
        bool daemonListens;
        std::int32_t deviationTo;
        std::chrono::seconds centreZone;  // the PC's zone is UTC
        const char* counted;              // the failure label; nullptr: samples delivered
    };
    const Row rows[] = {
        {"samples delivered", true, 0, 0s, nullptr},
        {"centre keeping another local time than the PC's zone", true, 0, 1h, "zone"},
        {"deviation outside the window", true, 1, 0s, "109"},
        {"no daemon on the socket", false, 0, 0s, "feed"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto socketPath = dir.path() / "daemon.sock";
        std::filesystem::remove(socketPath);
        std::optional<DaemonSocket> daemon;
        if (row.daemonListens) daemon.emplace(socketPath);
        SockTimeFeed sock(socketPath.string(), {::geteuid()});
        feed = &sock;
        settings.syncSock = socketPath.string();
        settings.timedChanges = 5;
        settings.deviationTo = row.deviationTo;
        world = World{};
        world.centreOffset = world.pcOffset + 5s + row.centreZone;
        world.centreZone = row.centreZone;
        link.frames = 0;
        link.stopAtFrame = 200 * 1000 / 123;  // 200 s of polls
        link.onWait = [&] {
            if (daemon) daemon->take();
        };
        reports.clear();
        run();

        // The first sample at once, then one report a minute, then what was
        // left when the worker stopped.
        ASSERT_GE(reports.size(), 4u);
        SyncMetricsState state;
        std::optional<std::int64_t> previous;
        for (std::size_t i = 0; i < reports.size(); ++i) {
            const CycleReport& r = reports[i];
            ASSERT_TRUE(r.at);
            EXPECT_EQ(failureLabel(r), row.counted ? std::optional<std::string>(row.counted) : std::nullopt);
            EXPECT_EQ(r.synchronised, row.counted == nullptr);
            state.add(r, *r.at);
            const std::int64_t at = std::chrono::duration_cast<std::chrono::seconds>(r.at->time_since_epoch()).count();
            if (previous && i + 1 < reports.size()) {
                EXPECT_GE(at - *previous, 60) << "report " << i;
                EXPECT_LE(at - *previous, 61) << "report " << i;
            }
            previous = at;
            if (row.counted) {
                EXPECT_EQ(state.failures[row.counted], i + 1);
                EXPECT_FALSE(state.lastSuccessUnix);
            } else {
                EXPECT_EQ(state.lastSuccessUnix, at);
                ASSERT_TRUE(state.deviationSeconds);
                EXPECT_NEAR(*state.deviationSeconds, 5.0, 0.01);
            }
        }
    }
}

}  // namespace
}  // namespace kt64::test
