// How close the synchronisation worker's clock setting comes to the centre's
// true time: the worker's real cycle against the link server program and an
// emulated centre (line paced at 4800 baud), with the clock seam recording
// the local time the worker would set and the PC's UTC time of that moment.
// The error is the set time minus the centre's true time at that moment, in
// ms (negative: the PC would be set behind the centre). Prints every cycle
// and a summary per centre skew; asserts nothing.
//
//   sync_accuracy [cycles per skew, default 10]
#include <algorithm>
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
        void waitForDeviceRead() override { inner->waitForDeviceRead(); }
        std::unique_ptr<SyncServer> inner;
        Cycle& cycle;
    };
    SyncConnector& inner_;
};

void measure(std::chrono::seconds skew, int cycles) {
    test::LinkedCentre centre(skew);
    SyncSettings settings;
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
    std::printf("centre skew %+lld s: %zu settings\n", static_cast<long long>(skew.count()), settingsMade.size());
    std::vector<double> errors;
    for (std::size_t i = 0; i < settingsMade.size(); ++i) {
        const double error = test::settingErrorMs(settingsMade[i], skew);
        errors.push_back(error);
        // Every cycle sets the clock here, so cycles and settings pair up.
        const auto& cycle = link.cycles.at(i);
        const double loopMs = std::chrono::duration<double, std::milli>(settingsMade[i].at - cycle.connected).count();
        std::printf("  cycle %2zu: error %8.1f ms, %2d readings over %6.1f ms\n", i + 1, error, cycle.readings, loopMs);
    }
    if (errors.empty()) return;
    const auto [lo, hi] = std::minmax_element(errors.begin(), errors.end());
    const double mean = std::accumulate(errors.begin(), errors.end(), 0.0) / static_cast<double>(errors.size());
    std::printf("  error ms: min %.1f  mean %.1f  max %.1f  spread %.1f\n", *lo, mean, *hi, *hi - *lo);
}

}  // namespace

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    for (const auto skew : {0s, 90s, -90s}) measure(skew, cycles);
    return 0;
}
