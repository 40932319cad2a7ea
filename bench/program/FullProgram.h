// The full relay program that the benchmarks measure (100 blocks, 150
// date ranges, 250 commands), built the same way every run so that figures
// of the core and of the console compare.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "ProgramDocument.h"
#include "ProgramTables.h"

namespace kt64::program::bench {

class QuietMessages : public UserMessages {
public:
    void show(std::string_view text, MessageIcon) override {
        std::fprintf(stderr, "%.*s\n", int(text.size()), text.data());
    }
    bool ask(std::string_view, MessageIcon) override { return true; }
};

// A document holding the full program; the same seed every run.
struct FullProgram {
    QuietMessages messages;
    ProgramDocument document{messages, KT64_BENCH_TEMPLATE};
    CivilDate start{2024, 12, 16};

    FullProgram() {
        if (!document.newDocument()) std::abort();
        Database& db = *document.database();
        std::mt19937 rng(64);
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
        Transaction t(db);
        std::vector<std::int64_t> blocks{1};
        for (int i = 1; i < 100; ++i) blocks.push_back(insertBlock(db, BlockRow{0, pick(1, 9), "blok"}));
        // 150 ranges (every dated block has at least one) and 250 commands.
        for (int i = 0; i < 150; ++i) {
            DateRow d;
            d.block = blocks[static_cast<std::size_t>(1 + i % 99)];
            d.inItsYearOnly = pick(0, 1) == 1;
            const CivilDate from{2024, 12, pick(10, 25)};
            d.from = from;
            d.to = CivilDate{2024, 12, std::min(31, from.day + pick(0, 5))};
            insertDate(db, d);
        }
        for (int i = 0; i < 250; ++i) {
            CommandRow c;
            c.block = blocks[static_cast<std::size_t>(pick(0, 99))];
            c.relay = pick(1, 2);
            c.operation = pick(0, 5);
            c.time = TimeOfDay{pick(6, 17), pick(0, 59), 0};
            c.weekdays = pick(1, 127);
            c.impulse = pick(1, 30);
            c.cycle = pick(31, 99);
            insertCommand(db, c);
        }
        t.commit();
    }
};

inline FullProgram& program() {
    static FullProgram p;
    return p;
}

}  // namespace kt64::program::bench
