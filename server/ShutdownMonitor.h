// The local server's shutdown monitor. It counts live leases (one per client
// object) and calls onIdle once when no lease has been alive for the idle
// time (5 s) since the last one ended, so the server ends about 5 s after its
// last client has gone. Start-up counts as activity too: a server started on
// demand whose client never arrives ends 5 s later instead of holding the
// port for ever. A lease that starts while the countdown runs cancels it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace kt64::server {

inline constexpr std::chrono::milliseconds kIdleShutdown{5000};
// The longest idle time KT64_IDLE_SHUTDOWN_MS may ask for (an hour).
inline constexpr std::chrono::milliseconds kLongestIdleShutdown{3'600'000};

// The idle time the server runs with: kIdleShutdown, or the whole number of
// milliseconds in KT64_IDLE_SHUTDOWN_MS (1 to kLongestIdleShutdown). The
// variable is there for tests that start the real program and check that a
// lease keeps it running, so that they wait a fraction of a second and not
// the five a user's server waits. nullopt: set to something else, which the
// caller reports before it goes on with kIdleShutdown.
std::optional<std::chrono::milliseconds> idleShutdownFrom(const char* variable);

// The countdown's rule on a clock given by the caller, so that its timing is
// tested on made-up instants: with no lease alive, the server is idle from
// the latest of its start and the end of its last lease, and due to end once
// idle has passed since then; while a lease lives it is never due.
class IdleCountdown {
public:
    using Clock = std::chrono::steady_clock;
    IdleCountdown(std::chrono::milliseconds idle, Clock::time_point start) : idle_(idle), lastActivity_(start) {}

    void restart(Clock::time_point now) { lastActivity_ = now; }
    void leaseStarted(Clock::time_point now) {
        ++leases_;
        lastActivity_ = now;
    }
    void leaseEnded(Clock::time_point now) {
        if (leases_ > 0) --leases_;
        lastActivity_ = now;
    }
    std::size_t leases() const { return leases_; }
    std::chrono::milliseconds idle() const { return idle_; }
    // When the server becomes due to end; nullopt while a lease lives.
    std::optional<Clock::time_point> deadline() const {
        if (leases_ > 0) return std::nullopt;
        return lastActivity_ + idle_;
    }
    bool due(Clock::time_point now) const {
        const auto d = deadline();
        return d && now >= *d;
    }

private:
    std::chrono::milliseconds idle_;
    std::size_t leases_ = 0;
    Clock::time_point lastActivity_;
};

// Where the monitor's thread reads the time and waits for the countdown's
// end: the steady clock (steadyIdleClock()), or a test's clock moved by hand
// so that the thread's timing is checked without waiting for it.
class IdleClock {
public:
    using Clock = std::chrono::steady_clock;
    virtual ~IdleClock() = default;
    virtual Clock::time_point now() const = 0;
    // Called with lock held: waits on wake until notified or, given a
    // deadline, until that instant has come; may return early.
    virtual void wait(std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
                      std::optional<Clock::time_point> deadline) = 0;
};

IdleClock& steadyIdleClock();

// What ends the server as things stand: its operators read it in the journal
// and in systemctl status, and the program's tests wait for it to change
// instead of waiting for time to pass.
struct StopRule {
    std::size_t leases = 0;     // clients' objects and running transfers
    bool countingDown = false;  // false: a service, which runs until stopped
    std::chrono::milliseconds idle{};
};

// "no lease held; ends in 5000 ms unless a client comes", and the like.
std::string describe(const StopRule& rule);

class ShutdownMonitor {
public:
    ShutdownMonitor(std::chrono::milliseconds idle, std::function<void()> onIdle, IdleClock& clock = steadyIdleClock());
    // Ends the monitor thread without calling onIdle.
    ~ShutdownMonitor();
    ShutdownMonitor(const ShutdownMonitor&) = delete;
    ShutdownMonitor& operator=(const ShutdownMonitor&) = delete;

    // Called with the rule after every change to it (start() and each
    // lease's start and end) and on report(). It runs under the monitor's
    // lock, so reports arrive in the order of the changes; it must not call
    // the monitor. Set it before the first lease can arrive.
    void setObserver(std::function<void(const StopRule&)> observer);
    // Hands the rule as it is now to the observer.
    void report();

    // Starts counting down from now.
    void start();
    void leaseStarted();
    void leaseEnded();
    std::size_t leases() const;

private:
    void run();
    // With mutex_ held.
    void reportLocked() const;

    IdleClock& clock_;
    std::function<void()> onIdle_;
    std::function<void(const StopRule&)> observer_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    IdleCountdown countdown_;
    bool ending_ = false;
    bool countingDown_ = false;
    std::thread thread_;
};

}  // namespace kt64::server
