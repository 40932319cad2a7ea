// A SignalWait for the control signals beside an eventfd for quit.
#include "ControlLoop.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <system_error>

namespace kt64::server {

namespace {
SignalWait controlSignals() {
    // A client that vanishes mid-write must not end the server.
    std::signal(SIGPIPE, SIG_IGN);
    return SignalWait{SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2};
}
}  // namespace

ControlLoop::ControlLoop() : signals_(controlSignals()), quit_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!quit_) throw std::system_error(errno, std::system_category(), "eventfd");
}

void ControlLoop::quit() noexcept {
    std::uint64_t one = 1;
    // An eventfd write of 1 fails only when the counter would overflow, and
    // then a quit is pending anyway.
    [[maybe_unused]] auto n = ::write(quit_.get(), &one, sizeof one);
}

void ControlLoop::run(const std::function<void(int signal)>& unknownRequest) {
    for (;;) {
        const int sig = signals_.wait(quit_.get());
        // A quit, or no way to wait any more: end as if asked to.
        if (sig == SignalWait::kOther || sig == SignalWait::kFailed) return;
        if (sig == SIGTERM || sig == SIGINT) return;
        unknownRequest(sig);
    }
}

}  // namespace kt64::server
