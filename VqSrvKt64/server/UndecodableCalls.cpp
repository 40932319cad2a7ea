// The refusal of undecodable calls; see the header. The interceptor sees every
// status before it is sent; only UNIMPLEMENTED on an existing member is
// changed, which the members themselves never answer.
#include "UndecodableCalls.h"

#include <google/protobuf/descriptor.h>

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
    explicit UndecodableCallRefusal(bool member) : member_(member) { handOff(this); }

    void Intercept(grpc::experimental::InterceptorBatchMethods* methods) override {
        takeOver(this);
        if (member_ && methods->QueryInterceptionHookPoint(InterceptionHookPoints::PRE_SEND_STATUS) &&
            methods->GetSendStatus().error_code() == grpc::StatusCode::UNIMPLEMENTED)
            methods->ModifySendStatus(rpc::errorStatus(E_KT64_FRAME, text::kBadDataDot));
        handOff(this);
        methods->Proceed();
    }

private:
    const bool member_;
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
    return new UndecodableCallRefusal(info->method() != nullptr && isInterfaceMember(info->method()));
}

}  // namespace kt64::server
