// The server through its real gRPC interface, with the emulated centre on a
// pty and the client library every client program uses: values and error
// objects, two clients at once (a waiting client does not hold the other
// up), leases, transfers with progress and failures, a missing device.
#include <grpcpp/generic/generic_stub.h>
#include <gtest/gtest.h>

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
#include "SerialException.h"
#include "ServerRig.h"

namespace kt64::test {
namespace {

using namespace std::chrono_literals;
using client::ServerError;

// The program's assembly, listening on the loopback only, on a free port.
struct RpcRig {
    RpcRig() {
        sim::EmulatorOptions options;
        options.linkPath = (registry.dir() / "ttyKT").string();
        emulator = std::make_unique<sim::CentreEmulator>(options);
        emulator->start();
        auto devices = reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv\\Devices");
        devices.setString("COM1", emulator->devicePath());
        devices.setString("COM9", (registry.dir() / "no-such-tty").string());
        worker.start();
        server.start();
    }
    ~RpcRig() {
        event.close();
        server.shutdown();
        worker.stop();
    }
    std::unique_ptr<client::Kt64Srv> connect() {
        return client::ConnectServer("localhost:" + std::to_string(server.port()));
    }

    TempRegistry registry;
    std::unique_ptr<sim::CentreEmulator> emulator;
    server::SharedDevice device;
    server::DeviceReadEvent event;
    server::ServerConfig config;
    server::SerialPortOpener opener;
    server::LinkWorker worker{device, event, opener, [this] { return config.portForOpen(); }};
    server::Kt64Srv srv{device, event, config};
    server::ShutdownMonitor leases{server::kIdleShutdown, [] {}};
    server::RpcServer server{srv, leases, "127.0.0.1", 0};
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

bool statusValid(client::Kt64Srv& c) {
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

    c->PutLocalOffset(-0.5 / 24);
    EXPECT_TRUE(eventually([&] { return std::abs(c->GetLocalOffset() + 0.5 / 24) < 1e-9; }));

    expectServerError(errorOf([&] { c->PutSerialNum("12-3456"); }), E_KT64_FRAME, text::kBadDataDot);
    expectServerError(errorOf([&] { c->GetRozkazy(); }), E_KT64_BUSY, text::kBusyDot);
    const std::vector<std::uint8_t> image(2905, 0);
    expectServerError(errorOf([&] { c->PutRozkazy(image, 0x200C); }), E_KT64_FRAME, text::kBadData);
    expectServerError(errorOf([&] { c->PutGmtTime(*makeDate(2100, 1, 1)); }), E_KT64_FRAME, text::kBadSetData);
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
    const auto seed = std::random_device{}();
    std::printf("image seed %u\n", seed);
    std::mt19937 gen(seed);
    std::vector<std::uint8_t> image(2905);
    for (auto& b : image) b = static_cast<std::uint8_t>(gen());

    c->PutRozkazy(image);
    std::set<std::uint32_t> seen;
    ASSERT_TRUE(eventually([&] {
        auto pos = c->GetRozkazPos();
        seen.insert(pos);
        return pos == 0;
    }, 60s));
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
    ASSERT_TRUE(eventually([&] {
        failure = errorOf([&] { c->GetRozkazPos(); });
        return failure.has_value();
    }, 60s));
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

// Generic tools find the interface through server reflection: a raw
// ServerReflectionInfo request for the service list (field 7, empty text:
// bytes 3A 00) must name kt64.rpc.IKt64Srv.
TEST(ServerRpc, ReflectionListsTheInterface) {
    RpcRig rig;
    auto channel = grpc::CreateChannel("127.0.0.1:" + std::to_string(rig.server.port()),
                                       grpc::InsecureChannelCredentials());
    grpc::GenericStub stub(channel);
    grpc::ClientContext ctx;
    ctx.set_deadline(std::chrono::system_clock::now() + 10s);
    grpc::CompletionQueue cq;
    auto step = [&](int tag) {
        void* got = nullptr;
        bool ok = false;
        return cq.Next(&got, &ok) && got == reinterpret_cast<void*>(static_cast<std::intptr_t>(tag)) && ok;
    };
    auto tag = [](int t) { return reinterpret_cast<void*>(static_cast<std::intptr_t>(t)); };
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
    ASSERT_TRUE(step(4));
    std::vector<grpc::Slice> slices;
    ASSERT_TRUE(answer.Dump(&slices).ok());
    std::string bytes;
    for (const auto& slice : slices) bytes.append(reinterpret_cast<const char*>(slice.begin()), slice.size());
    EXPECT_NE(bytes.find("kt64.rpc.IKt64Srv"), std::string::npos);
    grpc::Status status;
    call->Finish(&status, tag(5));
    ASSERT_TRUE(step(5));
    EXPECT_TRUE(status.ok()) << status.error_message();
    cq.Shutdown();
    void* ignored = nullptr;
    bool ok = false;
    while (cq.Next(&ignored, &ok)) {
    }
}

}  // namespace
}  // namespace kt64::test
