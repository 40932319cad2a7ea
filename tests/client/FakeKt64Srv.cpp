// The fake IKt64Srv service and its host.
#include "FakeKt64Srv.h"

#include <grpcpp/server_builder.h>
#include <grpcpp/security/server_credentials.h>

#include <algorithm>
#include <thread>

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

}  // namespace

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

grpc::ServerBidiReactor<rpc::LeaseRequest, rpc::LeaseGrant>* FakeKt64Srv::Lease(grpc::CallbackServerContext*) {
    ++grantedLeases_;
    return new LeaseReactor(*this, ++liveLeases_);
}

template <class F>
grpc::Status FakeKt64Srv::answer(const char* method, F f) {
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

// The plain members: a getter answers one state field, a setter stores its
// argument in one (after any injected failure).
#define KT64_FAKE_GET(Method, Out, field, member)                                             \
    grpc::Status FakeKt64Srv::Method(grpc::ServerContext*, const rpc::Void*, rpc::Out* out) { \
        return answer(#Method, [&](FakeState& s) { out->set_##field(s.member); });            \
    }
#define KT64_FAKE_PUT(Method, In, field, member)                                            \
    grpc::Status FakeKt64Srv::Method(grpc::ServerContext*, const rpc::In* in, rpc::Void*) { \
        return answer(#Method, [&](FakeState& s) { s.member = in->field(); });              \
    }

KT64_FAKE_GET(GetSyncTime, SyncTimeOut, time, syncTime)
KT64_FAKE_GET(GetComPort, ComPortOut, portno, comPort)

grpc::Status FakeKt64Srv::GetSyncTimeStamped(grpc::ServerContext*, const rpc::Void*, rpc::SyncTimeStampedOut* out) {
    return answer("GetSyncTime", [&](FakeState& s) {
        const auto now =
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count();
        out->set_time(s.syncTime);
        out->set_framemonotonicns(now);
        out->set_framerealtimens(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
                .count());
        out->set_frameno(++s.frames);
        out->set_servermonotonicns(now);
        out->set_requestmonotonicns(now);
    });
}
KT64_FAKE_GET(GetGmtTime, DateOut, pval, gmtTime)
KT64_FAKE_GET(GetLocTime, DateOut, pval, locTime)
KT64_FAKE_GET(GetLineTime, DateOut, pval, lineTime)
KT64_FAKE_GET(GetAlarmFlag, ULongOut, pval, alarmFlag)
KT64_FAKE_GET(GetSetFlag, ULongOut, pval, setFlag)
KT64_FAKE_GET(GetLocalOffset, DoubleOut, pval, localOffset)
KT64_FAKE_GET(GetKeyTimeZL, KeyChgOut, pval, keyTimeZL)
KT64_FAKE_GET(GetChangeTimeZL, DateOut, pval, changeTimeZL)
KT64_FAKE_GET(GetKeyTimeLZ, KeyChgOut, pval, keyTimeLZ)
KT64_FAKE_GET(GetChangeTimeLZ, DateOut, pval, changeTimeLZ)
KT64_FAKE_GET(GetSerialNum, StringOut, pval, serialNum)
KT64_FAKE_GET(GetBuildType, StringOut, pval, buildType)
KT64_FAKE_GET(GetLineDigitType, DigLineOut, pval, lineDigitType)

KT64_FAKE_PUT(SetComPort, ComPortIn, portno, comPort)
KT64_FAKE_PUT(PutGmtTime, DateIn, newval, gmtTime)
KT64_FAKE_PUT(PutLocTime, DateIn, newval, locTime)
KT64_FAKE_PUT(PutLineTime, DateIn, newval, lineTime)
KT64_FAKE_PUT(PutSetFlag, ULongIn, newval, setFlag)
KT64_FAKE_PUT(PutLocalOffset, DoubleIn, newval, localOffset)
KT64_FAKE_PUT(PutKeyTimeZL, KeyChgIn, newval, keyTimeZL)
KT64_FAKE_PUT(PutChangeTimeZL, DateIn, newval, changeTimeZL)
KT64_FAKE_PUT(PutKeyTimeLZ, KeyChgIn, newval, keyTimeLZ)
KT64_FAKE_PUT(PutChangeTimeLZ, DateIn, newval, changeTimeLZ)
KT64_FAKE_PUT(ComunicationEnable, ComunicationEnableIn, enabled, enabled)
KT64_FAKE_PUT(PutSerialNum, StringIn, newval, serialNum)
KT64_FAKE_PUT(PutBuildType, StringIn, newval, buildType)
KT64_FAKE_PUT(PutLineDigitType, DigLineIn, newval, lineDigitType)
KT64_FAKE_PUT(PutChangeTimeOn, ULongIn, newval, changeTimeOn)

#undef KT64_FAKE_GET
#undef KT64_FAKE_PUT

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
