// Signals written to a pipe by a handler; see the header.
#include "SignalPipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace kt64 {

namespace {

// The pipe's write end for the handler; -1 while no SignalPipe lives.
std::atomic<int> handlerFd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "read in a signal handler");

extern "C" void writeSignalNumber(int signal) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe already holds signals enough to act on: this one may go.
    if (const int fd = handlerFd.load(); fd >= 0) (void)!::write(fd, &number, 1);
    errno = saved;
}

}  // namespace

SignalPipe::SignalPipe(std::initializer_list<int> caught) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::system_error(errno, std::system_category(), "pipe2");
    read_.reset(fds[0]);
    write_.reset(fds[1]);
    int expected = -1;
    if (!handlerFd.compare_exchange_strong(expected, write_.get()))
        throw std::logic_error("a SignalPipe already takes this process's signals");
    struct sigaction action {};
    action.sa_handler = writeSignalNumber;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : caught) {
        struct sigaction old {};
        if (::sigaction(s, &action, &old) != 0) {
            const int e = errno;
            restore();
            throw std::system_error(e, std::system_category(), "sigaction");
        }
        replaced_.emplace_back(s, old);
    }
}

SignalPipe::~SignalPipe() { restore(); }

void SignalPipe::restore() {
    for (auto it = replaced_.rbegin(); it != replaced_.rend(); ++it) ::sigaction(it->first, &it->second, nullptr);
    replaced_.clear();
    handlerFd.store(-1);
}

int SignalPipe::take() {
    unsigned char number = 0;
    ssize_t n;
    while ((n = ::read(read_.get(), &number, 1)) < 0 && errno == EINTR) {
    }
    return n == 1 ? number : 0;
}

}  // namespace kt64
