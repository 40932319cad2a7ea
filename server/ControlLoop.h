// The main thread's loop, in place of a message pump: it waits for a quit
// request (from the shutdown monitor) or for a control signal. SIGTERM and
// SIGINT stop the program (the service manager's stop); SIGHUP, SIGUSR1 and
// SIGUSR2 are control requests the server does not know. The signals are
// blocked in the constructing thread and so in every thread it creates
// later, and read through a signalfd: construct the loop before any other
// thread starts.
#pragma once

#include <functional>

#include "SignalWait.h"
#include "UniqueFd.h"

namespace kt64::server {

class ControlLoop {
public:
    // Throws std::system_error when the signals cannot be routed to the loop.
    ControlLoop();
    ControlLoop(const ControlLoop&) = delete;
    ControlLoop& operator=(const ControlLoop&) = delete;

    // Thread-safe; makes run() return.
    void quit() noexcept;
    // Returns on quit() or a stop signal; unknownRequest gets any other
    // control signal.
    void run(const std::function<void(int signal)>& unknownRequest);

private:
    SignalWait signals_;
    UniqueFd quit_;
};

}  // namespace kt64::server
