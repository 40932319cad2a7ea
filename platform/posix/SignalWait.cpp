// Signals through a signalfd, polled beside one other descriptor.
#include "SignalWait.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>

#include <cerrno>
#include <system_error>

namespace kt64 {

SignalWait::SignalWait(std::initializer_list<int> signals) {
    sigset_t set;
    sigemptyset(&set);
    for (const int s : signals) sigaddset(&set, s);
    if (const int e = ::pthread_sigmask(SIG_BLOCK, &set, nullptr); e != 0)
        throw std::system_error(e, std::system_category(), "pthread_sigmask");
    fd_.reset(::signalfd(-1, &set, SFD_CLOEXEC));
    if (!fd_) throw std::system_error(errno, std::system_category(), "signalfd");
}

int SignalWait::take() {
    signalfd_siginfo info{};
    if (::read(fd_.get(), &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return 0;
    return static_cast<int>(info.ssi_signo);
}

int SignalWait::wait(int other) {
    for (;;) {
        pollfd fds[2] = {{fd_.get(), POLLIN, 0}, {other, POLLIN, 0}};
        if (::poll(fds, other >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR) continue;
            return kFailed;
        }
        if (other >= 0 && (fds[1].revents & POLLIN)) return kOther;
        if (fds[0].revents & POLLIN) {
            if (const int signal = take(); signal != 0) return signal;
        }
    }
}

}  // namespace kt64
