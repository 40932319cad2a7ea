// The fake IKt64Srv service and its host.
#include "FakeKt64Srv.h"

#include <grpcpp/server_builder.h>
#include <grpcpp/security/server_credentials.h>

#include <algorithm>
#include <cctype>
#include <thread>
#include <type_traits>

#include "ChannelSettings.h"
#include "ErrorStatus.h"
#include "HandOff.h"
#include "LocalSockets.h"
#include "Loopback.h"

namespace kt64::test {

namespace {

// One lease: grant at once, keep reading until the client half-closes,
// then finish; a cancelled or dropped client ends it too. Finish waits for
// the grant's write to complete.
class LeaseReactor : public grpc::ServerBidiReactor<rpc::LeaseRequest, rpc::LeaseGrant> {
public:
    LeaseReactor(FakeKt64Srv& owner, int leases) : owner_(owner) {
        grant_.set_leases(static_cast<std::uint32_t>(leases));
        // The orders gRPC keeps, stated for the race detector as in the
        // server's own reactor.
        handOff(&grant_);
        StartWrite(&grant_);
        handOff(&request_);
        StartRead(&request_);
    }

    void OnReadDone(bool ok) override {
        takeOver(&request_);
        if (ok) {
            owner_.leaseNamed(request_.client());
            handOff(&request_);
            StartRead(&request_);
        } else {
            finish(grpc::Status::OK);
        }
    }
    void OnWriteDone(bool) override {
        takeOver(&grant_);
        std::unique_lock lock(mutex_);
        writing_ = false;
        if (!wanted_) return;
        lock.unlock();
        finish(*wanted_);
    }
    void OnCancel() override { finish(grpc::Status::CANCELLED); }
    void OnDone() override {
        takeOver(this);
        owner_.leaseEnded();
        delete this;
    }

private:
    void finish(const grpc::Status& status) {
        std::lock_guard lock(mutex_);
        if (finished_) return;
        if (writing_) {
            wanted_ = status;
            return;
        }
        finished_ = true;
        handOff(this);
        Finish(status);
    }

    FakeKt64Srv& owner_;
    rpc::LeaseGrant grant_;
    rpc::LeaseRequest request_;
    std::mutex mutex_;
    bool writing_ = true;
    bool finished_ = false;
    std::optional<grpc::Status> wanted_;
};

// The members served by hand, for what they do besides one value.
template <class Row>
constexpr bool kServedByHand =
    Row::kind != ids::CallKind::Unary || std::is_same_v<Row, members::GetSyncTimeStamped> ||
    std::is_same_v<Row, members::GetRozkazy> || std::is_same_v<Row, members::PutRozkazy> ||
    std::is_same_v<Row, members::GetRozkazPos> || std::is_same_v<Row, members::StartGetRozkazy> ||
    std::is_same_v<Row, members::GetRozkazRxPos>;

}  // namespace

std::string_view propertyOf(std::string_view member) {
    for (std::string_view prefix : {"Get", "Put", "Set"})
        if (member.size() > prefix.size() && member.starts_with(prefix) &&
            std::isupper(static_cast<unsigned char>(member[prefix.size()])))
            return member.substr(prefix.size());
    return member;
}

FakeState::FakeState() {
    // As a fresh server: port 1, communication on.
    value<members::GetComPort>() = 1;
    value<members::ComunicationEnable>() = 1;
}

FakeKt64Srv::FakeKt64Srv() {
    members::All::forEach([this]<class Row>() {
        if constexpr (!kServedByHand<Row>)
            serveUnary<Row>(
                [this](grpc::CallbackServerContext* c, const typename Row::Request* in, typename Row::Answer* out) {
                    auto* reactor = c->DefaultReactor();
                    reactor->Finish(serveValue<Row>(*in, *out));
                    return reactor;
                });
    });
    serveStream<members::Lease>([this](grpc::CallbackServerContext*) {
        ++grantedLeases_;
        return new LeaseReactor(*this, ++liveLeases_);
    });
}

template <class Row>
grpc::Status FakeKt64Srv::serveValue(const typename Row::Request& in, typename Row::Answer& out) {
    return answer(Row::name, [&](FakeState& s) {
        if constexpr (!std::is_same_v<typename Row::Answer, rpc::Void>) rpc::setValue(out, s.value<Row>());
        if constexpr (!std::is_same_v<typename Row::Request, rpc::Void>) s.value<Row>() = rpc::valueOf(in);
    });
}

void FakeKt64Srv::fail(const std::string& method, HRESULT hr, std::optional<std::string> description) {
    std::lock_guard lock(mutex_);
    failures_[method] =
        rpc::errorStatus(hr, description ? std::optional<std::string_view>(*description) : std::nullopt);
}

std::string FakeKt64Srv::lastClient() const {
    std::lock_guard lock(mutex_);
    return lastClient_;
}

void FakeKt64Srv::leaseNamed(const std::string& client) {
    std::lock_guard lock(mutex_);
    lastClient_ = client;
}

template <class F>
grpc::Status FakeKt64Srv::answer(std::string_view method, F f) {
    std::lock_guard lock(mutex_);
    if (auto it = failures_.find(method); it != failures_.end()) return it->second;
    f(state_);
    return grpc::Status::OK;
}

grpc::Status FakeKt64Srv::WaitForDeviceRead(grpc::ServerContext* context, const rpc::Void*, rpc::Void*) {
    std::chrono::milliseconds delay;
    {
        std::lock_guard lock(mutex_);
        if (auto it = failures_.find("WaitForDeviceRead"); it != failures_.end()) return it->second;
        delay = state_.waitDelay;
        if (++state_.waits == state_.failuresEndAtWait) failures_.clear();
    }
    // Sleeps in small steps so that a cancelled call (deadline, shutdown)
    // frees its thread.
    auto end = std::chrono::steady_clock::now() + delay;
    while (std::chrono::steady_clock::now() < end && !context->IsCancelled())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return grpc::Status::OK;
}

grpc::Status FakeKt64Srv::GetSyncTimeStamped(grpc::ServerContext*, const rpc::Void*, rpc::SyncTimeStampedOut* out) {
    return answer("GetSyncTime", [&](FakeState& s) {
        const auto now =
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count();
        out->set_time(s.value<members::GetSyncTime>());
        out->set_framemonotonicns(now);
        out->set_framerealtimens(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
                .count());
        out->set_frameno(++s.frames);
        out->set_servermonotonicns(now);
        out->set_requestmonotonicns(now);
    });
}
grpc::Status FakeKt64Srv::GetRozkazy(grpc::ServerContext*, const rpc::Void*, rpc::VariantOut* out) {
    return answer("GetRozkazy", [&](FakeState& s) {
        out->mutable_pval()->set_vt(s.imageVt);
        out->mutable_pval()->set_parray(s.image);
    });
}

grpc::Status FakeKt64Srv::PutRozkazy(grpc::ServerContext*, const rpc::VariantIn* in, rpc::Void*) {
    {
        // The server's first test: only VT_ARRAY | VT_UI1 is a command list.
        std::lock_guard lock(mutex_);
        state_.uploadedVt = in->newval().vt();
        if (in->newval().vt() != 0x2011) return rpc::errorStatus(E_KT64_FRAME, text::kBadData);
    }
    return answer("PutRozkazy", [&](FakeState& s) {
        s.uploaded = in->newval().parray();
        s.sendRemaining = static_cast<std::uint32_t>(s.uploaded.size());
    });
}

grpc::Status FakeKt64Srv::GetRozkazPos(grpc::ServerContext*, const rpc::Void*, rpc::ULongOut* out) {
    return answer("GetRozkazPos", [&](FakeState& s) {
        if (!s.stalled)
            s.sendRemaining = s.uploadStep == 0 ? 0 : s.sendRemaining - std::min(s.sendRemaining, s.uploadStep);
        out->set_pval(s.sendRemaining);
    });
}

grpc::Status FakeKt64Srv::StartGetRozkazy(grpc::ServerContext*, const rpc::Void*, rpc::Void*) {
    return answer("StartGetRozkazy", [&](FakeState& s) { s.recvCount = 0; });
}

grpc::Status FakeKt64Srv::GetRozkazRxPos(grpc::ServerContext*, const rpc::Void*, rpc::ULongOut* out) {
    return answer("GetRozkazRxPos", [&](FakeState& s) {
        if (!s.stalled)
            s.recvCount = s.downloadStep == 0 ? 2905 : std::min<std::uint32_t>(2905, s.recvCount + s.downloadStep);
        out->set_pval(s.recvCount);
    });
}

FakeServerHost::FakeServerHost(FakeKt64Srv& service, const std::string& address) {
    // As the link server does, the fake listens on the local sockets of its
    // port too, where the clients look for this computer's server; a free
    // port is picked first, as the socket's name carries it.
    std::string tcp = address;
    if (tcp.ends_with(":0")) tcp = tcp.substr(0, tcp.size() - 1) + std::to_string(test::freeTcpPort());
    const auto port = static_cast<std::uint16_t>(std::stoi(tcp.substr(tcp.rfind(':') + 1)));
    grpc::ServerBuilder builder;
    builder.AddListeningPort(tcp, grpc::InsecureServerCredentials(), &port_);
    for (auto which : {rpc::LocalSocket::Control, rpc::LocalSocket::Read})
        builder.AddListeningPort("unix:" + rpc::localSocketPath(which, port).string(),
                                 grpc::InsecureServerCredentials());
    rpc::applyServerChannelSettings(builder);
    builder.RegisterService(&service);
    server_ = builder.BuildAndStart();
}

void FakeServerHost::shutdown(std::chrono::milliseconds grace) {
    if (!server_) return;
    server_->Shutdown(std::chrono::system_clock::now() + grace);
    server_->Wait();
    server_.reset();
}

}  // namespace kt64::test
