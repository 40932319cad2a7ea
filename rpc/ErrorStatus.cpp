// Packing and unpacking the error object of IKt64Srv in gRPC statuses.
#include "ErrorStatus.h"

#include "Kt64Srv.pb.h"
#include "Kt64SrvIds.h"

#include <cstdio>

namespace kt64::rpc {

grpc::Status errorStatus(HRESULT hr, std::optional<std::string_view> description) {
    ErrorInfo info;
    info.set_hresult(static_cast<std::uint32_t>(hr));
    if (description) info.set_description(std::string(*description));
    info.set_source(std::string(ids::kProgId));
    info.set_guid(std::string(ids::kIid));
    // The message is for generic tools and logs; clients read the details.
    char fallback[32];
    std::snprintf(fallback, sizeof fallback, "HRESULT 0x%08X", static_cast<unsigned>(hr));
    std::string message = description ? std::string(*description) : std::string(fallback);
    return grpc::Status(kServerErrorCode, std::move(message), info.SerializeAsString());
}

std::optional<ErrorRecord> errorRecord(const grpc::Status& status) {
    if (status.ok() || status.error_code() != kServerErrorCode || status.error_details().empty()) return std::nullopt;
    ErrorInfo info;
    if (!info.ParseFromString(status.error_details())) return std::nullopt;
    ErrorRecord record;
    record.hresult = static_cast<HRESULT>(info.hresult());
    if (info.has_description()) record.description = info.description();
    record.source = info.source();
    record.guid = info.guid();
    return record;
}

}  // namespace kt64::rpc
