// An in-process stand-in for the link server's IKt64Srv service: values a
// test sets or puts come back from the getters (every member of the member
// table that gets or puts one value is served so, by its row), any member can be made to
// fail with an error object, WaitForDeviceRead can be slowed down, the
// transfers advance a set number of bytes per progress poll, and leases are
// counted. FakeServerHost runs it on a loopback port with the server's
// channel settings.
#pragma once

#include <grpcpp/server.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <any>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "HResult.h"
#include "InterfaceService.h"
#include "MessageValues.h"

namespace kt64::test {

// The property a getter or setter reads or writes: its name without Get,
// Put or Set ("ComPort" for SetComPort and GetComPort); a method's own name.
std::string_view propertyOf(std::string_view member);

// The value of the property a row gets or puts, as its message carries it.
template <class Row>
struct PropertyOf {
    using type = rpc::ValueOf<typename Row::Request>;
};
template <class Row>
requires std::is_same_v<typename Row::Request, rpc::Void>
struct PropertyOf<Row> {
    using type = rpc::ValueOf<typename Row::Answer>;
};
template <class Row>
using PropertyValue = typename PropertyOf<Row>::type;

struct FakeState {
    FakeState();

    // The property row gets or puts, e.g. value<members::GetComPort>()
    // (0, "" or the first enumerator until set). A getter and its setter
    // share it.
    template <class Row>
    PropertyValue<Row>& value() {
        auto& slot = values[std::string(propertyOf(Row::name))];
        if (!slot.has_value()) slot = PropertyValue<Row>{};
        return std::any_cast<PropertyValue<Row>&>(slot);
    }
    std::map<std::string, std::any, std::less<>> values;

    std::uint64_t frames = 0;  // stamped readings answered

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

class FakeKt64Srv final : public rpc::InterfaceService {
public:
    FakeKt64Srv();

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

    // The members with more to them than one value (synchronous handlers:
    // a wait may sleep).
    // Answers and refuses as GetSyncTime (scripted under that name), each
    // call a new frame stamped now.
    grpc::Status GetSyncTimeStamped(grpc::ServerContext*, const rpc::Void*, rpc::SyncTimeStampedOut*) override;
    grpc::Status WaitForDeviceRead(grpc::ServerContext*, const rpc::Void*, rpc::Void*) override;
    grpc::Status GetRozkazy(grpc::ServerContext*, const rpc::Void*, rpc::VariantOut*) override;
    grpc::Status PutRozkazy(grpc::ServerContext*, const rpc::VariantIn*, rpc::Void*) override;
    grpc::Status GetRozkazPos(grpc::ServerContext*, const rpc::Void*, rpc::ULongOut*) override;
    grpc::Status StartGetRozkazy(grpc::ServerContext*, const rpc::Void*, rpc::Void*) override;
    grpc::Status GetRozkazRxPos(grpc::ServerContext*, const rpc::Void*, rpc::ULongOut*) override;

private:
    // The injected failure of method, or runs f on the state and answers OK.
    template <class F>
    grpc::Status answer(std::string_view method, F f);
    // A member of the table that gets or puts one value.
    template <class Row>
    grpc::Status serveValue(const typename Row::Request& in, typename Row::Answer& out);

    mutable std::mutex mutex_;
    FakeState state_;
    std::map<std::string, grpc::Status, std::less<>> failures_;
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
