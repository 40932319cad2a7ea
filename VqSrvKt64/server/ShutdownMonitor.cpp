// Idle countdown over the lease count; see the header.
#include "ShutdownMonitor.h"

namespace kt64::server {

ShutdownMonitor::ShutdownMonitor(std::chrono::milliseconds idle, std::function<void()> onIdle)
    : idle_(idle), onIdle_(std::move(onIdle)) {}

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
    lastActivity_ = Clock::now();
    thread_ = std::thread([this] { run(); });
}

void ShutdownMonitor::leaseStarted() {
    {
        std::lock_guard lock(mutex_);
        ++leases_;
        lastActivity_ = Clock::now();
    }
    wake_.notify_all();
}

void ShutdownMonitor::leaseEnded() {
    {
        std::lock_guard lock(mutex_);
        if (leases_ > 0) --leases_;
        lastActivity_ = Clock::now();
    }
    wake_.notify_all();
}

std::size_t ShutdownMonitor::leases() const {
    std::lock_guard lock(mutex_);
    return leases_;
}

void ShutdownMonitor::run() {
    std::unique_lock lock(mutex_);
    while (!ending_) {
        if (leases_ > 0) {
            wake_.wait(lock);
            continue;
        }
        const auto deadline = lastActivity_ + idle_;
        if (Clock::now() >= deadline) {
            lock.unlock();
            onIdle_();
            return;
        }
        wake_.wait_until(lock, deadline);
    }
}

}  // namespace kt64::server
