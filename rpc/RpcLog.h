// Where gRPC's own log lines go. gRPC prints its internal diagnostics
// (connection attempts, a port it could not bind) on standard error, where
// they reach users as unexplained noise beside the system's own messages.
// Every program that uses the interface sends them to the system journal
// instead (syslog where no journal runs), at debug level and under the
// program's name, so an administrator can still read them with
// journalctl -t NAME -p debug.
#pragma once

#include <string_view>

namespace kt64::rpc {

// Installs the journal sink for gRPC's log lines. Call once, early; later
// calls only change the name.
void routeRpcLogToJournal(std::string_view programName);

}  // namespace kt64::rpc
