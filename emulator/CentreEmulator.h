// The emulated centre on a pseudo-terminal, for the kt64sim program and for
// tests that want a centre in their own process. start() creates the pty (and
// the --link symlink to its device, and the control socket when asked) and
// serves the line on a background thread; the link core opens devicePath()
// like any serial device. Every accessor is safe to call from other threads
// while the emulator serves.
//
//   kt64::sim::EmulatorOptions opt;
//   opt.settings.startGmt = kt64::sim::utcTime(2024, 5, 17, 12, 34, 56);
//   kt64::sim::CentreEmulator centre(opt);
//   centre.start();
//   open(centre.devicePath()) ... exchange frames ...
//   centre.setFault(*kt64::sim::parseFault("checksum once"));
//   centre.stop();                      // also done by the destructor
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "Centre.h"
#include "CentreCalendar.h"
#include "CentreFault.h"
#include "CentreSettings.h"
#include "EmulatorError.h"
#include "TimeSource.h"

namespace kt64::sim {

struct EmulatorOptions {
    CentreSettings settings;
    Fault fault;
    // Path of a symlink to the pty device, made at start and removed at stop;
    // empty = none (devicePath() is then the pty device itself). An existing
    // symlink at that path is replaced; any other file there is an error.
    std::string linkPath;
    // Path of the Unix stream socket for control commands; empty = none.
    std::string controlPath;
    // The line's own rate (4800 baud, 10 bits a character, about 2.083 ms a
    // byte) both ways: a request reaches the centre (which reads its clock
    // for it then) when its last byte would have arrived on a real line, and
    // answers go out at that rate from then on.
    bool pacing = false;
    // Who may open the pty besides its owner (a site's link server runs in
    // group dialout): set before the link is made, so whoever finds the link
    // can open it. Unset = the system's default for a new pty.
    std::optional<gid_t> ptyGroup;
    std::optional<mode_t> ptyMode;  // 0660 when only a group is given
};

class CentreEmulator {
public:
    explicit CentreEmulator(EmulatorOptions options,
                            std::shared_ptr<const TimeSource> clock = std::make_shared<SystemTimeSource>());
    ~CentreEmulator();
    CentreEmulator(const CentreEmulator&) = delete;
    CentreEmulator& operator=(const CentreEmulator&) = delete;

    // Creates the pty, the symlink and the control socket and starts serving.
    // Throws EmulatorError; a second call while running does nothing.
    void start();
    // Stops serving, closes the pty, removes the symlink and the socket.
    void stop() noexcept;
    bool running() const;

    // The path a client opens: the symlink when one was asked for, else the
    // pty device (/dev/pts/N). Empty while not started.
    std::string devicePath() const;
    std::string ptyPath() const;

    // State, read and set while serving.
    link::Bytes statusFrame() const;
    CentreView view() const;
    CentreCounters counters() const;
    link::Bytes image() const;
    void setImage(link::ByteSpan bytes);
    Fault fault() const;
    void setFault(const Fault& fault);
    void setGmt(TimePoint gmt);
    void setAlarms(const std::array<std::uint8_t, 3>& alarms);
    // Any other change: f runs on the centre under the emulator's lock.
    template <class F>
    void modify(F&& f) {
        std::lock_guard lock(mutex_);
        f(centre_);
    }

    // Runs one control command (the same lines the control socket takes, see
    // kt64sim --help) and returns its one-line reply: "ok", "ok <value>" or
    // "error: <reason>".
    std::string control(std::string_view line);

private:
    struct Line;
    void serve();

    EmulatorOptions options_;
    std::shared_ptr<const TimeSource> clock_;
    mutable std::mutex mutex_;
    Centre centre_;
    std::unique_ptr<Line> line_;
    std::thread thread_;
};

}  // namespace kt64::sim
