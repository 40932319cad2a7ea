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
#include <thread>

namespace kt64::server {

inline constexpr std::chrono::milliseconds kIdleShutdown{5000};

class ShutdownMonitor {
public:
    ShutdownMonitor(std::chrono::milliseconds idle, std::function<void()> onIdle);
    // Ends the monitor thread without calling onIdle.
    ~ShutdownMonitor();
    ShutdownMonitor(const ShutdownMonitor&) = delete;
    ShutdownMonitor& operator=(const ShutdownMonitor&) = delete;

    // Starts counting down from now.
    void start();
    void leaseStarted();
    void leaseEnded();
    std::size_t leases() const;

private:
    using Clock = std::chrono::steady_clock;
    void run();

    const std::chrono::milliseconds idle_;
    std::function<void()> onIdle_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::size_t leases_ = 0;
    Clock::time_point lastActivity_ = Clock::now();
    bool ending_ = false;
    std::thread thread_;
};

}  // namespace kt64::server
