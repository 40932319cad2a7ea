// Lease stream reactor. Finish may not overlap the pending grant write, so an
// end seen while the grant is still being written is finished from
// OnWriteDone. gRPC runs each callback after the operation it completes was
// started, and OnDone after all of them, through locks the race detector
// cannot see: those orders are stated with HandOff.h, each message the
// token of its operation, the reactor that of the end.
#include "LeaseReactor.h"

#include "CallerLimits.h"
#include "ErrorStatus.h"
#include "HandOff.h"

namespace kt64::server {

LeaseReactor::LeaseReactor(ShutdownMonitor& monitor, std::string caller, LogSink log, std::function<void()> ended)
    : monitor_(monitor), caller_(std::move(caller)), log_(std::move(log)), ended_(std::move(ended)) {
    monitor_.leaseStarted();
    grant_.set_leases(static_cast<std::uint32_t>(monitor_.leases()));
    handOff(&grant_);
    StartWrite(&grant_);
    handOff(&request_);
    StartRead(&request_);
}

void LeaseReactor::OnReadDone(bool ok) {
    takeOver(&request_);
    grpc::Status status = grpc::Status::OK;
    if (ok && request_.client().size() > kLongestClientName) {
        // Nothing a client of ours sends; the name would only fill the log.
        ok = false;
        status = rpc::errorStatus(E_INVALIDARG, "Nazwa klienta jest dłuższa niż " + std::to_string(kLongestClientName) +
                                                    " bajtów; połączenie zakończono.");
    }
    if (ok) {
        if (holder_.empty() && log_) {
            holder_ = request_.client().empty() ? std::string("a client") : request_.client();
            log_(LogLevel::Debug, "lease taken by " + holder_ + " at " + caller_);
        }
        // The holder's name only; keep listening for the end of the stream.
        handOff(&request_);
        StartRead(&request_);
        return;
    }
    std::unique_lock lock(mutex_);
    if (writing_) {
        finishWanted_ = true;
        endStatus_ = status;
        return;
    }
    lock.unlock();
    finishOnce(status);
}

void LeaseReactor::OnWriteDone(bool) {
    takeOver(&grant_);
    std::unique_lock lock(mutex_);
    writing_ = false;
    if (!finishWanted_) return;
    const grpc::Status status = endStatus_;
    lock.unlock();
    finishOnce(status);
}

void LeaseReactor::finishOnce(grpc::Status status) {
    {
        std::lock_guard lock(mutex_);
        if (finished_) return;
        finished_ = true;
    }
    handOff(this);
    Finish(status);
}

void LeaseReactor::OnDone() {
    takeOver(this);
    if (log_)
        log_(LogLevel::Debug, "lease of " + (holder_.empty() ? "a client" : holder_) + " at " + caller_ + " ended");
    monitor_.leaseEnded();
    if (ended_) ended_();
    delete this;
}

}  // namespace kt64::server
