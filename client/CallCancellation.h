// Ending a client's calls from another thread. A program that must stop at
// once (the stand-alone synchronisation program asked to stop by the console,
// which waits only 3 s) cannot wait for a call to the link server to run into
// its deadline: a WaitForDeviceRead may take up to 8 s, a connection up to
// 5 s. The calls and lease requests made with a CallCancellation register
// their gRPC contexts with it; cancel() cancels every one in progress and
// every one made afterwards, which then fail with E_RPC_CALL_CANCELED.
#pragma once

#include <grpcpp/client_context.h>

#include <mutex>
#include <set>

namespace kt64::client {

class CallCancellation {
public:
    // Cancels every registered call now and every later one at once.
    void cancel();
    bool cancelled() const;

    // For the library: a call's context for the time of the call. A context
    // added after cancel() is cancelled straight away.
    void add(grpc::ClientContext* context);
    void remove(grpc::ClientContext* context);

private:
    mutable std::mutex mutex_;
    std::set<grpc::ClientContext*> calls_;
    bool cancelled_ = false;
};

// Registers one context for its scope; a null cancellation does nothing.
class CancellableCall {
public:
    CancellableCall(CallCancellation* cancellation, grpc::ClientContext* context)
        : cancellation_(cancellation), context_(context) {
        if (cancellation_) cancellation_->add(context_);
    }
    ~CancellableCall() {
        if (cancellation_) cancellation_->remove(context_);
    }
    CancellableCall(const CancellableCall&) = delete;
    CancellableCall& operator=(const CancellableCall&) = delete;

private:
    CallCancellation* cancellation_;
    grpc::ClientContext* context_;
};

}  // namespace kt64::client
