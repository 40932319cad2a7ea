// The chart's evaluator over the program file (see ProgramEvaluator.h).
#include "ProgramEvaluator.h"

#include <algorithm>
#include <unordered_set>

#include "ProgramTables.h"
#include "ProgramTexts.h"

namespace kt64::program {

ProgramSnapshot::ProgramSnapshot(Database& db) {
    // The ranges' descriptions too, for the days off of the bell plan.
    auto dated = db.query(
        "SELECT Priorytet,DataOd,DataDo,Roczny,NrBloku,Daty.Opis AS Opis FROM Daty,Bloki WHERE Bloki.LP=NrBloku");
    while (dated.next()) {
        dated_.push_back(DatedBlock{dated.integer("Priorytet"), dated.date("DataOd"), dated.date("DataDo"),
                                    dated.boolean("Roczny"), dated.integer("NrBloku"), dated.text("Opis")});
    }
    auto commands = db.query("SELECT * FROM Rozkazy WHERE NrPrzek=1 OR NrPrzek=2 ORDER BY CzasRozk,LP");
    while (commands.next()) {
        CommandRow c = commandRowOf(commands);
        // A command without a time of day never comes due.
        if (!c.time) continue;
        commands_[static_cast<std::size_t>(c.relay - 1)].push_back(std::move(c));
    }
    // In time order whatever form the stored times take.
    for (auto& relay : commands_) {
        std::stable_sort(relay.begin(), relay.end(), [](const CommandRow& a, const CommandRow& b) {
            return a.time->secondsOfDay() < b.time->secondsOfDay();
        });
    }
}

std::vector<CommandRow> ProgramSnapshot::commandsFor(const CivilDate& day, int row) {
    const auto blocks = blocksInForce(dated_, day);
    const std::unordered_set<std::int64_t> inForce(blocks.begin(), blocks.end());
    std::vector<CommandRow> out;
    for (const auto& c : commands_[static_cast<std::size_t>(row)]) {
        if (inForce.count(c.block)) out.push_back(c);
    }
    return out;
}

void ProgramEvaluator::beginRow(int row) {
    evaluation_.reset();
    snapshot_.reset();
    evaluatedRow_ = -1;
    if (row < 0 || row >= kRows) return;
    samples_[static_cast<std::size_t>(row)].clear();
    if (!db_) return;
    try {
        snapshot_ = std::make_unique<ProgramSnapshot>(*db_);
    } catch (const DatabaseError& e) {
        messages_.show(std::string(text::kDatabaseError3) + e.what(), MessageIcon::None);
        return;
    }
    evaluation_ = std::make_unique<RowEvaluation>(*snapshot_, row);
    evaluatedRow_ = row;
}

std::uint32_t ProgramEvaluator::evaluate(LocalSeconds t, int row) {
    if (!evaluation_ || row != evaluatedRow_) return 0;
    return evaluation_->evaluate(t);
}

void ProgramEvaluator::endRow(int row) {
    if (row == evaluatedRow_ && evaluation_) samples_[static_cast<std::size_t>(row)] = evaluation_->takeSamples();
    evaluation_.reset();
    snapshot_.reset();
    evaluatedRow_ = -1;
}

const SampleRecord* ProgramEvaluator::sample(int row, std::size_t n) const {
    if (row < 0 || row >= kRows) return nullptr;
    const auto& samples =
        (row == evaluatedRow_ && evaluation_) ? evaluation_->samples() : samples_[static_cast<std::size_t>(row)];
    return n < samples.size() ? &samples[n] : nullptr;
}

std::size_t ProgramEvaluator::sampleCount(int row) const {
    if (row < 0 || row >= kRows) return 0;
    if (row == evaluatedRow_ && evaluation_) return evaluation_->samples().size();
    return samples_[static_cast<std::size_t>(row)].size();
}

}  // namespace kt64::program
