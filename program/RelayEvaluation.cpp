// Block selection, command lookup and relay states (see RelayEvaluation.h).
#include "RelayEvaluation.h"

#include <algorithm>

namespace kt64::program {

std::vector<const DatedBlock*> rangesInForce(std::span<const DatedBlock> rows, const CivilDate& day) {
    std::vector<const DatedBlock*> ranges;
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
        if (!applies || r.priority < highest) continue;
        if (r.priority > highest) {
            highest = r.priority;
            ranges.clear();
        }
        ranges.push_back(&r);
    }
    return ranges;
}

std::vector<std::int64_t> blocksInForce(std::span<const DatedBlock> rows, const CivilDate& day) {
    const auto ranges = rangesInForce(rows, day);
    // Priority 0 adds to block 1; a higher one replaces it.
    std::vector<std::int64_t> blocks;
    if (ranges.empty() || ranges.front()->priority == 0) blocks.push_back(kBaseBlock);
    for (const DatedBlock* r : ranges) blocks.push_back(r->block);
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
    // Every command taken starts over, a cycle taken again on the next day
    // too: the centre starts it anew at its time.
    cyclePhase_ = 0;
    state_ = static_cast<std::uint32_t>(c.operation) & kOperationMask;
    inForce_ = c;
    takenAt_ = at;
}

void RowEvaluation::takeDue(const CivilDate& date, LocalSeconds midnight, int upTo) {
    const int weekday = weekdayBit(date);
    for (; next_ < day_.size() && minuteOfDay(day_[next_]) <= upTo; ++next_) {
        const CommandRow& c = day_[next_];
        if ((c.weekdays & weekday) != 0) take(c, midnight + minuteOfDay(c));
    }
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
        // What the previous day still had due comes before the new day.
        if (previous_) takeDue(previousDate_, *previous_ - secondsOfDay(*previous_), kSecondsPerDay);
        day_ = source_.commandsFor(date, row_);
        next_ = 0;
    }
    const std::int64_t elapsed = previous_ ? t - *previous_ : 0;
    previous_ = t;
    previousDate_ = date;

    const int T = secondsOfDay(t) / 60 * 60;
    const LocalSeconds midnight = t - secondsOfDay(t);
    takeDue(date, midnight, T);
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
