// TerminationSignals: SIGTERM, SIGINT and SIGHUP taken out of asynchronous
// delivery and read from a signalfd, so the programs' main threads wait for
// a stop (SIGTERM from systemd or the console, SIGINT from a terminal) and
// for their worker in one poll. Construct before starting any thread so that
// every thread inherits the blocked mask.
#pragma once

namespace kt64::sync {

class TerminationSignals {
public:
    TerminationSignals();
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    int fd() const { return fd_; }
    // The pending signal's number, 0 when none could be read.
    int take();

private:
    int fd_ = -1;
};

}  // namespace kt64::sync
