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
//   sync_accuracy [cycles per skew and method, default 10] [SyncZmiany]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>

#include "ClientSyncLink.h"
#include "LinkedCentre.h"
#include "SyncWorker.h"

namespace {

using namespace kt64::sync;
using namespace std::chrono_literals;

// Counts the readings of each cycle and times the reading loop.
class CountingLink final : public SyncConnector {
public:
    explicit CountingLink(SyncConnector& inner) : inner_(inner) {}
    struct Cycle {
        int readings = 0;
        std::chrono::system_clock::time_point connected;
    };
    std::vector<Cycle> cycles;

    std::unique_ptr<SyncServer> connect(const std::string& computer) override {
        auto server = inner_.connect(computer);
        cycles.push_back({0, std::chrono::system_clock::now()});
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
            return inner->getStampedSyncTime();
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

std::vector<double> measure(test::LinkedCentre& centre, std::chrono::seconds skew, int cycles, std::uint32_t zmiany) {
    SyncSettings settings;
    settings.syncZmiany = zmiany;
    settings.freqSync = 0;
    settings.compName = centre.computer();
    StopSignal stop;
    test::MeasuringClock clock(cycles, 300ms, stop);
    ClientSyncLink client("sync_accuracy");
    CountingLink link(client);
    test::CountingSpeaker speaker;
    SyncLog log(centre.folder() / "VqSync.log", ProgramVariant::Service, speaker);
    SyncWorker(settings, {clock, link, log, speaker, {}}).run(stop);

    const auto settingsMade = clock.settings();
    std::printf("centre skew %+lld s, SyncZmiany %u: %zu settings\n", static_cast<long long>(skew.count()), zmiany,
                settingsMade.size());
    std::vector<double> errors;
    for (std::size_t i = 0; i < settingsMade.size(); ++i) {
        const double error = test::settingErrorMs(settingsMade[i], skew);
        errors.push_back(error);
        // Every cycle sets the clock here, so cycles and settings pair up.
        const auto& cycle = link.cycles.at(i);
        const double loopMs = std::chrono::duration<double, std::milli>(settingsMade[i].at - cycle.connected).count();
        std::printf("  cycle %2zu: error %8.1f ms, %2d readings over %6.1f ms\n", i + 1, error, cycle.readings, loopMs);
    }
    print("error", summarise(errors));
    return errors;
}

}  // namespace

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const std::uint32_t zmiany =
        argc > 2 ? static_cast<std::uint32_t>(std::max(1, std::atoi(argv[2]))) : SyncSettings{}.syncZmiany;
    std::vector<double> whole, timed;
    for (const auto skew : {0s, 90s, -90s}) {
        test::LinkedCentre centre(skew);
        const auto w = measure(centre, skew, cycles, 0);
        const auto t = measure(centre, skew, cycles, zmiany);
        whole.insert(whole.end(), w.begin(), w.end());
        timed.insert(timed.end(), t.begin(), t.end());
    }
    std::printf("all skews, error of the setting (set minus true):\n");
    print("whole second (SyncZmiany 0)", summarise(whole));
    char label[40];
    std::snprintf(label, sizeof label, "timed (SyncZmiany %u)", zmiany);
    print(label, summarise(timed));
    return 0;
}
