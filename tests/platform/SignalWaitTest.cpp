// SignalWait: which wake-up wins and that a signal arrives as its number.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>

#include <cstdint>

#include "SignalWait.h"
#include "UniqueFd.h"

namespace kt64 {
namespace {

// The test thread's signal mask as it was, restored after the test so the
// programs other tests start do not inherit the blocked signals.
struct MaskRestore {
    sigset_t saved;
    MaskRestore() { ::pthread_sigmask(SIG_SETMASK, nullptr, &saved); }
    ~MaskRestore() { ::pthread_sigmask(SIG_SETMASK, &saved, nullptr); }
};

TEST(SignalWait, SignalsArriveByNumberAndTheOtherDescriptorWinsWhenBothAreReady) {
    MaskRestore restore;
    SignalWait signals{SIGUSR1, SIGUSR2};
    UniqueFd other(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    ASSERT_TRUE(other);
    // Blocked, so raise() leaves the signal pending for the signalfd.
    ASSERT_EQ(::raise(SIGUSR2), 0);
    EXPECT_EQ(signals.wait(other.get()), SIGUSR2);

    ASSERT_EQ(::raise(SIGUSR1), 0);
    const std::uint64_t one = 1;
    ASSERT_EQ(::write(other.get(), &one, sizeof one), static_cast<ssize_t>(sizeof one));
    EXPECT_EQ(signals.wait(other.get()), SignalWait::kOther);
    std::uint64_t drained = 0;
    ASSERT_EQ(::read(other.get(), &drained, sizeof drained), static_cast<ssize_t>(sizeof drained));
    EXPECT_EQ(signals.wait(), SIGUSR1);  // still pending after the other one
}

TEST(UniqueFd, MovesOwnershipAndClosesOnce) {
    UniqueFd a(::eventfd(0, EFD_CLOEXEC));
    const int fd = a.get();
    UniqueFd b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.get(), fd);
    b.reset();
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1);  // closed
    EXPECT_EQ(UniqueFd(::eventfd(0, 0)).release() >= 0, true);
}

}  // namespace
}  // namespace kt64
