// Lease stream reactor. Finish may not overlap the pending grant write, so an
// end seen while the grant is still being written is finished from
// OnWriteDone.
#include "LeaseReactor.h"

namespace kt64::server {

LeaseReactor::LeaseReactor(ShutdownMonitor& monitor) : monitor_(monitor) {
    monitor_.leaseStarted();
    grant_.set_leases(static_cast<std::uint32_t>(monitor_.leases()));
    StartWrite(&grant_);
    StartRead(&request_);
}

void LeaseReactor::OnReadDone(bool ok) {
    if (ok) {
        // The holder's name only; keep listening for the end of the stream.
        StartRead(&request_);
        return;
    }
    std::unique_lock lock(mutex_);
    if (writing_) {
        finishWanted_ = true;
        return;
    }
    lock.unlock();
    finishOnce();
}

void LeaseReactor::OnWriteDone(bool) {
    std::unique_lock lock(mutex_);
    writing_ = false;
    if (!finishWanted_) return;
    lock.unlock();
    finishOnce();
}

void LeaseReactor::finishOnce() {
    {
        std::lock_guard lock(mutex_);
        if (finished_) return;
        finished_ = true;
    }
    Finish(grpc::Status::OK);
}

void LeaseReactor::OnDone() {
    monitor_.leaseEnded();
    delete this;
}

}  // namespace kt64::server
