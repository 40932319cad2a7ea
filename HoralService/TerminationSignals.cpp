// Stop signals through a signalfd.
#include "TerminationSignals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace kt64::sync {

TerminationSignals::TerminationSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    if (::pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) throw std::system_error(errno, std::generic_category(), "sigmask");
    fd_ = ::signalfd(-1, &set, SFD_CLOEXEC);
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "signalfd");
}

TerminationSignals::~TerminationSignals() { ::close(fd_); }

int TerminationSignals::take() {
    signalfd_siginfo info{};
    if (::read(fd_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return 0;
    return static_cast<int>(info.ssi_signo);
}

}  // namespace kt64::sync
