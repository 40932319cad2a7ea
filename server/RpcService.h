// IKt64Srv over gRPC: a thin callback service that forwards every RPC to the
// automation class, as its row of the member table says (InterfaceMembers.h),
// and turns its CallStatus into the call's status (OK, or the error object
// with HRESULT, description, source ProgID and IID). Unary members finish
// inline (they never wait for the line); WaitForDeviceRead
// finishes when the device-read event completes its wait, without holding a
// thread meanwhile; Lease streams are LeaseReactors.
//
// Before a member runs, its caller must be served (AllowedClients, for
// callers from the network) and have the right the member needs
// (the member table). One service serves one kind of listener: the control
// socket, whose callers all have Control, or the shared listeners (TCP and
// the read socket), whose callers read, and control only with a client
// certificate the administrator granted it. A refusal is E_ACCESSDENIED
// with a Polish text naming what the caller lacks.
#pragma once

#include <grpcpp/grpcpp.h>

#include <memory>
#include <set>
#include <string>

#include "CallerLimits.h"
#include "ClientFilter.h"
#include "InterfaceService.h"
#include "AutomationObject.h"
#include "ShutdownMonitor.h"
#include "WorkerJournal.h"

namespace kt64::server {

// Who calls through a service's listeners, and what the server holds for
// them; shared by the services of one server.
struct CallerPolicy {
    ClientFilter filter;  // AllowedClients: callers from the network served
    // Common names of client certificates (TLS with TlsClientCA) granted
    // Control from other computers (TlsControlClients).
    std::set<std::string> controlCertificates;
    std::shared_ptr<CallerLimits> limits = std::make_shared<CallerLimits>();
    std::shared_ptr<RefusalLog> refusals = std::make_shared<RefusalLog>(LogSink{});
    LogSink log;  // leases taken and ended (debug)
};

// Where a service's callers come from: each listener has a service of its own.
enum class Listener {
    Network,        // TCP: read; control with a granted client certificate
    ReadSocket,     // the local socket every user may reach: read
    ControlSocket,  // the local socket of root and the group kt64: control
};

class RpcService final : public rpc::InterfaceService {
public:
    RpcService(AutomationObject& srv, ShutdownMonitor& leases, CallerPolicy policy = {},
               Listener listener = Listener::Network);

    using Ctx = grpc::CallbackServerContext;
    using Reactor = grpc::ServerUnaryReactor;

    // The refusal for a caller of member, OK when it is served with the
    // right the member needs.
    grpc::Status admission(grpc::CallbackServerContext* c, std::string_view member) const;

private:
    // A one-shot member: admission, then the automation object's call.
    template <class Row>
    Reactor* serve(Ctx* c, const typename Row::Request& in, typename Row::Answer& out);
    Reactor* waitForDeviceRead(Ctx* c);
    grpc::ServerBidiReactor<rpc::LeaseRequest, rpc::LeaseGrant>* lease(Ctx* c);

    // A finished reactor with the refusal, nullptr for a caller served.
    Reactor* refuse(Ctx* c, std::string_view member) const;
    bool hasControl(grpc::CallbackServerContext* c) const;

    AutomationObject& srv_;
    ShutdownMonitor& leases_;
    CallerPolicy policy_;
    Listener listener_;
};

// The call status of a member's outcome.
grpc::Status callStatus(const CallStatus& status);

}  // namespace kt64::server
