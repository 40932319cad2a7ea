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

std::string describe(const StopRule& rule) {
    const std::string idle = std::to_string(rule.idle.count()) + " ms";
    const std::string held = rule.leases == 0
                                 ? std::string("no lease held")
                                 : std::to_string(rule.leases) + (rule.leases == 1 ? " lease held" : " leases held");
    if (!rule.countingDown) return held + "; runs until stopped";
    if (rule.leases == 0) return held + "; ends in " + idle + " unless a client comes";
    return held + "; ends " + idle + " after the last is released";
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

void ShutdownMonitor::setObserver(std::function<void(const StopRule&)> observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

void ShutdownMonitor::report() {
    std::lock_guard lock(mutex_);
    reportLocked();
}

void ShutdownMonitor::reportLocked() const {
    if (observer_) observer_(StopRule{countdown_.leases(), countingDown_, countdown_.idle()});
}

void ShutdownMonitor::start() {
    std::lock_guard lock(mutex_);
    if (thread_.joinable()) return;
    countdown_.restart(clock_.now());
    thread_ = std::thread([this] { run(); });
    countingDown_ = true;
    reportLocked();
}

void ShutdownMonitor::leaseStarted() {
    {
        std::lock_guard lock(mutex_);
        countdown_.leaseStarted(clock_.now());
        reportLocked();
    }
    wake_.notify_all();
}

void ShutdownMonitor::leaseEnded() {
    {
        std::lock_guard lock(mutex_);
        countdown_.leaseEnded(clock_.now());
        reportLocked();
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
