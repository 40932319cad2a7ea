// Per-day selection through the scratch table (see ScratchTableSource.h).
#include "ScratchTableSource.h"

#include "ProgramTables.h"
#include "TextFormat.h"

namespace kt64::program {

std::vector<CommandRow> ScratchTableSource::commandsFor(const CivilDate& day, int row) {
    std::vector<DatedBlock> dated;
    auto q = db_.query("SELECT Priorytet,DataOd,DataDo,Roczny,NrBloku FROM Daty,Bloki WHERE Bloki.LP=NrBloku");
    while (q.next()) {
        dated.push_back(DatedBlock{
            q.integer("Priorytet"), q.date("DataOd"), q.date("DataDo"), q.boolean("Roczny"), q.integer("NrBloku"), {}});
    }
    const auto blocks = blocksInForce(dated, day);

    db_.execute("DROP TABLE IF EXISTS RozkPomoc");
    std::string fill = formatText("CREATE TABLE RozkPomoc AS SELECT * FROM Rozkazy WHERE Blok=%lld",
                                  static_cast<long long>(blocks.front()));
    for (std::size_t i = 1; i < blocks.size(); ++i)
        fill += formatText(" OR Blok=%lld", static_cast<long long>(blocks[i]));
    db_.execute(fill);

    std::vector<CommandRow> out;
    auto commands = db_.query(formatText("SELECT * FROM RozkPomoc WHERE NrPrzek=%d ORDER BY CzasRozk,LP", row + 1));
    while (commands.next()) {
        CommandRow c = commandRowOf(commands);
        if (c.time) out.push_back(std::move(c));
    }
    return out;
}

}  // namespace kt64::program
