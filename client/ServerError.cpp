// Client-side error objects of IKt64Srv built from failed gRPC statuses.
#include "ServerError.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>

#include "ErrorStatus.h"

namespace kt64::client {

namespace {

// The caller's login name, for a command to paste; "USER" when unknown.
std::string loginName() {
    passwd entry{};
    passwd* found = nullptr;
    char buffer[1024];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_name)
        return found->pw_name;
    return "USER";
}

std::string hresultText(HRESULT code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

}  // namespace

ServerError::ServerError(HRESULT code, std::optional<std::string> description, std::string source, std::string guid)
    : std::runtime_error(description ? *description : hresultText(code)),
      code_(code),
      description_(std::move(description)),
      source_(std::move(source)),
      guid_(std::move(guid)) {}

ServerError::ServerError(HRESULT code, std::string transportText)
    : std::runtime_error(hresultText(code) + ": " + transportText), code_(code) {}

std::string ServerError::displayText() const { return description_ ? *description_ : std::string(kNoServerErrorText); }

std::string connectionFix(const ServerError& error) {
    if (error.description()) return {};
    const HRESULT code = error.code();
    if (code == E_CLASS_NOT_REGISTERED) return "run VqSrvKt64 -RegServer (or -Service) as an administrator";
    if (code == E_SERVER_EXEC_FAILURE) return "see the link server's log: journalctl -t VqSrvKt64";
    if (code == E_RPC_SERVER_UNAVAILABLE &&
        std::string_view(error.what()).find("accepts connections") != std::string_view::npos)
        // A frozen or hung link server accepts connections too (the system
        // takes them for it) and is told from the others only by its log.
        return "another program holds RpcPort (set RpcPort), the server requires TLS (set TlsServerCA and a "
               "client certificate), or the link server there hangs (see its log: journalctl -t VqSrvKt64)";
    if (code == E_RPC_SERVER_UNAVAILABLE)
        return "start the link server there, and check that RpcPort is the same on both computers and the firewall "
               "lets it through";
    if (code == E_RPC_TIMEOUT) return "check the network and that the link server there is running";
    if (code == E_INVALIDARG) return "give a computer name, an address, or NAME:PORT";
    if (code == E_SERVICE_DOES_NOT_EXIST) return "install it again with VqSrvKt64 -Service";
    if (code == E_SERVICE_DISABLED) return "systemctl unmask VqSrvKt64";
    if (code == E_SCM_RPC_FAILURE) return "the system's service manager (systemd) cannot be reached";
    if (code == E_ACCESSDENIED) {
        if (std::string_view(error.what()).find("AllowedClients") != std::string_view::npos)
            return "ask the link server's administrator to add this computer to AllowedClients";
        // The registry's own text starts with "registry <file>:".
        if (std::string_view(error.what()).find("registry ") != std::string_view::npos)
            return "reading the registry needs read access to its file (writing: membership of the group kt64)";
        // systemd refused the start: polkit lets the group kt64 start the
        // unit, and group membership is read at login.
        if (std::string_view(error.what()).find("systemd did not start") != std::string_view::npos)
            return "starting the link server needs membership of the group kt64 (or root): as root, run adduser " +
                   loginName() + " kt64, then log in again";
        return "starting the service needs the right to start it (root, or a polkit rule)";
    }
    return {};
}

ServerError toServerError(const grpc::Status& status) {
    if (auto record = rpc::errorRecord(status))
        return ServerError(record->hresult, std::move(record->description), std::move(record->source),
                           std::move(record->guid));
    HRESULT code = E_RPC_SERVERFAULT;
    switch (status.error_code()) {
    case grpc::StatusCode::UNAVAILABLE:
        code = E_RPC_SERVER_UNAVAILABLE;
        break;
    case grpc::StatusCode::DEADLINE_EXCEEDED:
        code = E_RPC_TIMEOUT;
        break;
    case grpc::StatusCode::CANCELLED:
        code = E_RPC_CALL_CANCELED;
        break;
    // A caller outside AllowedClients, or one whose certificate is refused.
    case grpc::StatusCode::PERMISSION_DENIED:
    case grpc::StatusCode::UNAUTHENTICATED:
        code = E_ACCESSDENIED;
        break;
    default:
        break;
    }
    return ServerError(code, status.error_message());
}

}  // namespace kt64::client
