// The link server's event log: entries with the source "VqSrvKt64" in the
// system journal (syslog when no journal runs), and on standard output as
// well (debug lines excepted) when the program does not run as a service.
#pragma once

#include "WorkerJournal.h"

#include <string_view>

namespace kt64::server {

namespace event_text {
inline constexpr std::string_view kServiceStarted = "Service started";
inline constexpr std::string_view kServiceStopped = "Service stopped";
inline constexpr std::string_view kHandlerNotInstalled = "Handler not installed";
inline constexpr std::string_view kBadServiceRequest = "Bad service request";
}  // namespace event_text

class EventLog {
public:
    explicit EventLog(bool alsoToStdout) : alsoToStdout_(alsoToStdout) {}
    void info(std::string_view text) const;
    // A line at the given level; debug lines go to the journal only.
    void write(LogLevel level, std::string_view text) const;

private:
    bool alsoToStdout_;
};

}  // namespace kt64::server
