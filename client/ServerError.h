// The error object a client of IKt64Srv throws: the HRESULT and, when the
// server gave one, its Polish description, the source ProgID and the IID.
// A failure of the connection itself (no server, network down, deadline
// passed) carries an RPC HRESULT and no description; callers then show
// kNoServerErrorText.
#pragma once

#include <grpcpp/support/status.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "HResult.h"

namespace kt64::client {

// Shown when the server supplied no description.
inline constexpr std::string_view kNoServerErrorText = "Nie można pobrać błędu z serwera DCOM !";

// HRESULTs of failures without an error object.
inline constexpr HRESULT E_RPC_SERVER_UNAVAILABLE = hresultOf(0x800706BAu);  // no server, network down
inline constexpr HRESULT E_RPC_TIMEOUT = hresultOf(0x8001011Fu);             // deadline passed
inline constexpr HRESULT E_RPC_CALL_CANCELED = hresultOf(0x80010002u);       // call or lease cancelled
inline constexpr HRESULT E_RPC_SERVERFAULT = hresultOf(0x80010105u);         // malformed or unexpected answer
inline constexpr HRESULT E_CLASS_NOT_REGISTERED =
    hresultOf(0x80040154u);  // local: nothing listens, no server registered
inline constexpr HRESULT E_SERVER_EXEC_FAILURE = hresultOf(0x80080005u);  // local: server not started or silent
// Local start of a server installed as a system service:
inline constexpr HRESULT E_SCM_RPC_FAILURE = hresultOf(0x80080003u);         // service manager unreachable
inline constexpr HRESULT E_SERVICE_DOES_NOT_EXIST = hresultOf(0x80070424u);  // unit not installed
inline constexpr HRESULT E_SERVICE_DISABLED = hresultOf(0x80070422u);        // unit masked
// Also failures of a connection (HResult.h): a computer text that names no
// server, a start that systemd refused.
using kt64::E_ACCESSDENIED;
using kt64::E_INVALIDARG;

class ServerError : public std::runtime_error {
public:
    // An error object sent by the server.
    ServerError(HRESULT code, std::optional<std::string> description, std::string source, std::string guid);
    // A failure without an error object; transportText is kept for logs only.
    ServerError(HRESULT code, std::string transportText);

    HRESULT code() const noexcept { return code_; }
    const std::optional<std::string>& description() const noexcept { return description_; }
    const std::string& source() const noexcept { return source_; }
    const std::string& guid() const noexcept { return guid_; }
    // What a user is shown: the description, else kNoServerErrorText.
    std::string displayText() const;

private:
    HRESULT code_;
    std::optional<std::string> description_;
    std::string source_;
    std::string guid_;
};

// What the user can do about a failure without an error object (no server,
// no registration, a service that cannot start): one short sentence, or ""
// when the cause itself says all there is.
std::string connectionFix(const ServerError& error);

// The error of a failed call: the server's error object when the status
// carries one, otherwise a description-less failure whose HRESULT follows
// the gRPC code (UNAVAILABLE, DEADLINE_EXCEEDED, CANCELLED, anything else).
ServerError toServerError(const grpc::Status& status);

}  // namespace kt64::client
