// Calls whose request does not decode. gRPC answers a member whose request
// body cannot be parsed (a truncated or malformed message, or text fields
// that are not UTF-8) with UNIMPLEMENTED and no error object, as if the
// member did not exist: a client then cannot tell bad data from a server of
// another version, and its own error handling finds no record. This server
// interceptor turns that answer, for the members IKt64Srv has, into the
// interface's own refusal: E_KT64_FRAME "Bledne dane." with the error object.
// A name the interface does not have keeps UNIMPLEMENTED.
#pragma once

#include <grpcpp/support/server_interceptor.h>

#include <memory>
#include <string_view>

namespace kt64::server {

// Whether the full gRPC method name ("/kt64.rpc.IKt64Srv/PutSerialNum") is a
// member of IKt64Srv.
bool isInterfaceMember(std::string_view fullMethod);

class UndecodableCallRefusals final : public grpc::experimental::ServerInterceptorFactoryInterface {
public:
    grpc::experimental::Interceptor* CreateServerInterceptor(grpc::experimental::ServerRpcInfo* info) override;
};

}  // namespace kt64::server
