// The worker's stop request as an eventfd.
#include "StopSignal.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <system_error>

namespace kt64::sync {

StopSignal::StopSignal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!fd_) throw std::system_error(errno, std::generic_category(), "eventfd");
}

void StopSignal::request() {
    requested_.store(true);
    const std::uint64_t one = 1;
    // The counter only has to become non-zero; a full counter is non-zero too.
    [[maybe_unused]] const auto n = ::write(fd_.get(), &one, sizeof one);
}

bool StopSignal::waitFor(std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!requested()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd_.get(), POLLIN, 0};
        const int rc = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 60'000)));
        if (rc < 0 && errno != EINTR) return requested();
    }
    return true;
}

}  // namespace kt64::sync
