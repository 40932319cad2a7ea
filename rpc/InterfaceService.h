// IKt64Srv served through gRPC's callback API, member by member from the
// rows of the member table (InterfaceMembers.h): the link server and the
// tests' fake server give each row its handler here, so neither writes one
// override per member of the generated service.
//
// Rows not served here keep the generated synchronous handlers (which a
// class may override, as the fake does for its slow members).
#pragma once

#include <grpcpp/grpcpp.h>

#include <string_view>

#include "InterfaceMembers.h"
#include "Kt64Srv.grpc.pb.h"

namespace google::protobuf {
class Descriptor;
}

namespace kt64::rpc {

// The RPC's number in the generated service (the .proto's order). Throws
// std::logic_error when the interface has no RPC of that name, or when its
// messages or its streaming are not the row's: a row that does not match
// the interface would read its requests as the wrong message.
int methodIndex(std::string_view name, const google::protobuf::Descriptor* request,
                const google::protobuf::Descriptor* answer, bool streaming);

template <class Row>
int methodIndex() {
    return methodIndex(Row::name, Row::Request::descriptor(), Row::Answer::descriptor(),
                       Row::kind == ids::CallKind::Stream);
}

class InterfaceService : public IKt64Srv::Service {
protected:
    using Context = grpc::CallbackServerContext;

    // handler(Context*, const Request*, Answer*) answers the row's calls
    // with a reactor (ServerUnaryReactor*).
    template <class Row, class Handler>
    void serveUnary(Handler handler) {
        static_assert(Row::kind != ids::CallKind::Stream);
        MarkMethodCallback(
            methodIndex<Row>(),
            new grpc::internal::CallbackUnaryHandler<typename Row::Request, typename Row::Answer>(std::move(handler)));
    }

    // handler(Context*) answers the row's streams with a bidirectional
    // reactor.
    template <class Row, class Handler>
    void serveStream(Handler handler) {
        static_assert(Row::kind == ids::CallKind::Stream);
        MarkMethodCallback(
            methodIndex<Row>(),
            new grpc::internal::CallbackBidiHandler<typename Row::Request, typename Row::Answer>(std::move(handler)));
    }
};

}  // namespace kt64::rpc
