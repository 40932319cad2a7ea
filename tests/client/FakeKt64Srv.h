// An in-process stand-in for the link server's IKt64Srv service: values a
// test sets or puts come back from the getters, any member can be made to
// fail with an error object, WaitForDeviceRead can be slowed down, the
// transfers advance a set number of bytes per progress poll, and leases are
// counted. FakeServerHost runs it on a loopback port with the server's
// channel settings.
#pragma once

#include <grpcpp/server.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "HResult.h"
#include "Kt64Srv.grpc.pb.h"

namespace kt64::test {

struct FakeState {
    double gmtTime = 0, locTime = 0, lineTime = 0, changeTimeZL = 0, changeTimeLZ = 0, syncTime = 0;
    std::uint64_t frames = 0;  // stamped readings answered
    double localOffset = 0;
    std::uint32_t alarmFlag = 0, setFlag = 0, comPort = 1, changeTimeOn = 0, enabled = 1;
    rpc::EKeyChg keyTimeZL = rpc::K_OSTNIEDZ, keyTimeLZ = rpc::K_OSTNIEDZ;
    rpc::EDigLine lineDigitType = rpc::D_GGMM;
    std::string serialNum, buildType;

    // Upload: the last image put and its VARTYPE; RozkazPos counts down by
    // uploadStep bytes per poll (everything at once when 0).
    std::uint32_t uploadedVt = 0;
    std::string uploaded;
    std::uint32_t sendRemaining = 0, uploadStep = 0;
    // Download: the image and VARTYPE GetRozkazy answers; RozkazRxPos counts
    // up by downloadStep bytes per poll after StartGetRozkazy.
    std::uint32_t imageVt = 0x2011;
    std::string image;
    std::uint32_t recvCount = 0, downloadStep = 0;
    // Both transfers stop moving.
    bool stalled = false;

    std::chrono::milliseconds waitDelay{0};
    int waits = 0;
    // Every injected failure ends with the wait that brings waits to this
    // count (the centre answers from then on); 0: never.
    int failuresEndAtWait = 0;
};

class FakeKt64Srv final : public rpc::IKt64Srv::WithCallbackMethod_Lease<rpc::IKt64Srv::Service> {
public:
    // Runs f on the state under the fake's lock.
    template <class F>
    auto edit(F f) {
        std::lock_guard lock(mutex_);
        return f(state_);
    }

    // The member (RPC name) fails from now on with this error object.
    void fail(const std::string& method, HRESULT hr, std::optional<std::string> description);

    int liveLeases() const { return liveLeases_; }
    int grantedLeases() const { return grantedLeases_; }
    std::string lastClient() const;

    // Lease reactors report here when they end.
    void leaseEnded() { --liveLeases_; }
    void leaseNamed(const std::string& client);

    grpc::ServerBidiReactor<rpc::LeaseRequest, rpc::LeaseGrant>* Lease(grpc::CallbackServerContext* context) override;

    grpc::Status GetSyncTime(grpc::ServerContext*, const rpc::Void*, rpc::SyncTimeOut*) override;
    // Answers and refuses as GetSyncTime (scripted under that name), each
    // call a new frame stamped now.
    grpc::Status GetSyncTimeStamped(grpc::ServerContext*, const rpc::Void*, rpc::SyncTimeStampedOut*) override;
    grpc::Status SetComPort(grpc::ServerContext*, const rpc::ComPortIn*, rpc::Void*) override;
    grpc::Status GetComPort(grpc::ServerContext*, const rpc::Void*, rpc::ComPortOut*) override;
    grpc::Status WaitForDeviceRead(grpc::ServerContext*, const rpc::Void*, rpc::Void*) override;
    grpc::Status GetGmtTime(grpc::ServerContext*, const rpc::Void*, rpc::DateOut*) override;
    grpc::Status PutGmtTime(grpc::ServerContext*, const rpc::DateIn*, rpc::Void*) override;
    grpc::Status GetLocTime(grpc::ServerContext*, const rpc::Void*, rpc::DateOut*) override;
    grpc::Status PutLocTime(grpc::ServerContext*, const rpc::DateIn*, rpc::Void*) override;
    grpc::Status GetLineTime(grpc::ServerContext*, const rpc::Void*, rpc::DateOut*) override;
    grpc::Status PutLineTime(grpc::ServerContext*, const rpc::DateIn*, rpc::Void*) override;
    grpc::Status GetAlarmFlag(grpc::ServerContext*, const rpc::Void*, rpc::ULongOut*) override;
    grpc::Status GetSetFlag(grpc::ServerContext*, const rpc::Void*, rpc::ULongOut*) override;
    grpc::Status PutSetFlag(grpc::ServerContext*, const rpc::ULongIn*, rpc::Void*) override;
    grpc::Status GetLocalOffset(grpc::ServerContext*, const rpc::Void*, rpc::DoubleOut*) override;
    grpc::Status PutLocalOffset(grpc::ServerContext*, const rpc::DoubleIn*, rpc::Void*) override;
    grpc::Status GetKeyTimeZL(grpc::ServerContext*, const rpc::Void*, rpc::KeyChgOut*) override;
    grpc::Status PutKeyTimeZL(grpc::ServerContext*, const rpc::KeyChgIn*, rpc::Void*) override;
    grpc::Status GetChangeTimeZL(grpc::ServerContext*, const rpc::Void*, rpc::DateOut*) override;
    grpc::Status PutChangeTimeZL(grpc::ServerContext*, const rpc::DateIn*, rpc::Void*) override;
    grpc::Status GetKeyTimeLZ(grpc::ServerContext*, const rpc::Void*, rpc::KeyChgOut*) override;
    grpc::Status PutKeyTimeLZ(grpc::ServerContext*, const rpc::KeyChgIn*, rpc::Void*) override;
    grpc::Status GetChangeTimeLZ(grpc::ServerContext*, const rpc::Void*, rpc::DateOut*) override;
    grpc::Status PutChangeTimeLZ(grpc::ServerContext*, const rpc::DateIn*, rpc::Void*) override;
    grpc::Status ComunicationEnable(grpc::ServerContext*, const rpc::ComunicationEnableIn*, rpc::Void*) override;
    grpc::Status GetSerialNum(grpc::ServerContext*, const rpc::Void*, rpc::StringOut*) override;
    grpc::Status PutSerialNum(grpc::ServerContext*, const rpc::StringIn*, rpc::Void*) override;
    grpc::Status GetBuildType(grpc::ServerContext*, const rpc::Void*, rpc::StringOut*) override;
    grpc::Status PutBuildType(grpc::ServerContext*, const rpc::StringIn*, rpc::Void*) override;
    grpc::Status GetLineDigitType(grpc::ServerContext*, const rpc::Void*, rpc::DigLineOut*) override;
    grpc::Status PutLineDigitType(grpc::ServerContext*, const rpc::DigLineIn*, rpc::Void*) override;
    grpc::Status PutChangeTimeOn(grpc::ServerContext*, const rpc::ULongIn*, rpc::Void*) override;
    grpc::Status GetRozkazy(grpc::ServerContext*, const rpc::Void*, rpc::VariantOut*) override;
    grpc::Status PutRozkazy(grpc::ServerContext*, const rpc::VariantIn*, rpc::Void*) override;
    grpc::Status GetRozkazPos(grpc::ServerContext*, const rpc::Void*, rpc::ULongOut*) override;
    grpc::Status StartGetRozkazy(grpc::ServerContext*, const rpc::Void*, rpc::Void*) override;
    grpc::Status GetRozkazRxPos(grpc::ServerContext*, const rpc::Void*, rpc::ULongOut*) override;

private:
    // The injected failure of method, or runs f on the state and answers OK.
    template <class F>
    grpc::Status answer(const char* method, F f);

    mutable std::mutex mutex_;
    FakeState state_;
    std::map<std::string, grpc::Status> failures_;
    std::string lastClient_;
    std::atomic<int> liveLeases_{0};
    std::atomic<int> grantedLeases_{0};
};

// The fake served on address ("127.0.0.1:0" picks a free port).
class FakeServerHost {
public:
    explicit FakeServerHost(FakeKt64Srv& service, const std::string& address = "127.0.0.1:0");
    ~FakeServerHost() { shutdown(); }

    int port() const { return port_; }
    // Ends the server: calls still running after grace are cancelled.
    void shutdown(std::chrono::milliseconds grace = std::chrono::milliseconds(0));

private:
    std::unique_ptr<grpc::Server> server_;
    int port_ = 0;
};

}  // namespace kt64::test
