// Switchings from the chart's evaluation (see Switchings.h).
#include "Switchings.h"

#include <algorithm>
#include <optional>

#include "ProgramEvaluator.h"

namespace kt64::program {

namespace {

constexpr int kWarmUpDays = 7;

// The impulse of an "Impuls+" or "Cykl+" in seconds; none for the others,
// whose on-time is what the evaluation shows.
std::optional<std::int64_t> impulseSeconds(const SampleRecord& s) {
    if (s.operation != kImpulsePlus && s.operation != kCyclePlus) return std::nullopt;
    return std::int64_t{s.impulse} * (s.impulseInMinutes() ? 60 : 1);
}

}  // namespace

std::vector<Switching> resolveSwitchings(DayCommandSource& source, const CivilDate& from, const CivilDate& to) {
    std::vector<Switching> out;
    const LocalSeconds spanStart = localSeconds(from);
    const LocalSeconds spanEnd = localSeconds(to) + kSecondsPerDay;
    if (spanEnd <= spanStart) return out;
    const LocalSeconds first = spanStart - LocalSeconds{kWarmUpDays} * kSecondsPerDay;
    for (int row = 0; row < 2; ++row) {
        RowEvaluation evaluation(source, row);
        std::optional<Switching> open;
        std::optional<std::int64_t> openImpulse;
        auto close = [&](LocalSeconds end) {
            if (!open) return;
            open->end = openImpulse ? std::min(end, open->start + *openImpulse) : end;
            if (open->end > spanStart && open->end > open->start) out.push_back(*open);
            open.reset();
        };
        for (LocalSeconds t = first; t < spanEnd; t += 60) {
            const bool on = (evaluation.evaluate(t) & kRelayOnBit) != 0;
            const SampleRecord s = evaluation.samples().back();
            // One day's samples at a time: the records are read here and
            // not kept.
            if (secondsOfDay(t) == kSecondsPerDay - 60) evaluation.takeSamples();
            const bool same = open && open->command == s.id && open->operation == s.operation;
            if (open && (!on || !same)) close(t);
            if (on && !open) {
                open = Switching{row + 1, t, t, s.operation, s.id, s.block, evaluation.inForce().description};
                openImpulse = impulseSeconds(s);
            }
        }
        close(spanEnd);
    }
    return out;
}

std::vector<Switching> resolveSwitchings(Database& db, const CivilDate& from, const CivilDate& to) {
    ProgramSnapshot snapshot(db);
    return resolveSwitchings(snapshot, from, to);
}

}  // namespace kt64::program
