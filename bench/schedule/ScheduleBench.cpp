// Figures for the schedule console on a full program (100 blocks, 400
// dates and commands): drawing the chart's three pictures for 7 days at
// 1 minute per pixel (2 x 10,081 evaluated columns), beside 1 day for the
// ratio, and rebuilding the tree and refilling the list of all commands
// and of all blocks. Runs on the offscreen platform unless told otherwise.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <cstdio>
#include <random>

#include "ChartPictures.h"
#include "ItemCode.h"
#include "ProgramDocument.h"
#include "ProgramTables.h"
#include "ScheduleModels.h"
#include "FullProgram.h"

namespace kt64::console {
namespace {

using namespace kt64::program;

using program::bench::FullProgram;
using program::bench::program;

void BM_ChartPictures(benchmark::State& state) {
    auto& p = program();
    const ChartGeometry geometry(p.start, static_cast<int>(state.range(0)), 1);
    for (auto _ : state) {
        ProgramEvaluator evaluator(p.document.database(), p.messages);
        auto pictures = drawChart(geometry, evaluator);
        benchmark::DoNotOptimize(pictures.relays[1].bits());
    }
    state.counters["columns"] = geometry.columnCount() * 2;
}
BENCHMARK(BM_ChartPictures)->Arg(1)->Arg(7)->Unit(benchmark::kMillisecond);

void BM_TreeRebuild(benchmark::State& state) {
    auto& p = program();
    ScheduleTreeModel model;
    for (auto _ : state) {
        const auto counts = model.rebuild(p.document.database(), p.messages);
        benchmark::DoNotOptimize(counts.records);
    }
    state.counters["items"] = 3 + 100 + 99 + 100 + 400;
}
BENCHMARK(BM_TreeRebuild)->Unit(benchmark::kMillisecond);

void BM_ListFill(benchmark::State& state) {
    auto& p = program();
    ScheduleListModel model;
    const std::uint32_t code = makeItemCode(static_cast<int>(state.range(0)), 0);
    for (auto _ : state) {
        model.fill(code, p.document.database(), p.messages);
        benchmark::DoNotOptimize(model.rowCount());
    }
    state.counters["rows"] = model.rowCount();
}
BENCHMARK(BM_ListFill)->Arg(kKindCommands)->Arg(kKindDates)->Arg(kKindBlocks)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kt64::console

int main(int argc, char** argv) {
    if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
