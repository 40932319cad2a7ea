// Why kt64ctl could not reach a link server, told so that a stopped server,
// a frozen one and a name that does not resolve read differently: the
// client gives them all the same fixed Polish text and mostly the same
// HRESULT, and only its transport text says which it was.
#pragma once

#include <string>
#include <string_view>

#include "Kt64Client.h"

namespace kt64::ctl {

enum class TransportCause {
    None,        // the server answered: its own error object says why
    Refused,     // nothing listens on the port (a server stopped, a firewall's reject)
    TimedOut,    // the computer takes the connection, or is silent, but no server answers
    Unresolved,  // the computer's name does not resolve
    Other,       // the transport's own text says it
};

struct ConnectionCause {
    TransportCause kind = TransportCause::None;
    std::string text;    // "connection refused, nothing listens there"; "" for None
    std::string detail;  // the client's transport text, without the HRESULT; "" for None
    std::string fix;     // what to do; "" when the cause says all there is
};

// Reads the cause from the error's HRESULT and the client's transport text.
ConnectionCause connectionCause(const client::ServerError& error);

// "refused", "timed-out", "unresolved", "other"; "" for None.
std::string_view causeName(TransportCause cause);

// One line: the cause first (the Polish text is the same for all of them),
// then the text the client gives with its code, then what to do.
std::string failureLine(const client::ServerError& error);

// The same as a JSON object: hresult, description (the server's, or null),
// text (what a user is shown), cause, causeText, detail and fix (null when
// there are none).
std::string jsonFailure(const client::ServerError& error);

}  // namespace kt64::ctl
