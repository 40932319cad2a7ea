// Forwarding of every RPC to the automation class. A getter's value goes
// into the answer only when the call succeeds: a failed gRPC call carries no
// message, just the error object.
#include "RpcService.h"

#include "ErrorStatus.h"
#include "LeaseReactor.h"

namespace kt64::server {

namespace {

grpc::ServerUnaryReactor* finish(grpc::CallbackServerContext* ctx, const CallStatus& status) {
    auto* reactor = ctx->DefaultReactor();
    reactor->Finish(callStatus(status));
    return reactor;
}

template <class T, class Set>
grpc::ServerUnaryReactor* answer(grpc::CallbackServerContext* ctx, const CallResult<T>& result, Set set) {
    if (result.ok()) set(result.value);
    return finish(ctx, result.status);
}

}  // namespace

grpc::Status callStatus(const CallStatus& status) {
    if (status.ok()) return grpc::Status::OK;
    return rpc::errorStatus(status.code, status.text);
}

RpcService::RpcService(Kt64Srv& srv, ShutdownMonitor& leases) : srv_(srv), leases_(leases) {}

RpcService::Reactor* RpcService::GetSyncTime(Ctx* c, const rpc::Void*, rpc::SyncTimeOut* out) {
    return answer(c, srv_.GetSyncTime(), [&](DATE v) { out->set_time(v); });
}

RpcService::Reactor* RpcService::GetSyncTimeStamped(Ctx* c, const rpc::Void*, rpc::SyncTimeStampedOut* out) {
    return answer(c, srv_.GetSyncTimeStamped(), [&](const StampedSyncTime& v) {
        out->set_time(v.Time);
        out->set_framemonotonicns(v.FrameMonotonicNs);
        out->set_framerealtimens(v.FrameRealtimeNs);
        out->set_frameno(v.FrameNo);
        out->set_servermonotonicns(v.ServerMonotonicNs);
        out->set_requestmonotonicns(v.RequestMonotonicNs);
    });
}

RpcService::Reactor* RpcService::SetComPort(Ctx* c, const rpc::ComPortIn* in, rpc::Void*) {
    return finish(c, srv_.SetComPort(in->portno()));
}

RpcService::Reactor* RpcService::GetComPort(Ctx* c, const rpc::Void*, rpc::ComPortOut* out) {
    return answer(c, srv_.GetComPort(), [&](std::uint32_t v) { out->set_portno(v); });
}

RpcService::Reactor* RpcService::WaitForDeviceRead(Ctx* c, const rpc::Void*, rpc::Void*) {
    auto* reactor = c->DefaultReactor();
    srv_.WaitForDeviceRead([reactor](CallStatus status) { reactor->Finish(callStatus(status)); });
    return reactor;
}

RpcService::Reactor* RpcService::GetGmtTime(Ctx* c, const rpc::Void*, rpc::DateOut* out) {
    return answer(c, srv_.GetGmtTime(), [&](DATE v) { out->set_pval(v); });
}

RpcService::Reactor* RpcService::PutGmtTime(Ctx* c, const rpc::DateIn* in, rpc::Void*) {
    return finish(c, srv_.PutGmtTime(in->newval()));
}

RpcService::Reactor* RpcService::GetLocTime(Ctx* c, const rpc::Void*, rpc::DateOut* out) {
    return answer(c, srv_.GetLocTime(), [&](DATE v) { out->set_pval(v); });
}

RpcService::Reactor* RpcService::PutLocTime(Ctx* c, const rpc::DateIn* in, rpc::Void*) {
    return finish(c, srv_.PutLocTime(in->newval()));
}

RpcService::Reactor* RpcService::GetLineTime(Ctx* c, const rpc::Void*, rpc::DateOut* out) {
    return answer(c, srv_.GetLineTime(), [&](DATE v) { out->set_pval(v); });
}

RpcService::Reactor* RpcService::PutLineTime(Ctx* c, const rpc::DateIn* in, rpc::Void*) {
    return finish(c, srv_.PutLineTime(in->newval()));
}

RpcService::Reactor* RpcService::GetAlarmFlag(Ctx* c, const rpc::Void*, rpc::ULongOut* out) {
    return answer(c, srv_.GetAlarmFlag(), [&](std::uint32_t v) { out->set_pval(v); });
}

RpcService::Reactor* RpcService::GetSetFlag(Ctx* c, const rpc::Void*, rpc::ULongOut* out) {
    return answer(c, srv_.GetSetFlag(), [&](std::uint32_t v) { out->set_pval(v); });
}

RpcService::Reactor* RpcService::PutSetFlag(Ctx* c, const rpc::ULongIn* in, rpc::Void*) {
    return finish(c, srv_.PutSetFlag(in->newval()));
}

RpcService::Reactor* RpcService::GetLocalOffset(Ctx* c, const rpc::Void*, rpc::DoubleOut* out) {
    return answer(c, srv_.GetLocalOffset(), [&](double v) { out->set_pval(v); });
}

RpcService::Reactor* RpcService::PutLocalOffset(Ctx* c, const rpc::DoubleIn* in, rpc::Void*) {
    return finish(c, srv_.PutLocalOffset(in->newval()));
}

RpcService::Reactor* RpcService::GetKeyTimeZL(Ctx* c, const rpc::Void*, rpc::KeyChgOut* out) {
    return answer(c, srv_.GetKeyTimeZL(), [&](std::int32_t v) { out->set_pval(static_cast<rpc::EKeyChg>(v)); });
}

RpcService::Reactor* RpcService::PutKeyTimeZL(Ctx* c, const rpc::KeyChgIn* in, rpc::Void*) {
    return finish(c, srv_.PutKeyTimeZL(in->newval()));
}

RpcService::Reactor* RpcService::GetChangeTimeZL(Ctx* c, const rpc::Void*, rpc::DateOut* out) {
    return answer(c, srv_.GetChangeTimeZL(), [&](DATE v) { out->set_pval(v); });
}

RpcService::Reactor* RpcService::PutChangeTimeZL(Ctx* c, const rpc::DateIn* in, rpc::Void*) {
    return finish(c, srv_.PutChangeTimeZL(in->newval()));
}

RpcService::Reactor* RpcService::GetKeyTimeLZ(Ctx* c, const rpc::Void*, rpc::KeyChgOut* out) {
    return answer(c, srv_.GetKeyTimeLZ(), [&](std::int32_t v) { out->set_pval(static_cast<rpc::EKeyChg>(v)); });
}

RpcService::Reactor* RpcService::PutKeyTimeLZ(Ctx* c, const rpc::KeyChgIn* in, rpc::Void*) {
    return finish(c, srv_.PutKeyTimeLZ(in->newval()));
}

RpcService::Reactor* RpcService::GetChangeTimeLZ(Ctx* c, const rpc::Void*, rpc::DateOut* out) {
    return answer(c, srv_.GetChangeTimeLZ(), [&](DATE v) { out->set_pval(v); });
}

RpcService::Reactor* RpcService::PutChangeTimeLZ(Ctx* c, const rpc::DateIn* in, rpc::Void*) {
    return finish(c, srv_.PutChangeTimeLZ(in->newval()));
}

RpcService::Reactor* RpcService::ComunicationEnable(Ctx* c, const rpc::ComunicationEnableIn* in, rpc::Void*) {
    return finish(c, srv_.ComunicationEnable(in->enabled()));
}

RpcService::Reactor* RpcService::GetSerialNum(Ctx* c, const rpc::Void*, rpc::StringOut* out) {
    return answer(c, srv_.GetSerialNum(), [&](const std::string& v) { out->set_pval(v); });
}

RpcService::Reactor* RpcService::PutSerialNum(Ctx* c, const rpc::StringIn* in, rpc::Void*) {
    return finish(c, srv_.PutSerialNum(in->newval()));
}

RpcService::Reactor* RpcService::GetBuildType(Ctx* c, const rpc::Void*, rpc::StringOut* out) {
    return answer(c, srv_.GetBuildType(), [&](const std::string& v) { out->set_pval(v); });
}

RpcService::Reactor* RpcService::PutBuildType(Ctx* c, const rpc::StringIn* in, rpc::Void*) {
    return finish(c, srv_.PutBuildType(in->newval()));
}

RpcService::Reactor* RpcService::GetLineDigitType(Ctx* c, const rpc::Void*, rpc::DigLineOut* out) {
    return answer(c, srv_.GetLineDigitType(),
                  [&](std::int32_t v) { out->set_pval(static_cast<rpc::EDigLine>(v)); });
}

RpcService::Reactor* RpcService::PutLineDigitType(Ctx* c, const rpc::DigLineIn* in, rpc::Void*) {
    return finish(c, srv_.PutLineDigitType(in->newval()));
}

RpcService::Reactor* RpcService::PutChangeTimeOn(Ctx* c, const rpc::ULongIn* in, rpc::Void*) {
    return finish(c, srv_.PutChangeTimeOn(in->newval()));
}

RpcService::Reactor* RpcService::GetRozkazy(Ctx* c, const rpc::Void*, rpc::VariantOut* out) {
    return answer(c, srv_.GetRozkazy(), [&](const std::vector<std::uint8_t>& image) {
        auto* variant = out->mutable_pval();
        variant->set_vt(kVtArrayOfBytes);
        variant->set_parray(std::string(image.begin(), image.end()));
    });
}

RpcService::Reactor* RpcService::PutRozkazy(Ctx* c, const rpc::VariantIn* in, rpc::Void*) {
    const auto& bytes = in->newval().parray();
    return finish(c, srv_.PutRozkazy(in->newval().vt(),
                                     {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}));
}

RpcService::Reactor* RpcService::GetRozkazPos(Ctx* c, const rpc::Void*, rpc::ULongOut* out) {
    return answer(c, srv_.GetRozkazPos(), [&](std::uint32_t v) { out->set_pval(v); });
}

RpcService::Reactor* RpcService::StartGetRozkazy(Ctx* c, const rpc::Void*, rpc::Void*) {
    return finish(c, srv_.StartGetRozkazy());
}

RpcService::Reactor* RpcService::GetRozkazRxPos(Ctx* c, const rpc::Void*, rpc::ULongOut* out) {
    return answer(c, srv_.GetRozkazRxPos(), [&](std::uint32_t v) { out->set_pval(v); });
}

grpc::ServerBidiReactor<rpc::LeaseRequest, rpc::LeaseGrant>* RpcService::Lease(Ctx*) {
    return new LeaseReactor(leases_);
}

}  // namespace kt64::server
