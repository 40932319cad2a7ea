// The centre's time as the link server answers GetSyncTimeStamped, with the
// stamps of the status frame it comes from, so that a client on another
// computer can place the frame on its own clock by the frame's age. The
// server fills it from its device record and the client reads it back from
// the wire field for field.
#pragma once

#include <cstdint>

#include "OleDate.h"

namespace kt64::link {

struct StampedSyncTime {
    DATE Time = 0;  // the centre's local time
    // When the frame's last byte was read: the server's monotonic and
    // real-time clocks, ns since their epochs.
    std::int64_t FrameMonotonicNs = 0;
    std::int64_t FrameRealtimeNs = 0;
    std::uint64_t FrameNo = 0;            // good status frames so far
    std::int64_t ServerMonotonicNs = 0;   // the server's monotonic clock at the answer
    std::int64_t RequestMonotonicNs = 0;  // the frame's request written
    DATE GmtTime = 0;                     // the centre's GMT in the frame (0: not sent)
};

}  // namespace kt64::link
