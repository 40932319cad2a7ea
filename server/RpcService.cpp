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

RpcService::RpcService(Kt64Srv& srv, ShutdownMonitor& leases, CallerPolicy policy, Listener listener)
    : srv_(srv), leases_(leases), policy_(std::move(policy)), listener_(listener) {}

namespace {
std::string commonName(const grpc::AuthContext& auth) {
    for (const auto& value : auth.FindPropertyValues(GRPC_X509_CN_PROPERTY_NAME))
        return std::string(value.data(), value.size());
    return {};
}
}  // namespace

bool RpcService::hasControl(grpc::CallbackServerContext* c) const {
    if (listener_ == Listener::ControlSocket) return true;
    if (listener_ == Listener::ReadSocket) return false;
    const auto auth = c->auth_context();
    if (!auth || !auth->IsPeerAuthenticated()) return false;
    const std::string name = commonName(*auth);
    return !name.empty() && policy_.controlCertificates.contains(name);
}

grpc::Status RpcService::admission(grpc::CallbackServerContext* c, std::string_view member) const {
    const std::string peer = c->peer();
    const bool local = listener_ != Listener::Network;
    const std::string caller = local ? std::string("this computer") : ClientFilter::address(peer);
    // A local socket's file rights decide who reaches it; AllowedClients
    // speaks of addresses on the network.
    if (!local && !policy_.filter.allows(peer)) {
        policy_.refusals->refused(caller + " filter", "refused a call from " + caller +
                                                          ": not in AllowedClients (not logged again for a minute)");
        return grpc::Status(grpc::StatusCode::PERMISSION_DENIED,
                            "the link server does not serve callers from " + caller + " (AllowedClients)");
    }
    if (ids::rightOf(member) == ids::Right::Read || hasControl(c)) return grpc::Status::OK;
    std::string text;
    std::string why;
    if (local) {
        text =
            "Brak uprawnień: zmieniać ustawienia centrali może na tym komputerze tylko root lub członek grupy "
            "kt64 (adduser NAZWA kt64, potem ponowne zalogowanie); ten użytkownik może tylko odczytywać.";
        why = "a local user outside the group kt64 (read socket)";
    } else {
        const auto auth = c->auth_context();
        const std::string name = auth && auth->IsPeerAuthenticated() ? commonName(*auth) : std::string();
        if (name.empty()) {
            text = "Brak uprawnień: komputer " + caller +
                   " może tylko odczytywać. Zmiany z innego komputera wymagają certyfikatu klienta z prawem "
                   "sterowania (TlsControlClients w HKLM\\Software\\Ardonis\\Kt64Srv).";
            why = "no client certificate granted control";
        } else {
            text = "Brak uprawnień: certyfikat „" + name + "” komputera " + caller +
                   " pozwala tylko odczytywać; prawo sterowania nadaje administrator serwera (TlsControlClients "
                   "w HKLM\\Software\\Ardonis\\Kt64Srv).";
            why = "certificate \"" + name + "\" not granted control";
        }
    }
    policy_.refusals->refused(caller + " control", "refused " + std::string(member) + " from " + caller + ": " + why +
                                                       " (not logged again for a minute)");
    return rpc::errorStatus(E_ACCESSDENIED, text);
}

RpcService::Reactor* RpcService::refuse(Ctx* c, std::string_view member) const {
    grpc::Status status = admission(c, member);
    if (status.ok()) return nullptr;
    auto* reactor = c->DefaultReactor();
    reactor->Finish(status);
    return reactor;
}

RpcService::Reactor* RpcService::GetSyncTime(Ctx* c, const rpc::Void*, rpc::SyncTimeOut* out) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return answer(c, srv_.GetSyncTime(), [&](DATE v) { out->set_time(v); });
}

RpcService::Reactor* RpcService::GetSyncTimeStamped(Ctx* c, const rpc::Void*, rpc::SyncTimeStampedOut* out) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return answer(c, srv_.GetSyncTimeStamped(), [&](const StampedSyncTime& v) {
        out->set_time(v.Time);
        out->set_framemonotonicns(v.FrameMonotonicNs);
        out->set_framerealtimens(v.FrameRealtimeNs);
        out->set_frameno(v.FrameNo);
        out->set_servermonotonicns(v.ServerMonotonicNs);
        out->set_requestmonotonicns(v.RequestMonotonicNs);
        out->set_gmttime(v.GmtTime);
    });
}

RpcService::Reactor* RpcService::SetComPort(Ctx* c, const rpc::ComPortIn* in, rpc::Void*) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return finish(c, srv_.SetComPort(in->portno()));
}

RpcService::Reactor* RpcService::GetComPort(Ctx* c, const rpc::Void*, rpc::ComPortOut* out) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return answer(c, srv_.GetComPort(), [&](std::uint32_t v) { out->set_portno(v); });
}

RpcService::Reactor* RpcService::WaitForDeviceRead(Ctx* c, const rpc::Void*, rpc::Void*) {
    if (auto* refused = refuse(c, __func__)) return refused;
    // The operators' waits are not counted (CallerLimits.h).
    const bool counted = listener_ != Listener::ControlSocket;
    if (counted)
        if (auto refusal = policy_.limits->takeWait()) return finish(c, CallStatus::failure(E_OUTOFMEMORY, *refusal));
    auto* reactor = c->DefaultReactor();
    srv_.WaitForDeviceRead([reactor, counted, limits = policy_.limits](CallStatus status) {
        if (counted) limits->waitEnded();
        reactor->Finish(callStatus(status));
    });
    return reactor;
}

RpcService::Reactor* RpcService::GetGmtTime(Ctx* c, const rpc::Void*, rpc::DateOut* out) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return answer(c, srv_.GetGmtTime(), [&](DATE v) { out->set_pval(v); });
}

RpcService::Reactor* RpcService::PutGmtTime(Ctx* c, const rpc::DateIn* in, rpc::Void*) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return finish(c, srv_.PutGmtTime(in->newval()));
}

RpcService::Reactor* RpcService::GetLocTime(Ctx* c, const rpc::Void*, rpc::DateOut* out) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return answer(c, srv_.GetLocTime(), [&](DATE v) { out->set_pval(v); });
}

RpcService::Reactor* RpcService::PutLocTime(Ctx* c, const rpc::DateIn* in, rpc::Void*) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return finish(c, srv_.PutLocTime(in->newval()));
}

RpcService::Reactor* RpcService::GetLineTime(Ctx* c, const rpc::Void*, rpc::DateOut* out) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return answer(c, srv_.GetLineTime(), [&](DATE v) { out->set_pval(v); });
}

RpcService::Reactor* RpcService::PutLineTime(Ctx* c, const rpc::DateIn* in, rpc::Void*) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return finish(c, srv_.PutLineTime(in->newval()));
}

RpcService::Reactor* RpcService::GetAlarmFlag(Ctx* c, const rpc::Void*, rpc::ULongOut* out) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return answer(c, srv_.GetAlarmFlag(), [&](std::uint32_t v) { out->set_pval(v); });
}

RpcService::Reactor* RpcService::GetSetFlag(Ctx* c, const rpc::Void*, rpc::ULongOut* out) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return answer(c, srv_.GetSetFlag(), [&](std::uint32_t v) { out->set_pval(v); });
}

RpcService::Reactor* RpcService::PutSetFlag(Ctx* c, const rpc::ULongIn* in, rpc::Void*) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return finish(c, srv_.PutSetFlag(in->newval()));
}

RpcService::Reactor* RpcService::GetLocalOffset(Ctx* c, const rpc::Void*, rpc::DoubleOut* out) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return answer(c, srv_.GetLocalOffset(), [&](double v) { out->set_pval(v); });
}

RpcService::Reactor* RpcService::PutLocalOffset(Ctx* c, const rpc::DoubleIn* in, rpc::Void*) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return finish(c, srv_.PutLocalOffset(in->newval()));
}

RpcService::Reactor* RpcService::GetKeyTimeZL(Ctx* c, const rpc::Void*, rpc::KeyChgOut* out) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return answer(c, srv_.GetKeyTimeZL(), [&](std::int32_t v) { out->set_pval(static_cast<rpc::EKeyChg>(v)); });
}

RpcService::Reactor* RpcService::PutKeyTimeZL(Ctx* c, const rpc::KeyChgIn* in, rpc::Void*) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return finish(c, srv_.PutKeyTimeZL(in->newval()));
}

RpcService::Reactor* RpcService::GetChangeTimeZL(Ctx* c, const rpc::Void*, rpc::DateOut* out) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return answer(c, srv_.GetChangeTimeZL(), [&](DATE v) { out->set_pval(v); });
}

RpcService::Reactor* RpcService::PutChangeTimeZL(Ctx* c, const rpc::DateIn* in, rpc::Void*) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return finish(c, srv_.PutChangeTimeZL(in->newval()));
}

RpcService::Reactor* RpcService::GetKeyTimeLZ(Ctx* c, const rpc::Void*, rpc::KeyChgOut* out) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return answer(c, srv_.GetKeyTimeLZ(), [&](std::int32_t v) { out->set_pval(static_cast<rpc::EKeyChg>(v)); });
}

RpcService::Reactor* RpcService::PutKeyTimeLZ(Ctx* c, const rpc::KeyChgIn* in, rpc::Void*) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return finish(c, srv_.PutKeyTimeLZ(in->newval()));
}

RpcService::Reactor* RpcService::GetChangeTimeLZ(Ctx* c, const rpc::Void*, rpc::DateOut* out) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return answer(c, srv_.GetChangeTimeLZ(), [&](DATE v) { out->set_pval(v); });
}

RpcService::Reactor* RpcService::PutChangeTimeLZ(Ctx* c, const rpc::DateIn* in, rpc::Void*) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return finish(c, srv_.PutChangeTimeLZ(in->newval()));
}

RpcService::Reactor* RpcService::ComunicationEnable(Ctx* c, const rpc::ComunicationEnableIn* in, rpc::Void*) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return finish(c, srv_.ComunicationEnable(in->enabled()));
}

RpcService::Reactor* RpcService::GetSerialNum(Ctx* c, const rpc::Void*, rpc::StringOut* out) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return answer(c, srv_.GetSerialNum(), [&](const std::string& v) { out->set_pval(v); });
}

RpcService::Reactor* RpcService::PutSerialNum(Ctx* c, const rpc::StringIn* in, rpc::Void*) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return finish(c, srv_.PutSerialNum(in->newval()));
}

RpcService::Reactor* RpcService::GetBuildType(Ctx* c, const rpc::Void*, rpc::StringOut* out) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return answer(c, srv_.GetBuildType(), [&](const std::string& v) { out->set_pval(v); });
}

RpcService::Reactor* RpcService::PutBuildType(Ctx* c, const rpc::StringIn* in, rpc::Void*) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return finish(c, srv_.PutBuildType(in->newval()));
}

RpcService::Reactor* RpcService::GetLineDigitType(Ctx* c, const rpc::Void*, rpc::DigLineOut* out) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return answer(c, srv_.GetLineDigitType(), [&](std::int32_t v) { out->set_pval(static_cast<rpc::EDigLine>(v)); });
}

RpcService::Reactor* RpcService::PutLineDigitType(Ctx* c, const rpc::DigLineIn* in, rpc::Void*) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return finish(c, srv_.PutLineDigitType(in->newval()));
}

RpcService::Reactor* RpcService::PutChangeTimeOn(Ctx* c, const rpc::ULongIn* in, rpc::Void*) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return finish(c, srv_.PutChangeTimeOn(in->newval()));
}

RpcService::Reactor* RpcService::GetRozkazy(Ctx* c, const rpc::Void*, rpc::VariantOut* out) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return answer(c, srv_.GetRozkazy(), [&](const std::vector<std::uint8_t>& image) {
        auto* variant = out->mutable_pval();
        variant->set_vt(kVtArrayOfBytes);
        variant->set_parray(std::string(image.begin(), image.end()));
    });
}

RpcService::Reactor* RpcService::PutRozkazy(Ctx* c, const rpc::VariantIn* in, rpc::Void*) {
    if (auto* refused = refuse(c, __func__)) return refused;
    const auto& bytes = in->newval().parray();
    return finish(
        c, srv_.PutRozkazy(in->newval().vt(), {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}));
}

RpcService::Reactor* RpcService::GetRozkazPos(Ctx* c, const rpc::Void*, rpc::ULongOut* out) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return answer(c, srv_.GetRozkazPos(), [&](std::uint32_t v) { out->set_pval(v); });
}

RpcService::Reactor* RpcService::StartGetRozkazy(Ctx* c, const rpc::Void*, rpc::Void*) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return finish(c, srv_.StartGetRozkazy());
}

RpcService::Reactor* RpcService::GetRozkazRxPos(Ctx* c, const rpc::Void*, rpc::ULongOut* out) {
    if (auto* refused = refuse(c, __func__)) return refused;
    return answer(c, srv_.GetRozkazRxPos(), [&](std::uint32_t v) { out->set_pval(v); });
}

namespace {
// A lease stream refused at once: finishes with the refusal, never counts.
class RefusedLease final : public grpc::ServerBidiReactor<rpc::LeaseRequest, rpc::LeaseGrant> {
public:
    explicit RefusedLease(const grpc::Status& status) { Finish(status); }
    void OnDone() override { delete this; }
};
}  // namespace

grpc::ServerBidiReactor<rpc::LeaseRequest, rpc::LeaseGrant>* RpcService::Lease(Ctx* c) {
    if (auto status = admission(c, __func__); !status.ok()) return new RefusedLease(status);
    if (listener_ == Listener::ControlSocket)  // the operators: no cap (CallerLimits.h)
        return new LeaseReactor(leases_, "this computer", policy_.log);
    const bool local = listener_ == Listener::ReadSocket;
    const std::string caller = local ? std::string("this computer") : ClientFilter::address(c->peer());
    if (auto refusal = policy_.limits->takeLease(caller, local ? std::string("tego komputera") : caller)) {
        policy_.refusals->refused(caller + " leases", "refused a lease of " + caller + ": " + *refusal);
        return new RefusedLease(rpc::errorStatus(E_OUTOFMEMORY, *refusal));
    }
    return new LeaseReactor(leases_, caller, policy_.log,
                            [limits = policy_.limits, caller] { limits->leaseEnded(caller); });
}

}  // namespace kt64::server
