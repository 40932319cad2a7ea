// The server end of one client object's lease: a long-lived Lease stream
// served with gRPC's callback API, so that any number of idle clients cost no
// thread. The lease is granted at once (one LeaseGrant with the live count)
// and lasts until the client half-closes (it released its object), cancels,
// or is found dead by the keepalive pings. Start and end are reported to the
// shutdown monitor, which counts the leases.
#pragma once

#include <grpcpp/grpcpp.h>

#include <functional>
#include <mutex>

#include "Kt64Srv.grpc.pb.h"
#include "ShutdownMonitor.h"
#include "WorkerJournal.h"

namespace kt64::server {

class LeaseReactor final : public grpc::ServerBidiReactor<rpc::LeaseRequest, rpc::LeaseGrant> {
public:
    // caller and log: the caller's address and where the lease's start (with
    // the holder's name) and end are told at debug level; ended: called once
    // when the lease is over (the caps count it no more). A holder name
    // longer than kLongestClientName ends the lease with E_INVALIDARG.
    explicit LeaseReactor(ShutdownMonitor& monitor, std::string caller = {}, LogSink log = {},
                          std::function<void()> ended = {});

    void OnReadDone(bool ok) override;
    void OnWriteDone(bool ok) override;
    void OnCancel() override {}
    void OnDone() override;

private:
    void finishOnce(grpc::Status status = grpc::Status::OK);

    ShutdownMonitor& monitor_;
    std::string caller_;
    LogSink log_;
    std::function<void()> ended_;
    std::string holder_;  // the name in the first request
    rpc::LeaseRequest request_;
    rpc::LeaseGrant grant_;
    std::mutex mutex_;
    bool writing_ = true;        // the grant is on its way
    bool finishWanted_ = false;  // the stream ended while the grant was on its way
    bool finished_ = false;
    grpc::Status endStatus_;  // what a finish wanted during the grant's write ends with
};

}  // namespace kt64::server
