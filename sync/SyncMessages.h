// The synchronisation programs' string table: the numbered texts they write
// to the synchronisation log. The service and the stand-alone program share
// the table except for message 111, whose stand-alone wording has no full
// stop. Every text ends in a line feed.
#pragma once

#include <string_view>

namespace kt64::sync {

enum class MessageId {
    Started = 102,  // the worker has been started
    Stopped = 103,  // a stop request has been carried out
    SettingsUnavailable = 106,
    NoConnection = 107,  // creating the link server's object failed
    Synchronised = 108,
    OutsideWindow = 109,
    ServerError = 111,   // a link-server call failed without a description
    SystemFailed = 112,  // timer or time conversion failed; the worker ends
    ClockNotSet = 113,   // setting the PC clock failed
};

// Which program's table: the systemd service or the stand-alone program.
enum class ProgramVariant { Service, Standalone };

std::string_view messageText(MessageId id, ProgramVariant variant);

}  // namespace kt64::sync
