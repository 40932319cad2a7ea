// The day's commands selected the direct way, with the database doing the
// work every day: the dated blocks are read and compared, the commands of
// the blocks in force are copied into the scratch table RozkPomoc, and the
// relay's commands are read from it in time order. It gives the same
// commands as ProgramSnapshot at a database round trip per day; it serves as
// the reference that the in-memory selection is measured and checked
// against. It writes RozkPomoc into the database it is given.
#pragma once

#include "RelayEvaluation.h"
#include "SqlDatabase.h"

namespace kt64::program {

class ScratchTableSource : public DayCommandSource {
public:
    explicit ScratchTableSource(Database& db) : db_(db) {}
    // Throws DatabaseError.
    std::vector<CommandRow> commandsFor(const CivilDate& day, int row) override;

private:
    Database& db_;
};

}  // namespace kt64::program
