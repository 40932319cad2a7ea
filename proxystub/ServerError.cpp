// Client-side error objects of IKt64Srv built from failed gRPC statuses.
#include "ServerError.h"

#include <cstdio>

#include "ErrorStatus.h"

namespace kt64::client {

namespace {

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

std::string ServerError::displayText() const {
    return description_ ? *description_ : std::string(kNoServerErrorText);
}

ServerError toServerError(const grpc::Status& status) {
    if (auto record = rpc::errorRecord(status))
        return ServerError(record->hresult, std::move(record->description), std::move(record->source),
                           std::move(record->guid));
    HRESULT code = E_RPC_SERVERFAULT;
    switch (status.error_code()) {
    case grpc::StatusCode::UNAVAILABLE: code = E_RPC_SERVER_UNAVAILABLE; break;
    case grpc::StatusCode::DEADLINE_EXCEEDED: code = E_RPC_TIMEOUT; break;
    case grpc::StatusCode::CANCELLED: code = E_RPC_CALL_CANCELED; break;
    default: break;
    }
    return ServerError(code, status.error_message());
}

}  // namespace kt64::client
