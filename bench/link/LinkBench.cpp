// Link core figures: the cost of decoding a status frame and of building the
// parameters request (pure), and the link against the emulated centre paced
// at the line rate, set beside the wire time of the same characters
// (4800 baud, 10 bits a character = 2.083 ms each). The ratio wire/measured
// is 1.0 when the link adds nothing to the line's own time.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "CentreCalendar.h"
#include "CentreEmulator.h"
#include "CentreLine.h"
#include "Procedures.h"
#include "Requests.h"
#include "SerialPort.h"
#include "StatusFrame.h"

namespace {

using namespace kt64;

constexpr double kCharSeconds = 10.0 / 4800.0;

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

link::Bytes sampleStatus() {
    sim::EmulatorOptions options;
    auto clock = std::make_shared<sim::ManualTimeSource>(sim::utcTime(2024, 5, 17, 12, 34, 56));
    sim::CentreEmulator centre(options, clock);
    return centre.statusFrame();
}

void BM_ApplyStatusFrame(benchmark::State& st) {
    const link::Bytes frame = sampleStatus();
    link::DeviceState state;
    for (auto _ : st) {
        benchmark::DoNotOptimize(link::applyStatusFrame(frame, state));
    }
}
BENCHMARK(BM_ApplyStatusFrame);

void BM_ParamsRequest(benchmark::State& st) {
    link::DeviceState state;
    state.NewLocalOffset = -2.5 / 24;
    state.PendingParams = link::P_LOCALOFFSET;
    for (auto _ : st) {
        benchmark::DoNotOptimize(link::paramsRequest(link::paramValuesOf(state)));
    }
}
BENCHMARK(BM_ParamsRequest);

// One paced centre on a pty, opened as the server opens its port.
struct PacedLine {
    PacedLine() {
        sim::EmulatorOptions options;
        options.pacing = true;
        centre = std::make_unique<sim::CentreEmulator>(options);
        centre->start();
        port.openDevice(centre->devicePath());
        port.setTimeouts(link::kCentreTimeouts);
    }
    std::unique_ptr<sim::CentreEmulator> centre;
    serial::SerialPort port;
};

// A status exchange moves 4 + 50 characters.
void BM_StatusExchangePaced(benchmark::State& st) {
    PacedLine line;
    link::DeviceState state;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : st) {
        if (link::exchangeStatus(line.port, state) != S_OK) st.SkipWithError("no status");
    }
    const double each = seconds(start) / static_cast<double>(st.iterations());
    const double wire = 54 * kCharSeconds;
    st.counters["exchanges_per_s"] = 1.0 / each;
    st.counters["wire_per_s"] = 1.0 / wire;
    st.counters["wire_ratio"] = wire / each;
}
BENCHMARK(BM_StatusExchangePaced)->Iterations(24)->UseRealTime()->Unit(benchmark::kMillisecond);

// Records of an upload and a download: 13 + 6 characters per record each.
void BM_TransferPaced(benchmark::State& st) {
    const bool upload = st.range(0) == 1;
    const std::int32_t records = 40;
    PacedLine line;
    std::vector<std::uint8_t> buffer(link::kReceiveBufferSize, 0x42);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : st) {
        std::int32_t counter = upload ? records * 7 : static_cast<std::int32_t>(link::kImageSize) - records * 7;
        bool ok = upload ? link::uploadRecords(line.port, buffer, counter)
                         : link::downloadRecords(line.port, buffer, counter);
        if (!ok) st.SkipWithError("transfer failed");
    }
    const double each = seconds(start) / static_cast<double>(st.iterations());
    const double wire = records * 19 * kCharSeconds;
    st.counters["wire_ratio"] = wire / each;
    // The whole list of 415 records at this pace (16.4 s of wire time).
    st.counters["full_list_s"] = each * 415.0 / records;
    st.SetLabel(upload ? "upload, 40 records" : "download, 40 records");
}
BENCHMARK(BM_TransferPaced)->Arg(1)->Arg(0)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
