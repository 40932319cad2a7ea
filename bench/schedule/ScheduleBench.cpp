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

namespace kt64::console {
namespace {

using namespace kt64::program;

class QuietMessages : public UserMessages {
public:
    void show(std::string_view text, MessageIcon) override { std::fprintf(stderr, "%.*s\n", int(text.size()), text.data()); }
    bool ask(std::string_view, MessageIcon) override { return true; }
};

// The full program; the same seed every run.
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
            c.czasCyklu = c.czasImp + pick(1, 30);
            insertCommand(db, c);
        }
        t.commit();
    }
};

FullProgram& program() {
    static FullProgram p;
    return p;
}

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
