// The evaluator behind the switching chart, over the open program: for relay
// row r (0 = relay 1, 1 = relay 2) the chart calls beginRow(r), then
// evaluate once per column in increasing time, then endRow(r); row 0 is
// evaluated whole before row 1. Every evaluate records a sample (the command
// in force) that the chart's information window reads back by column.
//
// beginRow reads the program's date ranges and the relay's commands once;
// the block selection of each day and the command lookup then run in memory,
// so the largest chart (7 days at 1 minute per pixel, 10,081 samples per
// row) costs no database work per day or per sample. The program is not
// changed.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "RelayEvaluation.h"
#include "SqlDatabase.h"
#include "UserMessages.h"

namespace kt64::program {

// The date ranges and commands of a program, read once, answering the
// commands in force for any day.
class ProgramSnapshot : public DayCommandSource {
public:
    // Reads the date ranges with their blocks' priorities and the commands
    // of the relays; throws DatabaseError.
    explicit ProgramSnapshot(Database& db);
    std::vector<CommandRow> commandsFor(const CivilDate& day, int row) override;
    // The blocks in force on day, as blocksInForce finds them.
    std::vector<std::int64_t> blocksFor(const CivilDate& day) const { return blocksInForce(dated_, day); }
    // The date ranges that put them in force, as rangesInForce finds them.
    std::vector<const DatedBlock*> rangesFor(const CivilDate& day) const { return rangesInForce(dated_, day); }

private:
    std::vector<DatedBlock> dated_;
    std::array<std::vector<CommandRow>, 2> commands_;  // per relay, in time order
};

class ProgramEvaluator {
public:
    static constexpr int kRows = 2;

    // db may be nullptr (no program open): every evaluate then returns 0.
    // The chart makes its evaluator when it opens; db must stay open while
    // the evaluator lives.
    ProgramEvaluator(Database* db, UserMessages& messages) : db_(db), messages_(messages) {}

    // A database failure shows "Błąd bazy danych 3: " and leaves the row
    // without evaluation (evaluate returns 0).
    void beginRow(int row);
    std::uint32_t evaluate(LocalSeconds t, int row);
    void endRow(int row);

    // Sample n of a row (the column's number), or nullptr beyond the
    // samples recorded.
    const SampleRecord* sample(int row, std::size_t n) const;
    std::size_t sampleCount(int row) const;

private:
    Database* db_;
    UserMessages& messages_;
    std::unique_ptr<ProgramSnapshot> snapshot_;
    std::unique_ptr<RowEvaluation> evaluation_;
    int evaluatedRow_ = -1;
    std::array<std::vector<SampleRecord>, kRows> samples_;
};

}  // namespace kt64::program
