// CentreBracket: where on this computer's monotonic clock the centre's
// seconds change, narrowed from the status frames the link server stamps.
//
// The centre takes the time it puts into a status frame once the request has
// reached it and before the frame starts to leave it. The server stamps the
// request when it writes it, and the request's last byte is on the line a
// known wire time later (at least the status request's 4 bytes at 4800 baud,
// 10 bits each); it stamps the frame when the frame's last byte has been
// read, a known wire time after the frame's start (50 bytes). A frame showing
// second S taken between monotonic instants a and b therefore says that the
// centre's local time less the monotonic clock (its offset) lies in
// [S - b, S + 1 - a). (A centre may take it as the request arrives or as it
// answers; only its own time between the two is left open. Counting the
// request's own time on the line as open would put every estimate about half
// of it, 4 ms, ahead of a centre that answers at once.)
// Each frame narrows that interval; the frames around a second change narrow
// it most, and since the poll period is no whole fraction of a second they
// sweep across it: after N changes the width is about 2P/(N + 1) for poll
// period P (about 12 ms for N = 20 at P = 123 ms). The estimate is the
// middle of the interval.
//
// A frame that contradicts the interval means the centre's time was moved
// (a manual setting, a new synchronisation of the centre): the caller starts
// afresh from that frame. Frames can be forgotten by age so that a running
// estimate follows a clock that drifts.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>

#include "CentreLine.h"
#include "SyncSchedule.h"

namespace kt64::sync {

using SteadyTime = std::chrono::steady_clock::time_point;
// Local time with a fraction: nanoseconds since the LocalSeconds epoch.
using LocalNanoseconds = std::chrono::nanoseconds;

// The time a status frame takes on the centre's line.
inline constexpr std::chrono::nanoseconds kStatusFrameWireTime = link::lineTime(link::kStatusFrameSize);
// The shortest request, the status request, on the same line: no centre
// has a request to answer before its last byte.
inline constexpr std::chrono::nanoseconds kStatusRequestWireTime = link::lineTime(link::kStatusRequestSize);

// The centre's local time and the monotonic instant it held at.
struct CentreEstimate {
    LocalNanoseconds local{0};
    SteadyTime at{};
};

// When one status frame was read, on this process's monotonic clock: the
// server's stamps after the frame's age on the server's clock has been
// applied (ClientSyncLink).
struct FrameStamps {
    SteadyTime frameEnd{};  // the frame's last byte read
    std::uint64_t frameNo = 0;
    // When the frame's request was written; default (unknown): the time was
    // taken as the frame started.
    SteadyTime requested{};
    // How far both stamps may be off (a server on the other end of a call
    // that took long): the frame then narrows the interval only that much
    // less, instead of narrowing it wrongly.
    std::chrono::nanoseconds placement{0};
};

class CentreBracket {
public:
    enum class Fit {
        Repeated,     // the frame was seen already: nothing learnt
        Narrowed,     // the frame agrees with the interval (and may narrow it)
        Contradicts,  // the centre's time moved: the bracket starts afresh from this frame
    };

    // A frame that showed the centre's whole second.
    Fit add(LocalSeconds second, const FrameStamps& frame);
    // Forgets frames whose last byte was read before oldest, and the second
    // changes among them.
    void forgetBefore(SteadyTime oldest);
    // Forgets the oldest frames until at most n second changes are left,
    // each with the frames on both its sides.
    void keepChanges(int n);
    void clear();

    // Second changes seen (a frame one second after the frame before it).
    int changes() const noexcept;
    // The interval's width; nullopt before the first frame.
    std::optional<std::chrono::nanoseconds> width() const;
    // The centre's local time at the monotonic instant at (the middle of the
    // interval); nullopt before the first frame.
    std::optional<CentreEstimate> centreAt(SteadyTime at) const;

private:
    struct Bound {
        SteadyTime frameEnd;
        std::int64_t low;   // offset >= low (ns)
        std::int64_t high;  // offset < high (ns)
        bool change;        // this frame showed the second after the frame before it
    };
    void recompute();

    std::deque<Bound> bounds_;
    struct Seen {
        LocalSeconds second;
        std::uint64_t frameNo;
    };
    std::optional<Seen> last_;
    std::int64_t low_ = 0;
    std::int64_t high_ = 0;
};

// The absolute difference between the PC and the centre in whole seconds,
// rounded half away from zero (at most the largest 32-bit value), for the
// SyncOd/SyncDo window.
std::int32_t estimatedDeviation(LocalNanoseconds pc, LocalNanoseconds centre);

}  // namespace kt64::sync
