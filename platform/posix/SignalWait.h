// SignalWait: the given signals taken out of asynchronous delivery and read
// from a signalfd, so a main thread waits for a stop or control signal and
// for one other descriptor (a quit request, a worker's end) in one poll,
// and no handler has to be async-signal-safe. The signals are blocked in
// the constructing thread and so in every thread it creates later:
// construct it before any other thread starts.
#pragma once

#include <initializer_list>

#include "UniqueFd.h"

namespace kt64 {

class SignalWait {
public:
    // Throws std::system_error when the signals cannot be blocked or the
    // signalfd cannot be made.
    explicit SignalWait(std::initializer_list<int> signals);

    int fd() const noexcept { return fd_.get(); }
    // The pending signal's number, 0 when none could be read.
    int take();

    // Waits until a signal arrives (its number) or other (if >= 0) becomes
    // readable (kOther; it wins when both are ready). kFailed when waiting
    // is no longer possible. Interrupted waits are resumed.
    static constexpr int kOther = 0;
    static constexpr int kFailed = -1;
    int wait(int other = -1);

private:
    UniqueFd fd_;
};

}  // namespace kt64
