// Forwarding of every RPC to the automation class. A getter's value goes
// into the answer only when the call succeeds: a failed gRPC call carries no
// message, just the error object.
#include "RpcService.h"

#include <type_traits>

#include "ErrorStatus.h"
#include "LeaseReactor.h"
#include "MemberRights.h"
#include "MessageValues.h"

namespace kt64::server {

namespace {

grpc::ServerUnaryReactor* finish(grpc::CallbackServerContext* ctx, const CallStatus& status) {
    auto* reactor = ctx->DefaultReactor();
    reactor->Finish(callStatus(status));
    return reactor;
}

// The automation object's values that no message carries as they are.
void answerWith(rpc::SyncTimeStampedOut& out, const StampedSyncTime& v) {
    out.set_time(v.Time);
    out.set_framemonotonicns(v.FrameMonotonicNs);
    out.set_framerealtimens(v.FrameRealtimeNs);
    out.set_frameno(v.FrameNo);
    out.set_servermonotonicns(v.ServerMonotonicNs);
    out.set_requestmonotonicns(v.RequestMonotonicNs);
    out.set_gmttime(v.GmtTime);
}

void answerWith(rpc::VariantOut& out, const std::vector<std::uint8_t>& image) {
    rpc::setValue(out, ids::VariantBytes{kVtArrayOfBytes, image});
}

template <class Answer, class T>
void answerWith(Answer& out, const T& v) {
    rpc::setValue(out, v);
}

template <class T>
constexpr bool kIsCallResult = false;
template <class T>
constexpr bool kIsCallResult<CallResult<T>> = true;

}  // namespace

grpc::Status callStatus(const CallStatus& status) {
    if (status.ok()) return grpc::Status::OK;
    return rpc::errorStatus(status.code, status.text);
}

RpcService::RpcService(AutomationObject& srv, ShutdownMonitor& leases, CallerPolicy policy, Listener listener)
    : srv_(srv), leases_(leases), policy_(std::move(policy)), listener_(listener) {
    members::All::forEach([this]<class Row>() {
        if constexpr (Row::kind == ids::CallKind::Unary)
            serveUnary<Row>([this](Ctx* c, const typename Row::Request* in, typename Row::Answer* out) {
                return serve<Row>(c, *in, *out);
            });
    });
    serveUnary<members::WaitForDeviceRead>(
        [this](Ctx* c, const rpc::Void*, rpc::Void*) { return waitForDeviceRead(c); });
    serveStream<members::Lease>([this](Ctx* c) { return lease(c); });
}

template <class Row>
RpcService::Reactor* RpcService::serve(Ctx* c, const typename Row::Request& in, typename Row::Answer& out) {
    if (auto* refused = refuse(c, Row::name)) return refused;
    const auto outcome = [&] {
        if constexpr (std::is_same_v<typename Row::Request, rpc::Void>)
            return Row::call(srv_);
        else
            return Row::call(srv_, rpc::valueOf(in));
    }();
    if constexpr (kIsCallResult<std::remove_const_t<decltype(outcome)>>) {
        if (outcome.ok()) answerWith(out, outcome.value);
        return finish(c, outcome.status);
    } else {
        return finish(c, outcome);
    }
}

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

RpcService::Reactor* RpcService::waitForDeviceRead(Ctx* c) {
    if (auto* refused = refuse(c, members::WaitForDeviceRead::name)) return refused;
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

namespace {
// A lease stream refused at once: finishes with the refusal, never counts.
class RefusedLease final : public grpc::ServerBidiReactor<rpc::LeaseRequest, rpc::LeaseGrant> {
public:
    explicit RefusedLease(const grpc::Status& status) { Finish(status); }
    void OnDone() override { delete this; }
};
}  // namespace

grpc::ServerBidiReactor<rpc::LeaseRequest, rpc::LeaseGrant>* RpcService::lease(Ctx* c) {
    if (auto status = admission(c, members::Lease::name); !status.ok()) return new RefusedLease(status);
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
