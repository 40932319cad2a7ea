// The error object of IKt64Srv inside a gRPC status, for both ends of a call.
//
// A member that fails answers status FAILED_PRECONDITION (a code the gRPC
// runtime never produces by itself) whose message is the description and
// whose details are one serialised kt64.rpc.ErrorInfo: the HRESULT, the
// description when there is one, the source ProgID "VqSrvKt64.Kt64Srv.1" and
// the IID of IKt64Srv. A failed status without an ErrorInfo is a failure of
// the connection itself and yields no record, which is how clients tell
// "the server refused" from "no answer from the server".
#pragma once

#include <grpcpp/support/status.h>

#include <optional>
#include <string>
#include <string_view>

#include "HResult.h"

namespace kt64::rpc {

inline constexpr grpc::StatusCode kServerErrorCode = grpc::StatusCode::FAILED_PRECONDITION;

// Server side: the status a failing member returns. The description is
// carried letter for letter (UTF-8); nullopt leaves the record without one.
grpc::Status errorStatus(HRESULT hr, std::optional<std::string_view> description);

// The error object read back from a status.
struct ErrorRecord {
    HRESULT hresult = 0;
    std::optional<std::string> description;
    std::string source;  // ProgID of the class that raised it
    std::string guid;    // IID of the interface that raised it

    friend bool operator==(const ErrorRecord&, const ErrorRecord&) = default;
};

// Client side: the record of a failed status; nullopt for an OK status and
// for one without a readable ErrorInfo (a connection failure).
std::optional<ErrorRecord> errorRecord(const grpc::Status& status);

}  // namespace kt64::rpc
