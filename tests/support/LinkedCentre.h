// An emulated centre behind a real link server, for end-to-end runs of the
// synchronisation worker: the centre on a pseudo-terminal in this process,
// its clock running at the PC's UTC time plus a chosen skew with no local
// offset and no change of time (so the centre's local time is UTC + skew);
// the link server program VqSrvKt64 of the build, registered in a private
// registry and started as a local server with the centre as COM1; and a
// lease held on it for the fixture's life so that it does not end between
// cycles. Also the clock seam that measures instead of setting the clock.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "LinkServerRig.h"
#include "SyncClock.h"
#include "SyncTestSupport.h"

namespace kt64::test {
using namespace kt64::sync;

using Clock = std::chrono::system_clock;

// The PC's UTC time plus a skew.
class SkewedTimeSource final : public sim::TimeSource {
public:
    explicit SkewedTimeSource(std::chrono::milliseconds skew) : skew_(skew) {}
    sim::TimePoint now() const override { return Clock::now() + skew_; }

private:
    std::chrono::milliseconds skew_;
};

// The shared LinkServerRig with the centre in this process on the skewed
// clock, no local offset and no change of time.
class LinkedCentre : public kt64::test::LinkServerRig {
public:
    explicit LinkedCentre(std::chrono::milliseconds skew) : LinkedCentre(std::make_shared<SkewedTimeSource>(skew)) {}
    // The centre on a clock of the caller's (one that watches its reads).
    explicit LinkedCentre(std::shared_ptr<sim::TimeSource> clock)
        : LinkServerRig({options(), std::move(clock), true, true, Ready::SyncTime}) {}

    const std::string& computer() const { return address(); }

private:
    static sim::EmulatorOptions options() {
        sim::EmulatorOptions o;
        o.settings.offsetMinutes = 0;
        o.settings.changeOn = false;
        o.pacing = true;
        return o;
    }
};

// The PC clock read as UTC (the local time of the measurement), a schedule
// that is always due, and a setter that records what it would set and when.
// The pause is the only wait; after `cycles` pauses the stop is requested.
class MeasuringClock final : public SyncClock {
public:
    struct Setting {
        LocalNanoseconds value;  // the local time the worker set
        Clock::time_point at;    // the PC's UTC time of the call
    };

    MeasuringClock(int cycles, std::chrono::milliseconds pause, StopSignal& stop)
        : cycles_(cycles), pause_(pause), stop_(stop) {}

    LocalSeconds nowLocal() override {
        return std::chrono::duration_cast<std::chrono::seconds>(Clock::now().time_since_epoch()).count();
    }
    std::unique_ptr<SyncTimer> createTimer() override { return std::make_unique<AlwaysDue>(); }
    std::error_code setLocalTime(const calendar::CivilTime& local) override {
        std::lock_guard lock(mutex_);
        settings_.push_back({std::chrono::seconds(calendar::secondsFromCivil(local)), Clock::now()});
        return {};
    }
    ClockReading readClock() override {
        ClockReading r;
        r.steady = std::chrono::steady_clock::now();
        r.utc = Clock::now();
        r.local = std::chrono::duration_cast<std::chrono::nanoseconds>(r.utc.time_since_epoch());
        return r;
    }
    // What the real clock does: the estimate carried forward to the moment
    // of setting.
    std::error_code setLocalTime(const CentreEstimate& centre) override {
        std::lock_guard lock(mutex_);
        const auto steady = std::chrono::steady_clock::now();
        const auto at = Clock::now();
        settings_.push_back({centre.local + (steady - centre.at), at});
        return {};
    }
    // The centre keeps no local offset: the PC's zone is UTC to match.
    PcZone zoneAt(std::time_t) override { return {"Etc/UTC", 0}; }
    bool pause(std::chrono::milliseconds, const StopSignal& stop) override {
        if (++pauses_ >= cycles_) stop_.request();
        return !stop.waitFor(pause_);
    }
    std::vector<Setting> settings() {
        std::lock_guard lock(mutex_);
        return settings_;
    }

private:
    struct AlwaysDue final : SyncTimer {
        WaitResult waitUntil(LocalSeconds, const StopSignal& stop) override {
            return stop.requested() ? WaitResult::Stopped : WaitResult::Due;
        }
    };

    int cycles_;
    int pauses_ = 0;
    std::chrono::milliseconds pause_;
    StopSignal& stop_;
    std::mutex mutex_;
    std::vector<Setting> settings_;
};

// The set value minus the centre's true local time (UTC + skew) at the
// moment of setting, in milliseconds.
inline double settingErrorMs(const MeasuringClock::Setting& s, std::chrono::milliseconds skew) {
    const double setMs = std::chrono::duration<double, std::milli>(s.value).count();
    const double trueMs =
        static_cast<double>(
            std::chrono::duration_cast<std::chrono::microseconds>(s.at.time_since_epoch() + skew).count()) /
        1000.0;
    return setMs - trueMs;
}

}  // namespace kt64::test
