// signalfd for the control signals, eventfd for quit, poll() over both.
#include "ControlLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <system_error>

namespace kt64::server {

namespace {
sigset_t controlSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2}) sigaddset(&set, s);
    return set;
}
}  // namespace

ControlLoop::ControlLoop() {
    // A client that vanishes mid-write must not end the server.
    std::signal(SIGPIPE, SIG_IGN);
    const sigset_t set = controlSignals();
    if (int e = pthread_sigmask(SIG_BLOCK, &set, nullptr); e != 0)
        throw std::system_error(e, std::system_category(), "pthread_sigmask");
    signalFd_ = signalfd(-1, &set, SFD_CLOEXEC);
    if (signalFd_ < 0) throw std::system_error(errno, std::system_category(), "signalfd");
    quitFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (quitFd_ < 0) {
        int e = errno;
        ::close(signalFd_);
        throw std::system_error(e, std::system_category(), "eventfd");
    }
}

ControlLoop::~ControlLoop() {
    ::close(signalFd_);
    ::close(quitFd_);
}

void ControlLoop::quit() noexcept {
    std::uint64_t one = 1;
    // An eventfd write of 1 fails only when the counter would overflow, and
    // then a quit is pending anyway.
    [[maybe_unused]] auto n = ::write(quitFd_, &one, sizeof one);
}

void ControlLoop::run(const std::function<void(int signal)>& unknownRequest) {
    for (;;) {
        pollfd fds[2] = {{signalFd_, POLLIN, 0}, {quitFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;  // cannot wait any more: end as if asked to
        }
        if (fds[1].revents & POLLIN) return;
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            if (::read(signalFd_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) continue;
            const int sig = static_cast<int>(info.ssi_signo);
            if (sig == SIGTERM || sig == SIGINT) return;
            unknownRequest(sig);
        }
    }
}

}  // namespace kt64::server
