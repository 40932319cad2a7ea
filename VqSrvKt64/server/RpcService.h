// IKt64Srv over gRPC: a thin callback service that forwards every RPC to the
// automation class and turns its CallStatus into the call's status (OK, or
// the error object with HRESULT, description, source ProgID and IID). Unary
// members finish inline (they never wait for the line); WaitForDeviceRead
// finishes when the device-read event completes its wait, without holding a
// thread meanwhile; Lease streams are LeaseReactors.
#pragma once

#include <grpcpp/grpcpp.h>

#include "Kt64Srv.grpc.pb.h"
#include "Kt64Srv.h"
#include "ClientFilter.h"
#include "ShutdownMonitor.h"
#include "WorkerJournal.h"

namespace kt64::server {

class RpcService final : public rpc::IKt64Srv::CallbackService {
public:
    // filter: the callers served (all by default); log: refused callers
    // (warning) and leases taken and ended (debug).
    RpcService(Kt64Srv& srv, ShutdownMonitor& leases, ClientFilter filter = {}, LogSink log = {});

    using Ctx = grpc::CallbackServerContext;
    using Reactor = grpc::ServerUnaryReactor;

    Reactor* GetSyncTime(Ctx*, const rpc::Void*, rpc::SyncTimeOut*) override;
    Reactor* GetSyncTimeStamped(Ctx*, const rpc::Void*, rpc::SyncTimeStampedOut*) override;
    Reactor* SetComPort(Ctx*, const rpc::ComPortIn*, rpc::Void*) override;
    Reactor* GetComPort(Ctx*, const rpc::Void*, rpc::ComPortOut*) override;
    Reactor* WaitForDeviceRead(Ctx*, const rpc::Void*, rpc::Void*) override;
    Reactor* GetGmtTime(Ctx*, const rpc::Void*, rpc::DateOut*) override;
    Reactor* PutGmtTime(Ctx*, const rpc::DateIn*, rpc::Void*) override;
    Reactor* GetLocTime(Ctx*, const rpc::Void*, rpc::DateOut*) override;
    Reactor* PutLocTime(Ctx*, const rpc::DateIn*, rpc::Void*) override;
    Reactor* GetLineTime(Ctx*, const rpc::Void*, rpc::DateOut*) override;
    Reactor* PutLineTime(Ctx*, const rpc::DateIn*, rpc::Void*) override;
    Reactor* GetAlarmFlag(Ctx*, const rpc::Void*, rpc::ULongOut*) override;
    Reactor* GetSetFlag(Ctx*, const rpc::Void*, rpc::ULongOut*) override;
    Reactor* PutSetFlag(Ctx*, const rpc::ULongIn*, rpc::Void*) override;
    Reactor* GetLocalOffset(Ctx*, const rpc::Void*, rpc::DoubleOut*) override;
    Reactor* PutLocalOffset(Ctx*, const rpc::DoubleIn*, rpc::Void*) override;
    Reactor* GetKeyTimeZL(Ctx*, const rpc::Void*, rpc::KeyChgOut*) override;
    Reactor* PutKeyTimeZL(Ctx*, const rpc::KeyChgIn*, rpc::Void*) override;
    Reactor* GetChangeTimeZL(Ctx*, const rpc::Void*, rpc::DateOut*) override;
    Reactor* PutChangeTimeZL(Ctx*, const rpc::DateIn*, rpc::Void*) override;
    Reactor* GetKeyTimeLZ(Ctx*, const rpc::Void*, rpc::KeyChgOut*) override;
    Reactor* PutKeyTimeLZ(Ctx*, const rpc::KeyChgIn*, rpc::Void*) override;
    Reactor* GetChangeTimeLZ(Ctx*, const rpc::Void*, rpc::DateOut*) override;
    Reactor* PutChangeTimeLZ(Ctx*, const rpc::DateIn*, rpc::Void*) override;
    Reactor* ComunicationEnable(Ctx*, const rpc::ComunicationEnableIn*, rpc::Void*) override;
    Reactor* GetSerialNum(Ctx*, const rpc::Void*, rpc::StringOut*) override;
    Reactor* PutSerialNum(Ctx*, const rpc::StringIn*, rpc::Void*) override;
    Reactor* GetBuildType(Ctx*, const rpc::Void*, rpc::StringOut*) override;
    Reactor* PutBuildType(Ctx*, const rpc::StringIn*, rpc::Void*) override;
    Reactor* GetLineDigitType(Ctx*, const rpc::Void*, rpc::DigLineOut*) override;
    Reactor* PutLineDigitType(Ctx*, const rpc::DigLineIn*, rpc::Void*) override;
    Reactor* PutChangeTimeOn(Ctx*, const rpc::ULongIn*, rpc::Void*) override;
    Reactor* GetRozkazy(Ctx*, const rpc::Void*, rpc::VariantOut*) override;
    Reactor* PutRozkazy(Ctx*, const rpc::VariantIn*, rpc::Void*) override;
    Reactor* GetRozkazPos(Ctx*, const rpc::Void*, rpc::ULongOut*) override;
    Reactor* StartGetRozkazy(Ctx*, const rpc::Void*, rpc::Void*) override;
    Reactor* GetRozkazRxPos(Ctx*, const rpc::Void*, rpc::ULongOut*) override;

    grpc::ServerBidiReactor<rpc::LeaseRequest, rpc::LeaseGrant>* Lease(Ctx*) override;

private:
    bool allowed(Ctx* c) const;
    static grpc::Status refusal(Ctx* c);
    // A finished reactor with the refusal for a caller outside
    // AllowedClients, nullptr for one that is served.
    Reactor* refuse(Ctx* c) const;

    Kt64Srv& srv_;
    ShutdownMonitor& leases_;
    ClientFilter filter_;
    LogSink log_;
};

// The call status of a member's outcome.
grpc::Status callStatus(const CallStatus& status);

}  // namespace kt64::server
