// Block selection, command lookup and relay states (see RelayEvaluation.h).
#include "RelayEvaluation.h"

#include <algorithm>

namespace kt64::program {

std::vector<std::int64_t> blocksInForce(std::span<const DatedBlock> rows, const CivilDate& day) {
    std::vector<std::int64_t> blocks{kBaseBlock};
    std::int64_t highest = 0;
    const CivilDate dayIn2000{2000, day.month, day.day};
    for (const auto& r : rows) {
        if (!r.from || !r.to) continue;
        bool applies = false;
        if (r.inItsYearOnly) {
            applies = *r.from <= day && day <= *r.to;
        } else {
            const CivilDate from{2000, r.from->month, r.from->day};
            const CivilDate to{2000, r.to->month, r.to->day};
            applies = from <= dayIn2000 && dayIn2000 <= to;
        }
        if (!applies) continue;
        if (r.priority == highest) {
            blocks.push_back(r.block);
        } else if (r.priority > highest) {
            highest = r.priority;
            blocks.assign(1, r.block);
        }
    }
    return blocks;
}

bool rangeNeverApplies(const std::optional<CivilDate>& from, const std::optional<CivilDate>& to, bool yearBound) {
    if (!from || !to) return true;
    if (yearBound) return *to < *from;
    return CivilDate{2000, to->month, to->day} < CivilDate{2000, from->month, from->day};
}

RowEvaluation::RowEvaluation(DayCommandSource& source, int row) : source_(source), row_(row) {
    inForce_.operation = kNothingInForce;
    inForce_.impulse = 0;
    inForce_.cycle = 0;
    inForce_.weekdays = 0;
    inForce_.relay = 0;
    samples_.reserve(20000);
}

void RowEvaluation::take(const CommandRow& c, LocalSeconds at) {
    // Taken again at the next sample it goes on; taken anew it starts over.
    if (at != takenAt_ || c.id != inForce_.id) cyclePhase_ = 0;
    state_ = static_cast<std::uint32_t>(c.operation) & kOperationMask;
    inForce_ = c;
    takenAt_ = at;
}

namespace {

// A length in seconds; lengths far beyond any day are cut so that the
// arithmetic cannot overflow.
std::int64_t seconds(std::int64_t value, bool minutes) {
    constexpr std::int64_t kLimit = std::int64_t{1} << 40;
    return std::clamp(value, -kLimit, kLimit) * (minutes ? 60 : 1);
}

}  // namespace

void RowEvaluation::applyOperation(LocalSeconds sampleMinute, std::int64_t elapsed) {
    const std::int64_t impulse = seconds(inForce_.impulse, inForce_.impulseInMinutes);
    const std::int64_t period = seconds(inForce_.cycle, inForce_.cycleInMinutes);
    const LocalSeconds T = sampleMinute;
    const LocalSeconds Tc = takenAt_;
    bool on = false;
    switch (inForce_.operation) {
    case kOff:
        cyclePhase_ = 0;
        break;
    case kOn:
        on = true;
        cyclePhase_ = 0;
        break;
    case kImpulsePlus:
    case kImpulseMinus:
        on = Tc <= T && T <= Tc + impulse;
        if (inForce_.operation == kImpulseMinus) on = !on;
        cyclePhase_ = 0;
        break;
    case kCyclePlus:
    case kCycleMinus:
        if (Tc <= T) {
            // The phase restarts only once it exceeds the period, so a
            // cycle sampled once a minute shows a period one minute
            // longer than its own.
            cyclePhase_ += elapsed;
            if (cyclePhase_ > period) cyclePhase_ = 0;
            on = cyclePhase_ < impulse;
        } else {
            cyclePhase_ = 0;
            on = false;
        }
        if (inForce_.operation == kCycleMinus) on = !on;
        break;
    default:
        return;  // nothing in force: no change
    }
    state_ = (state_ & ~kRelayOnBit) | (on ? kRelayOnBit : 0);
}

std::uint32_t RowEvaluation::evaluate(LocalSeconds t) {
    const CivilDate date = dateOf(t);
    if (!previous_ || date != previousDate_) {
        day_ = source_.commandsFor(date, row_);
        cursor_ = 0;
    }
    const std::int64_t elapsed = previous_ ? t - *previous_ : 0;
    previous_ = t;
    previousDate_ = date;

    const int T = secondsOfDay(t) / 60 * 60;
    const LocalSeconds midnight = t - secondsOfDay(t);
    if (!day_.empty()) {
        if (cursor_ < day_.size()) ++cursor_;
        if (T < minuteOfDay(cursorRow())) --cursor_;
        const CommandRow& c = cursorRow();
        const int Tc = minuteOfDay(c);
        if ((c.weekdays & weekdayBit(date)) != 0 && T >= Tc) take(c, midnight + Tc);
    }
    applyOperation(midnight + T, elapsed);

    SampleRecord s;
    s.operation = static_cast<std::int32_t>(inForce_.operation);
    s.impulse = static_cast<std::int32_t>(inForce_.impulse);
    s.cycle = static_cast<std::int32_t>(inForce_.cycle);
    s.unitFlags = (inForce_.cycleInMinutes ? 0x01u : 0u) | (inForce_.impulseInMinutes ? 0x100u : 0u);
    s.id = static_cast<std::int32_t>(inForce_.id);
    s.block = static_cast<std::int32_t>(inForce_.block);
    samples_.push_back(s);
    return state_;
}

}  // namespace kt64::program
