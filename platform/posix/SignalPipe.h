// SignalPipe: the given signals turned into bytes on a pipe, for a program
// whose event loop (Qt's) watches descriptors but must not block signals:
// SignalWait blocks them, and every program started later (the link server
// on demand, a print filter) would inherit the blocked mask. The handler
// only writes the signal's number to the pipe, which is async-signal-safe;
// the loop reads it from fd() with take(). One SignalPipe at a time in a
// process; the handlers it replaced return when it ends.
#pragma once

#include <signal.h>

#include <initializer_list>
#include <utility>
#include <vector>

#include "UniqueFd.h"

namespace kt64 {

class SignalPipe {
public:
    // Throws std::system_error when the pipe or a handler cannot be made,
    // or std::logic_error when another SignalPipe lives.
    explicit SignalPipe(std::initializer_list<int> caught);
    ~SignalPipe();
    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;

    int fd() const noexcept { return read_.get(); }
    // The next signal's number, 0 when none is waiting.
    int take();

private:
    // Puts back the handlers replaced so far and lets another SignalPipe be.
    void restore();

    UniqueFd read_, write_;
    std::vector<std::pair<int, struct sigaction>> replaced_;
};

}  // namespace kt64
