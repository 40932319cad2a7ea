// Auto-reset device-read event with blocking and asynchronous waits; see the
// header for the semantics. One mutex guards the flag and the waiter list;
// completions are collected under it and run outside it, on the dispatcher
// thread, which also expires waits whose time-out has passed.
#include "DeviceReadEvent.h"

#include <algorithm>
#include <memory>

namespace kt64::server {

DeviceReadEvent::DeviceReadEvent() : dispatcher_([this] { dispatch(); }) {}

DeviceReadEvent::~DeviceReadEvent() {
    close();
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_all();
    dispatcher_.join();
}

void DeviceReadEvent::signal() {
    {
        std::lock_guard lock(mutex_);
        if (closed_) return;
        if (waiters_.empty()) {
            set_ = true;
            return;
        }
        ready_.push_back({std::move(waiters_.front().done), true});
        waiters_.pop_front();
    }
    wake_.notify_all();
}

void DeviceReadEvent::waitAsync(std::chrono::milliseconds timeout, Completion done) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            ready_.push_back({std::move(done), false});
        } else if (set_) {
            set_ = false;
            ready_.push_back({std::move(done), true});
        } else {
            waiters_.push_back({Clock::now() + timeout, std::move(done)});
        }
    }
    wake_.notify_all();
}

bool DeviceReadEvent::wait(std::chrono::milliseconds timeout) {
    {
        // The common fast path: the event is already set.
        std::lock_guard lock(mutex_);
        if (closed_) return false;
        if (set_) {
            set_ = false;
            return true;
        }
    }
    struct Outcome {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        bool signalled = false;
    };
    auto outcome = std::make_shared<Outcome>();
    waitAsync(timeout, [outcome](bool signalled) {
        std::lock_guard lock(outcome->m);
        outcome->done = true;
        outcome->signalled = signalled;
        outcome->cv.notify_all();
    });
    std::unique_lock lock(outcome->m);
    outcome->cv.wait(lock, [&] { return outcome->done; });
    return outcome->signalled;
}

void DeviceReadEvent::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        set_ = false;
        for (auto& w : waiters_) ready_.push_back({std::move(w.done), false});
        waiters_.clear();
    }
    wake_.notify_all();
}

std::size_t DeviceReadEvent::waiting() const {
    std::lock_guard lock(mutex_);
    return waiters_.size();
}

void DeviceReadEvent::dispatch() {
    std::unique_lock lock(mutex_);
    for (;;) {
        auto now = Clock::now();
        for (auto it = waiters_.begin(); it != waiters_.end();) {
            if (it->deadline <= now) {
                ready_.push_back({std::move(it->done), false});
                it = waiters_.erase(it);
            } else {
                ++it;
            }
        }
        if (!ready_.empty()) {
            auto batch = std::move(ready_);
            ready_.clear();
            lock.unlock();
            for (auto& r : batch) r.done(r.signalled);
            lock.lock();
            continue;
        }
        if (ending_) return;
        if (waiters_.empty()) {
            wake_.wait(lock);
        } else {
            // A copy: the waiter may be released and erased while we sleep.
            const auto next = std::min_element(waiters_.begin(), waiters_.end(), [](const Waiter& a, const Waiter& b) {
                                  return a.deadline < b.deadline;
                              })->deadline;
            wake_.wait_until(lock, next);
        }
    }
}

}  // namespace kt64::server
