// The lease a client object holds on the link server for its whole life,
// so that a server started on demand keeps running while it is used.
#pragma once

#include <grpcpp/client_context.h>
#include <grpcpp/support/client_callback.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "CallCancellation.h"
#include "Kt64Srv.grpc.pb.h"

namespace kt64::client {

// The lease stream of one client object. The server answers with a
// LeaseGrant at once and then holds the stream open; the object's
// destructor half-closes it.
//
// gRPC destroys its side of the stream just before OnDone, and after that
// no operation may be started on it. The owner's half-close would race with
// a stream the server or the network ends meanwhile (a WritesDone started on
// a finished stream uses freed memory), so the stream is held (AddHold) and
// OnDone cannot come before the owner lets go of it (RemoveHold), once, in
// awaitGrant or release. Until then the end of the stream shows as a failed
// read. OnDone is the last callback, after which the reactor and its
// context may be destroyed.
class ClientLease : public grpc::ClientBidiReactor<rpc::LeaseRequest, rpc::LeaseGrant> {
public:
    // ended, when given, is called once the stream has ended, whatever ended
    // it (see onEnded).
    ClientLease(rpc::IKt64Srv::Stub& stub, const std::string& clientName, bool waitForReady,
                CallCancellation* cancellation, std::function<void()> ended = {});

    ~ClientLease() override;

    // Waits for the grant. OK when granted; otherwise the failed status, or
    // DEADLINE_EXCEEDED when nothing came in time (the call is cancelled).
    // Called by the owner only, never beside release().
    grpc::Status awaitGrant(std::chrono::milliseconds timeout);

    // Ends a wait in awaitGrant at once. No gRPC call: safe under the
    // owner's locks (a cancellation may run callbacks in the calling thread).
    void interrupt();

    bool held() const;

    // Ends the lease: half-close once the first write has completed (while
    // the hold keeps the stream), then cancel if the server does not finish.
    // Returns when OnDone has run.
    void release();

    // Calls ended once the stream has ended (at once when it has). The object
    // is not destroyed before the call has returned.
    void onEnded(std::function<void()> ended);

    void OnWriteDone(bool ok) override;

    void OnReadDone(bool ok) override;

    void OnDone(const grpc::Status& status) override;

private:
    // Removes the hold, once; OnDone follows when every operation is over.
    void letGo(std::unique_lock<std::mutex>& lock);

    std::function<void()> endedCallback_;
    grpc::ClientContext context_;
    CancellableCall cancellable_;
    rpc::LeaseRequest request_;
    rpc::LeaseGrant grant_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool writeDone_ = false;
    bool writeOk_ = false;
    bool granted_ = false;
    bool ended_ = false;  // the read failed: the stream is over
    bool letGo_ = false;  // the hold is removed
    bool done_ = false;
    bool finished_ = false;
    bool interrupted_ = false;
    grpc::Status status_;
};

// Holds a lease for the client object's whole life. A lease lives on one
// connection; when that connection drops (a network blip, a proxy reset)
// while the object lives, the server would end about 5 s later under a
// client still using it. The keeper takes a new lease as soon as the old one
// has ended, waiting for the channel to reconnect, and goes on trying until
// the object is destroyed. The lease has a channel of its own, so a call the
// server refuses at the transport level (oversized metadata) cannot take the
// lease's connection down with it.
class LeaseKeeper {
public:
    LeaseKeeper(std::unique_ptr<rpc::IKt64Srv::Stub> stub, std::string clientName, CallCancellation* cancellation)
        : stub_(std::move(stub)), clientName_(std::move(clientName)), cancellation_(cancellation) {}

    ~LeaseKeeper();

    // A first lease for ConnectServer to wait on.
    std::unique_ptr<ClientLease> attempt(bool waitForReady);

    // Takes over the granted first lease and keeps one held from now on.
    void keep(std::unique_ptr<ClientLease> granted);

    bool held() const;

private:
    void leaseEnded();

    void run();

    std::unique_ptr<rpc::IKt64Srv::Stub> stub_;
    const std::string clientName_;
    CallCancellation* const cancellation_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::unique_ptr<ClientLease> lease_;
    bool ended_ = false;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace kt64::client
