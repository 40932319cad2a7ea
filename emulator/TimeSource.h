// The clock seam of the centre emulator. The centre's GMT clock, its line
// time and its change of time all run from one TimeSource, so the program
// uses the PC's UTC clock while tests drive a ManualTimeSource and get the
// same answer bytes on every run.
#pragma once

#include <chrono>
#include <mutex>

namespace kt64::sim {

using TimePoint = std::chrono::system_clock::time_point;

class TimeSource {
public:
    virtual ~TimeSource() = default;
    // Current UTC time of the PC.
    virtual TimePoint now() const = 0;
};

// The PC's real-time clock (UTC).
class SystemTimeSource final : public TimeSource {
public:
    TimePoint now() const override { return std::chrono::system_clock::now(); }
};

// A clock that stands still until a test moves it; safe to move from one
// thread while the emulator's thread reads it.
class ManualTimeSource final : public TimeSource {
public:
    explicit ManualTimeSource(TimePoint start) : now_(start) {}
    TimePoint now() const override {
        std::lock_guard lock(mutex_);
        return now_;
    }
    void set(TimePoint t) {
        std::lock_guard lock(mutex_);
        now_ = t;
    }
    void advance(std::chrono::milliseconds d) {
        std::lock_guard lock(mutex_);
        now_ += d;
    }

private:
    mutable std::mutex mutex_;
    TimePoint now_;
};

}  // namespace kt64::sim
