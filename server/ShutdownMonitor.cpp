// Idle countdown over the lease count; see the header.
#include "ShutdownMonitor.h"

#include <charconv>
#include <cstring>

namespace kt64::server {

namespace {

class SteadyIdleClock final : public IdleClock {
public:
    Clock::time_point now() const override { return Clock::now(); }
    void wait(std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
              std::optional<Clock::time_point> deadline) override {
        if (deadline)
            wake.wait_until(lock, *deadline);
        else
            wake.wait(lock);
    }
};

}  // namespace

std::optional<std::chrono::milliseconds> idleShutdownFrom(const char* variable) {
    if (variable == nullptr || *variable == '\0') return kIdleShutdown;
    long long ms = 0;
    const char* end = variable + std::strlen(variable);
    const auto [rest, error] = std::from_chars(variable, end, ms);
    if (error != std::errc{} || rest != end || ms < 1 || ms > kLongestIdleShutdown.count()) return std::nullopt;
    return std::chrono::milliseconds(ms);
}

IdleClock& steadyIdleClock() {
    static SteadyIdleClock clock;
    return clock;
}

ShutdownMonitor::ShutdownMonitor(std::chrono::milliseconds idle, std::function<void()> onIdle, IdleClock& clock)
    : clock_(clock), onIdle_(std::move(onIdle)), countdown_(idle, clock.now()) {}

ShutdownMonitor::~ShutdownMonitor() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void ShutdownMonitor::start() {
    std::lock_guard lock(mutex_);
    if (thread_.joinable()) return;
    countdown_.restart(clock_.now());
    thread_ = std::thread([this] { run(); });
}

void ShutdownMonitor::leaseStarted() {
    {
        std::lock_guard lock(mutex_);
        countdown_.leaseStarted(clock_.now());
    }
    wake_.notify_all();
}

void ShutdownMonitor::leaseEnded() {
    {
        std::lock_guard lock(mutex_);
        countdown_.leaseEnded(clock_.now());
    }
    wake_.notify_all();
}

std::size_t ShutdownMonitor::leases() const {
    std::lock_guard lock(mutex_);
    return countdown_.leases();
}

void ShutdownMonitor::run() {
    std::unique_lock lock(mutex_);
    while (!ending_) {
        if (countdown_.due(clock_.now())) {
            lock.unlock();
            onIdle_();
            return;
        }
        clock_.wait(wake_, lock, countdown_.deadline());
    }
}

}  // namespace kt64::server
