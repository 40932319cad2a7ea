// How close the synchronisation worker's clock setting comes to the centre's
// true time: the worker's real cycle against the link server program and an
// emulated centre (line paced at 4800 baud), with the clock seam recording
// the local time the worker would set and the PC's UTC time of that moment.
// The error is the set time minus the centre's true time at that moment, in
// ms (negative: the PC would be set behind the centre). Each centre skew is
// measured with the whole-second setting (SyncZmiany 0) and with the timed
// one (SyncZmiany as given, default the settings' default), on the same
// centre and server. Prints every cycle and min/mean/max/RMS per method and
// skew, then both methods over all skews side by side; asserts nothing.
//
// Where the timed method's error comes from: the emulated centre's clock is
// watched (every read of it is stamped on the monotonic clock), so for each
// status frame the worker used it shows when the centre took the time it
// reports, against the request's writing and the frame's start as the
// worker places them. The method assumes the time was taken between the
// two; the middle of what the frames leave open is its estimate.
//
//   sync_accuracy [cycles per skew and method, default 10] [SyncZmiany]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <numeric>

#include "ClientSyncLink.h"
#include "LinkedCentre.h"
#include "SyncWorker.h"

namespace {

using namespace kt64::sync;
using namespace std::chrono_literals;

// The centre's clock (the PC's UTC plus a skew), each read of it stamped on
// the monotonic clock.
class WatchedTimeSource final : public kt64::sim::TimeSource {
public:
    explicit WatchedTimeSource(std::chrono::milliseconds skew) : skewed_(skew) {}
    kt64::sim::TimePoint now() const override {
        const auto steady = std::chrono::steady_clock::now();
        std::lock_guard lock(mutex_);
        reads_.push_back(steady);
        return skewed_.now();
    }
    std::vector<SteadyTime> reads() const {
        std::lock_guard lock(mutex_);
        return reads_;
    }

private:
    kt64::test::SkewedTimeSource skewed_;
    mutable std::mutex mutex_;
    mutable std::vector<SteadyTime> reads_;
};

// Counts the readings of each cycle, keeps the stamped ones and times the
// reading loop.
class CountingLink final : public SyncConnector {
public:
    explicit CountingLink(SyncConnector& inner) : inner_(inner) {}
    struct Cycle {
        int readings = 0;
        std::chrono::system_clock::time_point connected;
        std::vector<StampedReading> stamped;
    };
    std::vector<Cycle> cycles;

    std::unique_ptr<SyncServer> connect(const std::string& computer) override {
        auto server = inner_.connect(computer);
        cycles.push_back({0, std::chrono::system_clock::now(), {}});
        return std::make_unique<Counted>(std::move(server), cycles.back());
    }

private:
    struct Counted final : SyncServer {
        Counted(std::unique_ptr<SyncServer> s, Cycle& c) : inner(std::move(s)), cycle(c) {}
        kt64::DATE getSyncTime() override {
            ++cycle.readings;
            return inner->getSyncTime();
        }
        StampedReading getStampedSyncTime() override {
            ++cycle.readings;
            cycle.stamped.push_back(inner->getStampedSyncTime());
            return cycle.stamped.back();
        }
        kt64::DATE getGmtTime() override { return inner->getGmtTime(); }
        void waitForDeviceRead() override { inner->waitForDeviceRead(); }
        std::unique_ptr<SyncServer> inner;
        Cycle& cycle;
    };
    SyncConnector& inner_;
};

struct Summary {
    double min = 0, mean = 0, max = 0, rms = 0;
    std::size_t n = 0;
};

Summary summarise(const std::vector<double>& errors) {
    Summary s;
    s.n = errors.size();
    if (errors.empty()) return s;
    const auto [lo, hi] = std::minmax_element(errors.begin(), errors.end());
    s.min = *lo;
    s.max = *hi;
    s.mean = std::accumulate(errors.begin(), errors.end(), 0.0) / static_cast<double>(errors.size());
    double squares = 0;
    for (const double e : errors) squares += e * e;
    s.rms = std::sqrt(squares / static_cast<double>(errors.size()));
    return s;
}

void print(const char* label, const Summary& s) {
    std::printf("  %-26s n %3zu  min %8.1f  mean %8.1f  max %8.1f  RMS %7.1f ms\n", label, s.n, s.min, s.mean, s.max,
                s.rms);
}

double ms(std::chrono::nanoseconds d) { return std::chrono::duration<double, std::milli>(d).count(); }

// For every frame the worker used: when the centre took its time, after the
// request was written (as the worker places it) and before the frame
// started to leave the centre (its last byte's arrival less its wire time).
void printWhereTheTimeWasTaken(const std::vector<CountingLink::Cycle>& cycles, const WatchedTimeSource& clock) {
    const auto reads = clock.reads();
    std::vector<double> afterRequest, beforeFrame;
    std::uint64_t lastFrame = 0;
    for (const auto& cycle : cycles) {
        for (const auto& r : cycle.stamped) {
            if (r.frameNo == lastFrame || r.requested == SteadyTime{}) continue;
            lastFrame = r.frameNo;
            // The first read of the centre's clock after the request.
            const auto read = std::lower_bound(reads.begin(), reads.end(), r.requested - std::chrono::milliseconds(1));
            if (read == reads.end() || *read > r.frameEnd) continue;
            afterRequest.push_back(ms(*read - r.requested));
            beforeFrame.push_back(ms(r.frameEnd - kStatusFrameWireTime - *read));
        }
    }
    print("time taken after request", summarise(afterRequest));
    print("time taken before frame", summarise(beforeFrame));
}

std::vector<double> measure(kt64::test::LinkedCentre& centre, std::chrono::seconds skew, int cycles,
                            std::uint32_t timedChanges, const WatchedTimeSource& clockWatched) {
    SyncSettings settings;
    settings.timedChanges = timedChanges;
    settings.freqSync = 0;
    settings.compName = centre.computer();
    StopSignal stop;
    kt64::test::MeasuringClock clock(cycles, 300ms, stop);
    ClientSyncLink client("sync_accuracy");
    CountingLink link(client);
    kt64::test::CountingSpeaker speaker;
    const auto logPath = centre.folder() / "VqSync.log";
    std::filesystem::remove(logPath);
    SyncLog log(logPath, ProgramVariant::Service, speaker);
    SyncWorker(settings, {clock, link, log, speaker, {}}).run(stop);

    const auto settingsMade = clock.settings();
    std::printf("centre skew %+lld s, SyncZmiany %u: %zu settings\n", static_cast<long long>(skew.count()),
                timedChanges, settingsMade.size());
    std::vector<double> errors;
    std::size_t made = 0;
    for (std::size_t i = 0; i < link.cycles.size(); ++i) {
        const auto& cycle = link.cycles[i];
        // A setting belongs to the cycle connected last before it; a cycle
        // that failed has none.
        const bool set = made < settingsMade.size() && settingsMade[made].at >= cycle.connected &&
                         (i + 1 == link.cycles.size() || settingsMade[made].at < link.cycles[i + 1].connected);
        if (!set) {
            std::printf("  cycle %2zu: no setting, %2d readings\n", i + 1, cycle.readings);
            continue;
        }
        const double error = kt64::test::settingErrorMs(settingsMade[made], skew);
        errors.push_back(error);
        const double loopMs =
            std::chrono::duration<double, std::milli>(settingsMade[made].at - cycle.connected).count();
        std::printf("  cycle %2zu: error %8.1f ms, %2d readings over %6.1f ms\n", i + 1, error, cycle.readings, loopMs);
        ++made;
    }
    // What the cycles logged besides their success.
    const std::string synchronised(messageText(MessageId::Synchronised, ProgramVariant::Service).substr(0, 20));
    for (const auto& line : kt64::test::logMessages(logPath))
        if (line.rfind(synchronised, 0) != 0) std::printf("  logged: %s\n", line.c_str());
    print("error", summarise(errors));
    if (timedChanges > 0) printWhereTheTimeWasTaken(link.cycles, clockWatched);
    return errors;
}

}  // namespace

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const std::uint32_t timedChanges =
        argc > 2 ? static_cast<std::uint32_t>(std::max(1, std::atoi(argv[2]))) : SyncSettings{}.timedChanges;
    std::vector<double> whole, timed;
    for (const auto skew : {0s, 90s, -90s}) {
        auto clock = std::make_shared<WatchedTimeSource>(skew);
        kt64::test::LinkedCentre centre(clock);
        const auto w = measure(centre, skew, cycles, 0, *clock);
        const auto t = measure(centre, skew, cycles, timedChanges, *clock);
        whole.insert(whole.end(), w.begin(), w.end());
        timed.insert(timed.end(), t.begin(), t.end());
    }
    std::printf("all skews, error of the setting (set minus true):\n");
    print("whole second (SyncZmiany 0)", summarise(whole));
    char label[40];
    std::snprintf(label, sizeof label, "timed (SyncZmiany %u)", timedChanges);
    print(label, summarise(timed));
    return 0;
}
