// The device-read event: the worker signals it when a fresh exchange with the
// centre has ended (and about once a second while paused or while the port
// cannot be opened); clients wait on it through WaitForDeviceRead.
//
// Auto-reset semantics: one signal releases exactly one waiter, the one that
// has waited longest; a signal given while nobody waits stays set until the
// next wait, which then returns at once and clears it. Several signals with
// nobody waiting still leave just one.
//
// Waits are either blocking (wait) or asynchronous (waitAsync): an RPC can
// wait without holding a thread. Completions of asynchronous waits run on the
// event's own dispatcher thread, never on the worker's, so a slow completion
// cannot delay the polling of the centre.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

namespace kt64::server {

class DeviceReadEvent {
public:
    // Called once with true when a signal released the wait, false when the
    // time-out passed or the event was closed.
    using Completion = std::function<void(bool signalled)>;

    DeviceReadEvent();
    // Closes the event (pending waits complete with false) and ends the
    // dispatcher thread.
    ~DeviceReadEvent();
    DeviceReadEvent(const DeviceReadEvent&) = delete;
    DeviceReadEvent& operator=(const DeviceReadEvent&) = delete;

    void signal();

    // Blocks up to timeout; true when signalled.
    bool wait(std::chrono::milliseconds timeout);
    // Returns at once; done runs on the dispatcher thread (or, when the event
    // is set or closed already, on the dispatcher thread as well).
    void waitAsync(std::chrono::milliseconds timeout, Completion done);

    // Completes every pending wait with false and makes later waits fail at
    // once. Used when the server shuts down, so no call is left hanging.
    void close();

    // Waits not yet completed (for tests and the shutdown order).
    std::size_t waiting() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Waiter {
        Clock::time_point deadline;
        Completion done;
    };
    struct Ready {
        Completion done;
        bool signalled;
    };

    void dispatch();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool set_ = false;
    bool closed_ = false;
    bool ending_ = false;
    std::list<Waiter> waiters_;  // oldest first
    std::vector<Ready> ready_;   // completions to run, in order
    std::thread dispatcher_;
};

}  // namespace kt64::server
