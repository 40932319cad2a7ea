// Idle countdown over the lease count; see the header.
#include "ShutdownMonitor.h"

namespace kt64::server {

ShutdownMonitor::ShutdownMonitor(std::chrono::milliseconds idle, std::function<void()> onIdle)
    : onIdle_(std::move(onIdle)), countdown_(idle, Clock::now()) {}

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
    countdown_.restart(Clock::now());
    thread_ = std::thread([this] { run(); });
}

void ShutdownMonitor::leaseStarted() {
    {
        std::lock_guard lock(mutex_);
        countdown_.leaseStarted(Clock::now());
    }
    wake_.notify_all();
}

void ShutdownMonitor::leaseEnded() {
    {
        std::lock_guard lock(mutex_);
        countdown_.leaseEnded(Clock::now());
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
        const auto deadline = countdown_.deadline();
        if (!deadline) {
            wake_.wait(lock);
            continue;
        }
        if (countdown_.due(Clock::now())) {
            lock.unlock();
            onIdle_();
            return;
        }
        wake_.wait_until(lock, *deadline);
    }
}

}  // namespace kt64::server
