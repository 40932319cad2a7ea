// SignalWait: which wake-up wins and that a signal arrives as its number.
// SignalPipe: signals arrive in order without a blocked mask, and the
// handlers it replaced come back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>

#include <cstdint>
#include <stdexcept>

#include "SignalPipe.h"
#include "SignalWait.h"
#include "UniqueFd.h"

namespace kt64::test {
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

volatile sig_atomic_t earlierHandlerRan = 0;
extern "C" void earlierHandler(int) { earlierHandlerRan = 1; }

TEST(SignalPipe, SignalsArriveInOrderWithoutBlockingAndTheEarlierHandlersReturn) {
    struct sigaction earlier {
    }, saved{};
    earlier.sa_handler = earlierHandler;
    sigemptyset(&earlier.sa_mask);
    ASSERT_EQ(::sigaction(SIGUSR1, &earlier, &saved), 0);
    {
        SignalPipe signals{SIGUSR1, SIGUSR2};
        EXPECT_THROW(SignalPipe{SIGHUP}, std::logic_error);
        ASSERT_EQ(::raise(SIGUSR2), 0);
        ASSERT_EQ(::raise(SIGUSR1), 0);
        EXPECT_EQ(signals.take(), SIGUSR2);
        EXPECT_EQ(signals.take(), SIGUSR1);
        EXPECT_EQ(signals.take(), 0) << "nothing more waits";
        sigset_t mask;
        ::pthread_sigmask(SIG_SETMASK, nullptr, &mask);
        EXPECT_FALSE(sigismember(&mask, SIGUSR1)) << "children would inherit a blocked signal";
        EXPECT_EQ(earlierHandlerRan, 0);
    }
    ASSERT_EQ(::raise(SIGUSR1), 0);
    EXPECT_EQ(earlierHandlerRan, 1);
    SignalPipe again{SIGUSR2};  // the first one let the process's signals go
    ::sigaction(SIGUSR1, &saved, nullptr);
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
}  // namespace kt64::test
