#include "ClientLease.h"

#include "HandOff.h"

namespace kt64::client {

namespace {

// Half-close of a released lease: the server answers by ending the stream;
// one that does not within this time gets a cancellation instead.
constexpr std::chrono::milliseconds kReleaseGrace{1000};

// Delay before another attempt when a lease could not be re-taken.
constexpr std::chrono::milliseconds kRetakePause{500};
// Time a re-taken lease may take to be granted before it is tried anew.
constexpr std::chrono::milliseconds kRetakeGrant{3000};

}  // namespace

ClientLease::ClientLease(rpc::IKt64Srv::Stub& stub, const std::string& clientName, bool waitForReady,
                         CallCancellation* cancellation, std::function<void()> ended)
    : endedCallback_(std::move(ended)), cancellable_(cancellation, &context_) {
    context_.set_wait_for_ready(waitForReady);
    request_.set_client(clientName);
    stub.async()->Lease(&context_, this);
    // gRPC runs each callback after its operation was started and OnDone
    // last, through locks the race detector cannot see (HandOff.h).
    handOff(&request_);
    StartWrite(&request_);
    handOff(&grant_);
    StartRead(&grant_);
    handOff(this);
    AddHold();
    StartCall();
}

ClientLease::~ClientLease() { release(); }

grpc::Status ClientLease::awaitGrant(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [&] { return granted_ || ended_ || interrupted_; })) {
        lock.unlock();
        context_.TryCancel();
        return grpc::Status(grpc::StatusCode::DEADLINE_EXCEEDED, "no lease granted in time");
    }
    if (granted_) return grpc::Status::OK;
    if (!ended_) return grpc::Status(grpc::StatusCode::CANCELLED, "no longer waited for");
    // The stream ended before a grant: let it finish to learn why.
    letGo(lock);
    changed_.wait(lock, [&] { return done_; });
    return status_;
}

void ClientLease::interrupt() {
    std::lock_guard lock(mutex_);
    interrupted_ = true;
    changed_.notify_all();
}

bool ClientLease::held() const {
    std::lock_guard lock(mutex_);
    return granted_ && !ended_;
}

void ClientLease::release() {
    std::unique_lock lock(mutex_);
    if (!letGo_) {
        changed_.wait_for(lock, kReleaseGrace, [&] { return writeDone_ || ended_; });
        if (writeDone_ && writeOk_ && !ended_) {
            lock.unlock();
            StartWritesDone();
            lock.lock();
        }
        letGo(lock);
        changed_.wait_for(lock, kReleaseGrace, [&] { return done_; });
    }
    if (!done_) {
        lock.unlock();
        context_.TryCancel();
        lock.lock();
    }
    changed_.wait(lock, [&] { return finished_; });
}

void ClientLease::onEnded(std::function<void()> ended) {
    {
        std::lock_guard lock(mutex_);
        if (!ended_) {
            endedCallback_ = std::move(ended);
            return;
        }
    }
    ended();
}

void ClientLease::OnWriteDone(bool ok) {
    takeOver(&request_);
    std::lock_guard lock(mutex_);
    writeDone_ = true;
    writeOk_ = ok;
    changed_.notify_all();
}

void ClientLease::OnReadDone(bool ok) {
    takeOver(&grant_);
    if (ok) {
        {
            std::lock_guard lock(mutex_);
            granted_ = true;
            changed_.notify_all();
        }
        // Keep a read pending so that the server's end of the stream is seen.
        handOff(&grant_);
        StartRead(&grant_);
        return;
    }
    // The stream has ended (the server, the network or a cancellation):
    // OnDone waits for the owner to let go.
    std::function<void()> ended;
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
        ended = std::move(endedCallback_);
        changed_.notify_all();
    }
    // OnDone cannot run before this returns: the object lives.
    if (ended) ended();
}

void ClientLease::OnDone(const grpc::Status& status) {
    takeOver(this);
    {
        std::lock_guard lock(mutex_);
        status_ = status;
        done_ = true;
        changed_.notify_all();
    }
    // Only now may release() return and the owner destroy the object.
    std::lock_guard lock(mutex_);
    finished_ = true;
    changed_.notify_all();
}

void ClientLease::letGo(std::unique_lock<std::mutex>& lock) {
    if (letGo_) return;
    letGo_ = true;
    lock.unlock();
    RemoveHold();
    lock.lock();
}

LeaseKeeper::~LeaseKeeper() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        if (lease_) lease_->interrupt();
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    // The lease in force is released in order (half-close, grace).
    std::unique_ptr<ClientLease> last;
    {
        std::lock_guard lock(mutex_);
        last = std::move(lease_);
    }
    last.reset();
}

std::unique_ptr<ClientLease> LeaseKeeper::attempt(bool waitForReady) {
    return std::make_unique<ClientLease>(*stub_, clientName_, waitForReady, cancellation_);
}

void LeaseKeeper::keep(std::unique_ptr<ClientLease> granted) {
    ClientLease* first = granted.get();
    {
        std::lock_guard lock(mutex_);
        lease_ = std::move(granted);
    }
    thread_ = std::thread([this] { run(); });
    first->onEnded([this] { leaseEnded(); });
}

bool LeaseKeeper::held() const {
    std::lock_guard lock(mutex_);
    return lease_ && lease_->held();
}

void LeaseKeeper::leaseEnded() {
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
    }
    changed_.notify_all();
}

void LeaseKeeper::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || ended_; });
        if (stopping_) return;
        ended_ = false;
        // The ended lease is done: destroy it outside the lock, then
        // put a new one, waiting for the connection, in its place.
        auto old = std::move(lease_);
        lock.unlock();
        old.reset();
        auto fresh = std::make_unique<ClientLease>(*stub_, clientName_, true, cancellation_, [this] { leaseEnded(); });
        lock.lock();
        lease_ = std::move(fresh);
        if (stopping_) return;
        ClientLease* current = lease_.get();
        lock.unlock();
        const bool granted = current->awaitGrant(kRetakeGrant).ok();
        lock.lock();
        // A grant that did not come in time was cancelled; its end, which
        // brings the next attempt, is on its way.
        if (!granted && !stopping_) changed_.wait_for(lock, kRetakePause, [&] { return stopping_.load(); });
    }
}

}  // namespace kt64::client
