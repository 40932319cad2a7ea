// The cancellation of a client's calls; see the header. TryCancel is safe on
// a context whose call has not started or has ended; the lock keeps a
// context from being removed (and destroyed) while it is cancelled.
#include "CallCancellation.h"

namespace kt64::client {

void CallCancellation::cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    for (auto* context : calls_) context->TryCancel();
}

bool CallCancellation::cancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

void CallCancellation::add(grpc::ClientContext* context) {
    std::lock_guard lock(mutex_);
    calls_.insert(context);
    if (cancelled_) context->TryCancel();
}

void CallCancellation::remove(grpc::ClientContext* context) {
    std::lock_guard lock(mutex_);
    calls_.erase(context);
}

}  // namespace kt64::client
