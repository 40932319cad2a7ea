// The server through its real gRPC interface, with the emulated centre on a
// pty and the client library every client program uses: values and error
// objects, two clients at once (a waiting client does not hold the other
// up), leases, transfers with progress and failures, a missing device.
#include <grpcpp/generic/generic_stub.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <set>
#include <random>
#include <thread>

#include "CentreEmulator.h"
#include "Kt64Client.h"
#include "Kt64SrvIds.h"
#include "PortOpener.h"
#include "Registry.h"
#include "RpcServer.h"
#include "SerialPortError.h"
#include "ErrorStatus.h"
#include "UndecodableCalls.h"
#include "ServerRig.h"
#include "InProcessServer.h"
#include "Loopback.h"

namespace kt64::test {
namespace {

using namespace std::chrono_literals;
using client::ServerError;

// The program's assembly, listening on the loopback only, on a free port;
// COM9 names a device that does not exist.
struct RpcRig : InProcessServer {
    RpcRig() {
        reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv\\Devices")
            .setString("COM9", (registry.dir() / "no-such-tty").string());
        listen();
    }
};

template <class F>
std::optional<ServerError> errorOf(F&& call) {
    try {
        call();
    } catch (const ServerError& e) {
        return e;
    }
    return std::nullopt;
}

void expectServerError(const std::optional<ServerError>& e, HRESULT code, std::string_view text) {
    ASSERT_TRUE(e) << "no error for " << text;
    EXPECT_EQ(static_cast<std::uint32_t>(e->code()), static_cast<std::uint32_t>(code)) << text;
    EXPECT_EQ(e->description(), std::optional<std::string>(std::string(text)));
    EXPECT_EQ(e->source(), ids::kProgId);
    EXPECT_EQ(e->guid(), ids::kIid);
}

bool statusValid(client::ServerProxy& c) {
    return !errorOf([&] { c.GetGmtTime(); });
}

TEST(ServerRpc, AnswersFromTheCentreAndCarriesTheErrorObject) {
    RpcRig rig;
    auto c = rig.connect();
    ASSERT_TRUE(eventually([&] { return statusValid(*c); }));
    EXPECT_EQ(c->GetBuildType(), "KT-64/GPS/2/232 V1.2");
    EXPECT_EQ(c->GetSerialNum(), "01/2345");
    EXPECT_NEAR(c->GetLocalOffset(), 1.0 / 24, 1e-9);
    EXPECT_NO_THROW(c->GetSyncTime());
    // The frame's stamps travel with the time, and the frame is not from
    // the future on either clock.
    const auto stamped = c->GetSyncTimeStamped();
    EXPECT_GE(stamped.FrameNo, 1u);
    EXPECT_LE(stamped.FrameMonotonicNs, stamped.ServerMonotonicNs);
    EXPECT_GT(stamped.RequestMonotonicNs, 0);
    EXPECT_LE(stamped.RequestMonotonicNs, stamped.FrameMonotonicNs);
    EXPECT_LE(stamped.FrameRealtimeNs,
              std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
                  .count());
    EXPECT_LE(stamped.sent, stamped.received);

    c->PutLocalOffset(-0.5 / 24);
    EXPECT_TRUE(eventually([&] { return std::abs(c->GetLocalOffset() + 0.5 / 24) < 1e-9; }));

    expectServerError(errorOf([&] { c->PutSerialNum("12-3456"); }), E_KT64_FRAME, text::kBadDataDot);
    expectServerError(errorOf([&] { c->GetRozkazy(); }), E_KT64_BUSY, text::kBusyDot);
    const std::vector<std::uint8_t> image(2905, 0);
    expectServerError(errorOf([&] { c->PutRozkazy(image, 0x200C); }), E_KT64_FRAME, text::kBadData);
    expectServerError(errorOf([&] { c->PutGmtTime(*makeDate(2100, 1, 1)); }), E_KT64_FRAME, text::kBadSetData);
}

// Sixteen clients calling PutSetFlag as fast as they can must not bury
// another client's setting: the queue holds at most one line frame, so the
// local offset reaches the centre within a few exchanges.
TEST(ServerRpc, FloodingSetFlagCannotStarveAnotherSetting) {
    RpcRig rig;
    auto c = rig.connect();
    ASSERT_TRUE(eventually([&] { return statusValid(*c); }));
    std::atomic<bool> flooding{true};
    std::atomic<std::uint64_t> calls{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < 16; ++i)
        clients.emplace_back([&, i] {
            auto flooder = rig.connect();
            while (flooding) {
                flooder->PutSetFlag(i % 2 ? 0x0C : 0x04);
                ++calls;
            }
        });
    std::size_t longest = 0;
    const auto sample = [&] {
        longest = std::max(longest, rig.device.queued().size());
        return calls.load() > 2000;
    };
    const bool flooded = eventually(sample, 60s);
    const auto put = std::chrono::steady_clock::now();
    c->PutLocalOffset(-3.0 / 24);
    const bool arrived = eventually([&] {
        sample();
        return rig.emulator->view().settings.offsetMinutes == -180;
    });
    const double tookMs = secondsSince(put) * 1000.0;
    flooding = false;
    for (auto& t : clients) t.join();
    std::printf(
        "%llu PutSetFlag calls from 16 clients; longest queue %zu; the offset reached the centre %.0f ms "
        "after its put\n",
        static_cast<unsigned long long>(calls.load()), longest, tookMs);
    ASSERT_TRUE(flooded) << calls.load() << " calls";
    EXPECT_TRUE(arrived);
    EXPECT_LE(longest, 2u) << "one line frame and the parameters at most";
}

// Values that are no offset at all are refused with the fixed text and
// nothing is sent; undecodable text and bodies get the interface's refusal
// with its error object, never "not implemented".
TEST(ServerRpc, BadValuesAreRefusedNotTurnedIntoOthers) {
    RpcRig rig;
    auto c = rig.connect();
    ASSERT_TRUE(eventually([&] { return statusValid(*c); }));
    for (const double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300, -1e300, 1.0, -25.0 / 24}) {
        SCOPED_TRACE(bad);
        expectServerError(errorOf([&] { c->PutLocalOffset(bad); }), E_KT64_FRAME, text::kBadSetData);
        EXPECT_TRUE(rig.device.queued().empty()) << "nothing sent";
    }
    c->PutLocalOffset(-23.5 / 24);  // the largest offsets are still good ones
    EXPECT_TRUE(eventually([&] { return rig.emulator->view().settings.offsetMinutes == -(23 * 60 + 30); }));
}

TEST(ServerRpc, AWaitingClientDoesNotHoldAnotherUp) {
    RpcRig rig;
    auto waiter = rig.connect();
    auto other = rig.connect();
    EXPECT_EQ(rig.leases.leases(), 2u);
    ASSERT_TRUE(eventually([&] { return statusValid(*other); }));
    waiter->ComunicationEnable(0);
    ASSERT_TRUE(eventually([&] { return rig.worker.state() == server::W_PAUSE; }));

    // While paused every wait lasts up to about 1.05 s.
    std::atomic<bool> waiting{true};
    std::atomic<int> released{0};
    std::thread t([&] {
        for (int i = 0; i < 3; ++i)
            if (!errorOf([&] { waiter->WaitForDeviceRead(); })) ++released;
        waiting = false;
    });
    double slowest = 0;
    int calls = 0;
    while (waiting) {
        const auto start = std::chrono::steady_clock::now();
        other->GetSetFlag();
        slowest = std::max(slowest, secondsSince(start));
        ++calls;
        std::this_thread::sleep_for(20ms);
    }
    t.join();
    EXPECT_EQ(released, 3);
    EXPECT_GT(calls, 20);
    EXPECT_LT(slowest, 0.5) << "a call waited behind WaitForDeviceRead";
    expectServerError(errorOf([&] { other->GetGmtTime(); }), E_KT64_PAUSED, text::kPaused);
    other->ComunicationEnable(1);
    EXPECT_TRUE(eventually([&] { return statusValid(*other); }));
}

TEST(ServerRpc, LeasesLastAsLongAsTheClientObjects) {
    RpcRig rig;
    EXPECT_EQ(rig.leases.leases(), 0u);
    auto first = rig.connect();
    auto second = rig.connect();
    EXPECT_EQ(rig.leases.leases(), 2u);
    first.reset();
    EXPECT_TRUE(eventually([&] { return rig.leases.leases() == 1; }));
    second.reset();
    EXPECT_TRUE(eventually([&] { return rig.leases.leases() == 0; }));
}

TEST(ServerRpc, TransfersShowProgressAndFailures) {
    RpcRig rig;
    auto c = rig.connect();
    ASSERT_TRUE(eventually([&] { return statusValid(*c); }));
    std::mt19937 gen(testSeed("image"));
    std::vector<std::uint8_t> image(2905);
    for (auto& b : image) b = static_cast<std::uint8_t>(gen());

    // Answers 2 ms late: the upload lasts about a second, long enough for
    // polls to see it under way however loaded the machine.
    rig.emulator->setFault(*sim::parseFault("late 2"));
    const auto started = std::chrono::steady_clock::now();
    c->PutRozkazy(image);
    std::set<std::uint32_t> seen;
    ASSERT_TRUE(eventually(
        [&] {
            auto pos = c->GetRozkazPos();
            seen.insert(pos);
            return pos == 0;
        },
        60s));
    std::printf("upload: %.0f ms, %zu positions seen\n", secondsSince(started) * 1000.0, seen.size());
    rig.emulator->setFault({});
    EXPECT_EQ(rig.emulator->image(), image);
    EXPECT_GT(seen.size(), 2u) << "progress between 2905 and 0";

    c->StartGetRozkazy();
    ASSERT_TRUE(eventually([&] { return c->GetRozkazRxPos() == 2905; }, 60s));
    const auto got = c->GetRozkazy();
    EXPECT_EQ(got.vt, 0x2011u);
    EXPECT_EQ(got.bytes, image);

    rig.emulator->setFault(*sim::parseFault("ack-refuse 40"));
    c->PutRozkazy(image);
    std::optional<ServerError> failure;
    ASSERT_TRUE(eventually(
        [&] {
            failure = errorOf([&] { c->GetRozkazPos(); });
            return failure.has_value();
        },
        60s));
    expectServerError(failure, E_KT64_CHECKSUM, text::kTransferChecksum);

    c->StartGetRozkazy();
    ASSERT_TRUE(eventually([&] { return errorOf([&] { c->GetRozkazRxPos(); }).has_value(); }, 60s));
    expectServerError(errorOf([&] { c->GetRozkazRxPos(); }), E_KT64_CHECKSUM, text::kTransferChecksum);
    expectServerError(errorOf([&] { c->GetRozkazy(); }), E_KT64_BUSY, text::kBusyDot);
}

TEST(ServerRpc, AMissingDeviceGivesThePortErrorUntilAnotherPortIsSet) {
    RpcRig rig;
    auto c = rig.connect();
    ASSERT_TRUE(eventually([&] { return statusValid(*c); }));
    c->SetComPort(9);
    EXPECT_EQ(c->GetComPort(), 9u);
    std::optional<ServerError> e;
    ASSERT_TRUE(eventually([&] {
        e = errorOf([&] { c->GetBuildType(); });
        return e && e->code() == E_KT64_PORT;
    }));
    // The text names the device that was tried.
    expectServerError(e, E_KT64_PORT,
                      serial::systemText(ENOENT) + " (" + (rig.registry.dir() / "no-such-tty").string() + ")");
    c->SetComPort(1);
    EXPECT_TRUE(eventually([&] { return statusValid(*c); }));
}

// The lease lives on one connection; when it drops while the client object
// lives, the client takes a new lease at once, well before the server's 5 s
// run out, and its calls go on.
TEST(ServerRpc, ALeaseIsTakenAgainWhenItsConnectionDrops) {
    RpcRig rig;
    TcpRelay relay(static_cast<std::uint16_t>(rig.server.port()));
    client::ConnectOptions overTcp;  // the relay's port has no local socket
    overTcp.viaTcp = true;
    auto c = client::ConnectServer("127.0.0.1:" + std::to_string(relay.port()), overTcp);
    ASSERT_TRUE(eventually([&] { return rig.leases.leases() == 1; }));
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const int before = relay.accepted();
        relay.cutAll();
        EXPECT_TRUE(
            eventually([&] { return relay.accepted() > before && rig.leases.leases() == 1 && c->leaseHeld(); }, 4s))
            << rig.leases.leases() << " leases";
        EXPECT_NO_THROW(c->GetComPort());
    }
    c.reset();
    EXPECT_TRUE(eventually([&] { return rig.leases.leases() == 0; }, 3s)) << "released with the object";
}

// One unary call with a raw request body.
grpc::Status rawCall(RpcRig& rig, const std::string& method, const std::string& body) {
    auto channel =
        grpc::CreateChannel("127.0.0.1:" + std::to_string(rig.server.port()), grpc::InsecureChannelCredentials());
    grpc::GenericStub stub(channel);
    grpc::ClientContext ctx;
    ctx.set_deadline(std::chrono::system_clock::now() + 10s);
    grpc::CompletionQueue cq;
    grpc::Slice slice(body);
    grpc::ByteBuffer request(&slice, 1);
    auto call = stub.PrepareUnaryCall(&ctx, method, request, &cq);
    call->StartCall();
    grpc::ByteBuffer answer;
    grpc::Status status;
    call->Finish(&answer, &status, reinterpret_cast<void*>(1));
    void* got = nullptr;
    bool ok = false;
    cq.Next(&got, &ok);
    cq.Shutdown();
    while (cq.Next(&got, &ok)) {
    }
    return status;
}

// A request that does not decode (text that is not UTF-8, a cut or malformed
// body) is refused by the interface with its error object, like any bad
// value; only a member the interface does not have is "not implemented".
TEST(ServerRpc, UndecodableRequestsGetTheInterfacesRefusal) {
    RpcRig rig;
    struct Row {
        const char* method;
        std::string body;
    };
    const Row rows[] = {
        {"PutSerialNum", std::string("\x0A\x02\xC3\x28", 4)},  // newVal: C3 28 is no UTF-8
        {"PutBuildType", std::string("\x0A\x01\xFF", 3)},      // newVal: FF
        {"PutLocalOffset", std::string("\x09\x00\x00", 3)},    // a double cut short
        {"PutSetFlag", std::string("\x08\xFF\xFF", 3)},        // a varint that never ends
        {"GetGmtTime", std::string("\x0F", 1)},                // wire type 7 does not exist
        {"WaitForDeviceRead", std::string("\x0A\x05", 2)},     // length beyond the body
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.method);
        const auto status = rawCall(rig, std::string("/kt64.rpc.IKt64Srv/") + r.method, r.body);
        EXPECT_EQ(status.error_code(), rpc::kServerErrorCode) << status.error_message();
        const auto record = rpc::errorRecord(status);
        ASSERT_TRUE(record);
        EXPECT_EQ(static_cast<std::uint32_t>(record->hresult), static_cast<std::uint32_t>(E_KT64_FRAME));
        EXPECT_EQ(record->description, std::optional<std::string>(std::string(text::kBadDataDot)));
        EXPECT_EQ(record->guid, ids::kIid);
    }
    EXPECT_EQ(rawCall(rig, "/kt64.rpc.IKt64Srv/NoSuchMember", "").error_code(), grpc::StatusCode::UNIMPLEMENTED);
    EXPECT_NE(rawCall(rig, "/kt64.rpc.IKt64Srv/GetGmtTime", "").error_code(), grpc::StatusCode::UNIMPLEMENTED)
        << "an empty body is a good one";
    EXPECT_TRUE(server::isInterfaceMember("/kt64.rpc.IKt64Srv/Lease"));
    EXPECT_FALSE(server::isInterfaceMember("/kt64.rpc.IKt64Srv/Leases"));
    EXPECT_FALSE(server::isInterfaceMember("/grpc.reflection.v1alpha.ServerReflection/ServerReflectionInfo"));
    EXPECT_FALSE(server::isInterfaceMember("kt64.rpc.IKt64Srv/Lease"));
}

// Generic tools find the interface through server reflection where the
// site turned it on (Reflection): a raw ServerReflectionInfo request for the
// service list (field 7, empty text: bytes 3A 00) must name
// kt64.rpc.IKt64Srv. Off, it is refused and nothing is listed.
TEST(ServerRpc, ReflectionListsTheInterfaceOnlyWhereTurnedOn) {
    RpcRig rig;
    for (const bool on : {false, true}) {
        SCOPED_TRACE(on ? "Reflection=1" : "default");
        server::ServerAccess access;
        access.reflection = on;
        access.localSockets = false;
        server::RpcServer server(rig.srv, rig.leases, "127.0.0.1", 0, access);
        server.start();
        auto channel =
            grpc::CreateChannel("127.0.0.1:" + std::to_string(server.port()), grpc::InsecureChannelCredentials());
        grpc::GenericStub stub(channel);
        grpc::ClientContext ctx;
        ctx.set_deadline(std::chrono::system_clock::now() + 10s);
        grpc::CompletionQueue cq;
        auto tag = [](int t) { return reinterpret_cast<void*>(static_cast<std::intptr_t>(t)); };
        auto step = [&](int t) {
            void* got = nullptr;
            bool ok = false;
            return cq.Next(&got, &ok) && got == tag(t) && ok;
        };
        auto call = stub.PrepareCall(&ctx, "/grpc.reflection.v1alpha.ServerReflection/ServerReflectionInfo", &cq);
        call->StartCall(tag(1));
        ASSERT_TRUE(step(1));
        grpc::Slice request(std::string("\x3A\x00", 2));
        grpc::ByteBuffer requestBuffer(&request, 1);
        call->Write(requestBuffer, tag(2));
        ASSERT_TRUE(step(2));
        call->WritesDone(tag(3));
        ASSERT_TRUE(step(3));
        grpc::ByteBuffer answer;
        call->Read(&answer, tag(4));
        std::string bytes;
        if (step(4)) {
            std::vector<grpc::Slice> slices;
            ASSERT_TRUE(answer.Dump(&slices).ok());
            for (const auto& slice : slices) bytes.append(reinterpret_cast<const char*>(slice.begin()), slice.size());
        }
        EXPECT_EQ(bytes.find("kt64.rpc.IKt64Srv") != std::string::npos, on) << bytes.size() << " bytes answered";
        grpc::Status status;
        call->Finish(&status, tag(5));
        ASSERT_TRUE(step(5));
        EXPECT_EQ(status.error_code(), on ? grpc::StatusCode::OK : grpc::StatusCode::UNIMPLEMENTED)
            << status.error_message();
        cq.Shutdown();
        void* ignored = nullptr;
        bool ok = false;
        while (cq.Next(&ignored, &ok)) {
        }
        server.shutdown();
    }
}

}  // namespace
}  // namespace kt64::test
