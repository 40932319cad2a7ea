// Calls whose request does not decode. gRPC answers a member whose request
// body cannot be parsed (a truncated or malformed message, or text fields
// that are not UTF-8) with UNIMPLEMENTED and no error object, as if the
// member did not exist: a client then cannot tell bad data from a server of
// another version, and its own error handling finds no record. This server
// interceptor turns that answer, for the members IKt64Srv has, into the
// interface's own refusal: E_KT64_FRAME "Bledne dane." with the error object.
// A name the interface does not have keeps UNIMPLEMENTED.
//
// The same interceptor keeps callers from the services that are not the
// interface (server reflection): all of them unless the site turned it on,
// and then callers outside AllowedClients; their answers are emptied and
// the call refused, as the interface's members refuse such callers.
#pragma once

#include <grpcpp/support/server_interceptor.h>

#include <memory>
#include <string_view>

#include "ClientFilter.h"

namespace kt64::server {

// Whether the full gRPC method name ("/kt64.rpc.IKt64Srv/PutSerialNum") is a
// member of IKt64Srv.
bool isInterfaceMember(std::string_view fullMethod);

class UndecodableCallRefusals final : public grpc::experimental::ServerInterceptorFactoryInterface {
public:
    // otherServices: whether services beside the interface (reflection)
    // are answered at all.
    explicit UndecodableCallRefusals(ClientFilter filter = {}, bool otherServices = false)
        : filter_(std::move(filter)), otherServices_(otherServices) {}
    grpc::experimental::Interceptor* CreateServerInterceptor(grpc::experimental::ServerRpcInfo* info) override;

private:
    ClientFilter filter_;
    bool otherServices_;
};

}  // namespace kt64::server
