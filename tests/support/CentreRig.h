// The device panel's rig: the shared LinkServerRig with the centre in this
// process on a clock that stands still until moved, so that what the panel
// shows is known to the second.
#pragma once

#include <memory>
#include <string>

#include "CentreCalendar.h"
#include "LinkServerRig.h"

namespace kt64::test {
using namespace kt64::console;

using kt64::test::ChildProcess;
using kt64::test::freeTcpPort;
using kt64::test::listening;

class CentreRig : public kt64::test::LinkServerRig {
public:
    // 17 May 2024 (a Friday) 12:34:56 GMT, +01:00, change on, both lines on,
    // GPS, two relay outputs: what the centre reports unless a test changes it.
    static sim::EmulatorOptions defaultOptions() {
        sim::EmulatorOptions o;
        o.settings.startGmt = sim::utcTime(2024, 5, 17, 12, 34, 56);
        o.pacing = false;
        return o;
    }

    explicit CentreRig(sim::EmulatorOptions options = defaultOptions())
        : CentreRig(options, std::make_shared<sim::ManualTimeSource>(*options.settings.startGmt)) {}

    sim::ManualTimeSource& clock() { return *clock_; }
    const std::string& computer() const { return address(); }

private:
    CentreRig(sim::EmulatorOptions options, std::shared_ptr<sim::ManualTimeSource> clock)
        : LinkServerRig({options, clock, true, true, Ready::DeviceRead}), clock_(std::move(clock)) {}

    std::shared_ptr<sim::ManualTimeSource> clock_;
};

}  // namespace kt64::test
