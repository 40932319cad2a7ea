// StopSignal: the request to stop the synchronisation worker, raised by the
// main thread (a stop, a shutdown or a quit) and seen by the worker wherever
// it waits: on the schedule timer, in its 5-second pause, or between two
// calls to the link server. An eventfd, so waits can poll it beside a timer.
#pragma once

#include <atomic>
#include <chrono>

#include "UniqueFd.h"

namespace kt64::sync {

class StopSignal {
public:
    StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void request();
    bool requested() const { return requested_.load(); }
    // Readable once the stop has been requested.
    int fd() const { return fd_.get(); }
    // Waits up to timeout; true when the stop was requested meanwhile.
    bool waitFor(std::chrono::milliseconds timeout) const;

private:
    UniqueFd fd_;
    std::atomic<bool> requested_{false};
};

}  // namespace kt64::sync
