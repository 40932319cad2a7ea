// Narrowing the centre's offset from stamped status frames.
#include "CentreBracket.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kt64::sync {
namespace {

constexpr std::int64_t kNsPerSecond = 1'000'000'000;

std::int64_t nsOf(SteadyTime t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

}  // namespace

CentreBracket::Fit CentreBracket::add(LocalSeconds second, const FrameStamps& frame) {
    if (last_ && frame.frameNo == last_->frameNo) return Fit::Repeated;
    // The second was read at the latest when the frame started to leave the
    // centre, at the earliest when its request had reached the centre; each
    // as far out as the stamps may be off.
    const std::int64_t start = nsOf(frame.frameEnd - kStatusFrameWireTime);
    const std::int64_t arrival =
        frame.requested == SteadyTime{} ? start : std::min(start, nsOf(frame.requested + kStatusRequestWireTime));
    const std::int64_t latest = start + frame.placement.count();
    const std::int64_t earliest = arrival - frame.placement.count();
    Bound bound{frame.frameEnd, second * kNsPerSecond - latest, (second + 1) * kNsPerSecond - earliest,
                last_ && second == last_->second + 1};
    last_ = Seen{second, frame.frameNo};
    if (!bounds_.empty() && (bound.low >= high_ || bound.high <= low_)) {
        bounds_.clear();
        bound.change = false;
        bounds_.push_back(bound);
        recompute();
        return Fit::Contradicts;
    }
    bounds_.push_back(bound);
    low_ = bounds_.size() == 1 ? bound.low : std::max(low_, bound.low);
    high_ = bounds_.size() == 1 ? bound.high : std::min(high_, bound.high);
    return Fit::Narrowed;
}

void CentreBracket::forgetBefore(SteadyTime oldest) {
    const auto size = bounds_.size();
    while (!bounds_.empty() && bounds_.front().frameEnd < oldest) bounds_.pop_front();
    if (bounds_.size() != size) {
        // The oldest frame kept has no predecessor left to have changed from.
        if (!bounds_.empty()) bounds_.front().change = false;
        recompute();
    }
    if (bounds_.empty()) last_.reset();
}

void CentreBracket::keepChanges(int n) {
    bool dropped = false;
    while (!bounds_.empty() && changes() > n) {
        bounds_.pop_front();
        if (!bounds_.empty()) bounds_.front().change = false;
        dropped = true;
    }
    if (dropped) recompute();
}

void CentreBracket::clear() {
    bounds_.clear();
    last_.reset();
}

void CentreBracket::recompute() {
    low_ = std::numeric_limits<std::int64_t>::min();
    high_ = std::numeric_limits<std::int64_t>::max();
    for (const auto& b : bounds_) {
        low_ = std::max(low_, b.low);
        high_ = std::min(high_, b.high);
    }
}

int CentreBracket::changes() const noexcept {
    return static_cast<int>(std::count_if(bounds_.begin(), bounds_.end(), [](const Bound& b) { return b.change; }));
}

std::optional<std::chrono::nanoseconds> CentreBracket::width() const {
    if (bounds_.empty()) return std::nullopt;
    return std::chrono::nanoseconds(high_ - low_);
}

std::optional<CentreEstimate> CentreBracket::centreAt(SteadyTime at) const {
    if (bounds_.empty()) return std::nullopt;
    const std::int64_t offset = low_ + (high_ - low_) / 2;
    return CentreEstimate{LocalNanoseconds(offset + nsOf(at)), at};
}

std::int32_t estimatedDeviation(LocalNanoseconds pc, LocalNanoseconds centre) {
    const double seconds = std::round(std::fabs(std::chrono::duration<double>(pc - centre).count()));
    constexpr double kMax = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::min(seconds, kMax));
}

}  // namespace kt64::sync
