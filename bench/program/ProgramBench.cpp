// Figures for the relay program core, on a full program (100 blocks, 400
// dates and commands): the chart's largest case (both relays over 7 days at
// 1 minute per pixel, 2 x 10,081 samples) evaluated in memory and with the
// per-day SQL selection through the scratch table, with the ratio of the
// two; and compiling (buildImage) and loading (loadImage) a command list.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>

#include "ChartGeometry.h"
#include "ImageCompiler.h"
#include "ProgramDocument.h"
#include "ProgramEvaluator.h"
#include "ProgramTables.h"
#include "FullProgram.h"
#include "ScratchTableSource.h"
#include "TestEnvironment.h"

namespace kt64::program {
namespace {

using bench::FullProgram;
using bench::program;
using bench::QuietMessages;

constexpr int kSamplesPerChart = 2 * 10081;

void BM_ChartInMemory(benchmark::State& state) {
    FullProgram& p = program();
    const ChartGeometry g(p.start, 7, 1);
    ProgramEvaluator evaluator(p.document.database(), p.messages);
    std::uint64_t on = 0;
    for (auto _ : state) {
        for (int row = 0; row < 2; ++row) {
            evaluator.beginRow(row);
            for (int x = g.firstColumn(); x <= g.lastColumn(); ++x)
                on += evaluator.evaluate(g.columnTime(x), row) >> 28;
            evaluator.endRow(row);
        }
    }
    benchmark::DoNotOptimize(on);
    state.SetItemsProcessed(state.iterations() * kSamplesPerChart);
    state.counters["ns_per_sample"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kSamplesPerChart,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}
BENCHMARK(BM_ChartInMemory)->Unit(benchmark::kMillisecond);

void BM_ChartPerDaySql(benchmark::State& state) {
    FullProgram& p = program();
    const ChartGeometry g(p.start, 7, 1);
    ScratchTableSource source(*p.document.database());
    std::uint64_t on = 0;
    for (auto _ : state) {
        for (int row = 0; row < 2; ++row) {
            RowEvaluation evaluation(source, row);
            for (int x = g.firstColumn(); x <= g.lastColumn(); ++x) on += evaluation.evaluate(g.columnTime(x)) >> 28;
        }
    }
    benchmark::DoNotOptimize(on);
    state.SetItemsProcessed(state.iterations() * kSamplesPerChart);
    state.counters["ns_per_sample"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kSamplesPerChart,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}
BENCHMARK(BM_ChartPerDaySql)->Unit(benchmark::kMillisecond);

void BM_BuildImage(benchmark::State& state) {
    FullProgram& p = program();
    for (auto _ : state) {
        CommandImage image = blankImage();
        if (!buildImage(p.document.database(), image, p.messages).built) state.SkipWithError("refused");
        benchmark::DoNotOptimize(image);
    }
}
BENCHMARK(BM_BuildImage)->Unit(benchmark::kMicrosecond);

void BM_CompileOnly(benchmark::State& state) {
    FullProgram& p = program();
    const auto blocks = readBlocks(*p.document.database());
    const auto dates = readDatesByBlock(*p.document.database());
    const auto commands = readCommandsByBlock(*p.document.database());
    for (auto _ : state) {
        CommandImage image = blankImage();
        benchmark::DoNotOptimize(compileImage(blocks, dates, commands, image));
        benchmark::DoNotOptimize(image);
    }
}
BENCHMARK(BM_CompileOnly)->Unit(benchmark::kMicrosecond);

void BM_LoadImage(benchmark::State& state) {
    FullProgram& p = program();
    CommandImage image = blankImage();
    buildImage(p.document.database(), image, p.messages);
    QuietMessages messages;
    ProgramDocument target(messages, KT64_BENCH_TEMPLATE);
    for (auto _ : state) {
        state.PauseTiming();
        if (!target.newDocument()) std::abort();
        state.ResumeTiming();
        if (!loadImage(target.database(), image, messages)) state.SkipWithError("load failed");
    }
}
BENCHMARK(BM_LoadImage)->Unit(benchmark::kMillisecond);

void BM_DecodeOnly(benchmark::State& state) {
    FullProgram& p = program();
    CommandImage image = blankImage();
    buildImage(p.document.database(), image, p.messages);
    for (auto _ : state) benchmark::DoNotOptimize(decodeImage(image));
}
BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMicrosecond);

// Keeps the real time of each run to print the ratio at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs) seconds[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

}  // namespace
}  // namespace kt64::program

int main(int argc, char** argv) {
    // Working copies in a folder of their own.
    const kt64::test::TempDir folder;
    const kt64::test::ScopedEnv tmp("TMPDIR", folder.path().string());

    benchmark::Initialize(&argc, argv);
    kt64::program::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto fast = reporter.seconds.find("BM_ChartInMemory");
    const auto slow = reporter.seconds.find("BM_ChartPerDaySql");
    if (fast != reporter.seconds.end() && slow != reporter.seconds.end() && fast->second > 0) {
        std::printf("\nchart of 2 x 10081 samples: in memory %.3f ms, per-day SQL %.3f ms, ratio %.1f x\n",
                    fast->second, slow->second, slow->second / fast->second);
    }
    benchmark::Shutdown();
    return 0;
}
