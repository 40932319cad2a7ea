// The refusal of undecodable calls; see the header. The interceptor sees every
// status before it is sent; only UNIMPLEMENTED on an existing member is
// changed, which the members themselves never answer.
#include "UndecodableCalls.h"

#include <google/protobuf/descriptor.h>
#include <grpcpp/server_context.h>

#include <optional>
#include <string>

#include "ErrorStatus.h"
#include "HResult.h"
#include "HandOff.h"
#include "Kt64Srv.pb.h"

namespace kt64::server {

namespace {

using grpc::experimental::InterceptionHookPoints;

// gRPC calls Intercept for one hook point after another, not always on the
// thread that made the interceptor, through locks the race detector cannot
// see: that order is stated with HandOff.h.
class UndecodableCallRefusal final : public grpc::experimental::Interceptor {
public:
    // refusal: for a call of another service that is not served to this
    // caller (outside AllowedClients) or not served at all (reflection off).
    UndecodableCallRefusal(bool member, std::optional<grpc::Status> refusal)
        : member_(member), refusal_(std::move(refusal)) {
        handOff(this);
    }
    // gRPC deletes the interceptor with the call, on a thread of its own.
    ~UndecodableCallRefusal() override { takeOver(this); }

    void Intercept(grpc::experimental::InterceptorBatchMethods* methods) override {
        takeOver(this);
        if (member_ && methods->QueryInterceptionHookPoint(InterceptionHookPoints::PRE_SEND_STATUS) &&
            methods->GetSendStatus().error_code() == grpc::StatusCode::UNIMPLEMENTED)
            methods->ModifySendStatus(rpc::errorStatus(E_KT64_FRAME, text::kBadDataDot));
        if (refusal_ && methods->QueryInterceptionHookPoint(InterceptionHookPoints::PRE_SEND_MESSAGE)) {
            if (auto* message = methods->GetSerializedSendMessage()) *message = grpc::ByteBuffer();
        }
        if (refusal_ && methods->QueryInterceptionHookPoint(InterceptionHookPoints::PRE_SEND_STATUS))
            methods->ModifySendStatus(*refusal_);
        handOff(this);
        methods->Proceed();
    }

private:
    const bool member_;
    const std::optional<grpc::Status> refusal_;
};

}  // namespace

bool isInterfaceMember(std::string_view fullMethod) {
    // "/package.Service/Method"
    if (!fullMethod.starts_with('/')) return false;
    fullMethod.remove_prefix(1);
    const auto slash = fullMethod.find('/');
    if (slash == std::string_view::npos) return false;
    const auto* service =
        rpc::Void::descriptor()->file()->pool()->FindServiceByName(std::string(fullMethod.substr(0, slash)));
    return service != nullptr && service->file() == rpc::Void::descriptor()->file() &&
           service->FindMethodByName(std::string(fullMethod.substr(slash + 1))) != nullptr;
}

grpc::experimental::Interceptor* UndecodableCallRefusals::CreateServerInterceptor(
    grpc::experimental::ServerRpcInfo* info) {
    const bool member = info->method() != nullptr && isInterfaceMember(info->method());
    const std::string peer = info->server_context() != nullptr ? info->server_context()->peer() : std::string();
    std::optional<grpc::Status> refusal;
    // gRPC's reflection service joins every server of a process that links
    // it: it is answered only where the site turned it on.
    if (!member && !otherServices_)
        refusal = grpc::Status(grpc::StatusCode::UNIMPLEMENTED,
                               "only the interface IKt64Srv is served here (server reflection: Reflection=1 under "
                               "HKLM\\Software\\Ardonis\\Kt64Srv)");
    else if (!member && !peer.starts_with("unix:") && !filter_.allows(peer))
        refusal = grpc::Status(grpc::StatusCode::PERMISSION_DENIED,
                               "the link server does not serve this caller (AllowedClients)");
    return new UndecodableCallRefusal(member, std::move(refusal));
}

}  // namespace kt64::server
