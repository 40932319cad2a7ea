// The causes of failed connections, as kt64ctl tells them.
#include "ConnectionCause.h"

#include <algorithm>
#include <cctype>

#include "CtlText.h"

namespace kt64::ctl {

namespace {

bool contains(std::string_view text, std::string_view part) {
    return std::search(text.begin(), text.end(), part.begin(), part.end(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           }) != text.end();
}

// The client's text of a failure without an error object is "0x800706BA:
// <transport's text>"; the code is shown on its own.
std::string transportText(const client::ServerError& error) {
    std::string_view text = error.what();
    if (text.starts_with("0x") && text.size() > 12 && text.substr(10, 2) == ": ") text.remove_prefix(12);
    return std::string(text);
}

std::string jsonOrNull(const std::string& text) { return text.empty() ? "null" : jsonString(text); }

}  // namespace

ConnectionCause connectionCause(const client::ServerError& error) {
    ConnectionCause cause;
    if (error.description()) return cause;
    cause.detail = transportText(error);
    cause.fix = client::connectionFix(error);
    const std::string_view detail = cause.detail;
    if (contains(detail, "DNS resolution failed") || contains(detail, "Domain name not found") ||
        contains(detail, "Name or service not known")) {
        cause.kind = TransportCause::Unresolved;
        cause.text = "name does not resolve";
        // Starting a server there would not help: no computer is known by it.
        cause.fix = "check the computer's name (or give its address) and this computer's DNS settings";
    } else if (contains(detail, "Connection refused") || error.code() == client::E_CLASS_NOT_REGISTERED) {
        // On this computer the client looks for a server to start only
        // after nothing answered on the port.
        cause.kind = TransportCause::Refused;
        cause.text = "connection refused, nothing listens there";
    } else if (error.code() == client::E_RPC_TIMEOUT || contains(detail, "timed out") ||
               contains(detail, "Deadline Exceeded")) {
        cause.kind = TransportCause::TimedOut;
        cause.text = contains(detail, "accepts connections")
                         ? "timed out, the computer takes the connection but no link server answers"
                         : "timed out, no answer";
    } else {
        cause.kind = TransportCause::Other;
        cause.text = cause.detail;
    }
    return cause;
}

std::string_view causeName(TransportCause cause) {
    switch (cause) {
    case TransportCause::None:
        return "";
    case TransportCause::Refused:
        return "refused";
    case TransportCause::TimedOut:
        return "timed-out";
    case TransportCause::Unresolved:
        return "unresolved";
    case TransportCause::Other:
        return "other";
    }
    return "";
}

std::string failureLine(const client::ServerError& error) {
    const ConnectionCause cause = connectionCause(error);
    std::string line = error.displayText() + " (" + formatHresult(error.code()) + ")";
    if (!cause.text.empty()) line = cause.text + ": " + line;
    if (!cause.fix.empty()) line += "; " + cause.fix;
    return line;
}

std::string jsonFailure(const client::ServerError& error) {
    const ConnectionCause cause = connectionCause(error);
    return "{\"hresult\": " + jsonString(formatHresult(error.code())) +
           ", \"description\": " + (error.description() ? jsonString(*error.description()) : "null") +
           ", \"text\": " + jsonString(error.displayText()) +
           ", \"cause\": " + jsonOrNull(std::string(causeName(cause.kind))) +
           ", \"causeText\": " + jsonOrNull(cause.text) + ", \"detail\": " + jsonOrNull(cause.detail) +
           ", \"fix\": " + jsonOrNull(cause.fix) + "}";
}

}  // namespace kt64::ctl
