// Figures for the relay program core, on a full program (100 blocks, 400
// dates and commands): the chart's largest case (both relays over 7 days at
// 1 minute per pixel, 2 x 10,081 samples) evaluated in memory and with the
// per-day SQL selection through the scratch table, with the ratio of the
// two; and compiling (BuildImage) and loading (LoadImage) a command list.
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
#include "ScratchTableSource.h"

namespace kt64::program {
namespace {

class QuietMessages : public UserMessages {
public:
    void show(std::string_view text, MessageIcon) override { std::fprintf(stderr, "%.*s\n", int(text.size()), text.data()); }
    bool ask(std::string_view, MessageIcon) override { return true; }
};

// A document holding the full program; the same seed every run.
struct FullProgram {
    QuietMessages messages;
    ProgramDocument document{messages, KT64_BENCH_TEMPLATE};
    CivilDate start{2024, 12, 16};

    FullProgram() {
        if (!document.NewDocument()) std::abort();
        Database& db = *document.database();
        std::mt19937 rng(64);
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
        Transaction t(db);
        std::vector<std::int64_t> blocks{1};
        for (int i = 1; i < 100; ++i) blocks.push_back(insertBlock(db, BlockRow{0, pick(1, 9), "blok"}));
        // 150 ranges (every dated block has at least one) and 250 commands.
        for (int i = 0; i < 150; ++i) {
            DateRow d;
            d.nrBloku = blocks[static_cast<std::size_t>(1 + i % 99)];
            d.roczny = pick(0, 1) == 1;
            const CivilDate from{2024, 12, pick(10, 25)};
            d.dataOd = from;
            d.dataDo = CivilDate{2024, 12, std::min(31, from.day + pick(0, 5))};
            insertDate(db, d);
        }
        for (int i = 0; i < 250; ++i) {
            CommandRow c;
            c.blok = blocks[static_cast<std::size_t>(pick(0, 99))];
            c.nrPrzek = pick(1, 2);
            c.operacja = pick(0, 5);
            c.czasRozk = TimeOfDay{pick(6, 17), pick(0, 59), 0};
            c.dzienTyg = pick(1, 127);
            c.czasImp = pick(1, 30);
            c.czasCyklu = pick(31, 99);
            insertCommand(db, c);
        }
        t.commit();
    }
};

FullProgram& program() {
    static FullProgram p;
    return p;
}

constexpr int kSamplesPerChart = 2 * 10081;

void BM_ChartInMemory(benchmark::State& state) {
    FullProgram& p = program();
    const ChartGeometry g(p.start, 7, 1);
    ProgramEvaluator evaluator(p.document.database(), p.messages);
    std::uint64_t on = 0;
    for (auto _ : state) {
        for (int row = 0; row < 2; ++row) {
            evaluator.BeginRow(row);
            for (int x = g.firstColumn(); x <= g.lastColumn(); ++x) on += evaluator.Evaluate(g.columnTime(x), row) >> 28;
            evaluator.EndRow(row);
        }
    }
    benchmark::DoNotOptimize(on);
    state.SetItemsProcessed(state.iterations() * kSamplesPerChart);
    state.counters["ns_per_sample"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kSamplesPerChart,
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
    state.counters["ns_per_sample"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kSamplesPerChart,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}
BENCHMARK(BM_ChartPerDaySql)->Unit(benchmark::kMillisecond);

void BM_BuildImage(benchmark::State& state) {
    FullProgram& p = program();
    for (auto _ : state) {
        CommandImage image = blankImage();
        if (!BuildImage(p.document.database(), image, p.messages).built) state.SkipWithError("refused");
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
    BuildImage(p.document.database(), image, p.messages);
    QuietMessages messages;
    ProgramDocument target(messages, KT64_BENCH_TEMPLATE);
    for (auto _ : state) {
        state.PauseTiming();
        if (!target.NewDocument()) std::abort();
        state.ResumeTiming();
        if (!LoadImage(target.database(), image, messages)) state.SkipWithError("load failed");
    }
}
BENCHMARK(BM_LoadImage)->Unit(benchmark::kMillisecond);

void BM_DecodeOnly(benchmark::State& state) {
    FullProgram& p = program();
    CommandImage image = blankImage();
    BuildImage(p.document.database(), image, p.messages);
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
    const auto folder = std::filesystem::temp_directory_path() / ("kt64-program-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    setenv("TMPDIR", folder.c_str(), 1);

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
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return 0;
}
