// The client library against the in-process fake server: error objects in
// both directions, failures without an error object, leases, every member
// reaching its own RPC, and the command-list container's element type.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <thread>

#include "ErrorStatus.h"
#include "FakeKt64Srv.h"
#include "Kt64Client.h"
#include "Kt64SrvIds.h"
#include "Loopback.h"
#include "TestEnvironment.h"

namespace kt64::test {
namespace {

using client::ServerError;
using namespace std::chrono_literals;

class ClientTest : public ::testing::Test {
protected:
    std::unique_ptr<client::ServerProxy> connect(client::ConnectOptions options = {}) {
        return client::ConnectServer("localhost:" + std::to_string(host_.port()), options);
    }

    // The error a call throws; fails the test when it throws none.
    static std::optional<ServerError> errorOf(const std::function<void()>& call) {
        try {
            call();
        } catch (const ServerError& e) {
            return e;
        }
        ADD_FAILURE() << "the call did not fail";
        return std::nullopt;
    }

    kt64::test::TempRegistry registry_;
    FakeKt64Srv fake_;
    FakeServerHost host_{fake_};
};

TEST_F(ClientTest, ErrorObjectArrivesWithCodeDescriptionSourceAndGuid) {
    // Longer than gRPC's default 8 KB metadata limit: it must arrive whole.
    std::string longText;
    while (longText.size() < 20000) longText += "Centrala jest wlaśnie ustawiana ręcznie; ";
    auto srv = connect();
    struct Row {
        const char* method;
        HRESULT hr;
        std::optional<std::string> description;
        std::function<void()> call;
    };
    const Row rows[] = {
        {"PutGmtTime", E_KT64_FRAME, std::string(text::kBadSetData), [&] { srv->PutGmtTime(73051.0); }},
        {"GetSyncTime", E_KT64_NOTREADY, std::string(text::kManualSetting), [&] { srv->GetSyncTime(); }},
        {"GetRozkazRxPos", E_KT64_CHECKSUM, std::string(text::kTransferChecksum), [&] { srv->GetRozkazRxPos(); }},
        {"WaitForDeviceRead", E_KT64_REGISTRY, std::string(text::kWaitFailed), [&] { srv->WaitForDeviceRead(); }},
        {"StartGetRozkazy", E_KT64_BUSY, std::string(text::kTransferBusy), [&] { srv->StartGetRozkazy(); }},
        {"GetComPort", E_KT64_PORT, longText, [&] { srv->GetComPort(); }},
        {"ComunicationEnable", E_KT64_BUSY, std::nullopt, [&] { srv->ComunicationEnable(1); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.method);
        fake_.fail(row.method, row.hr, row.description);
        auto error = errorOf(row.call);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code(), row.hr);
        EXPECT_TRUE(error->description() == row.description)
            << "expected " << (row.description ? std::to_string(row.description->size()) + " bytes" : "none")
            << ", got " << (error->description() ? std::to_string(error->description()->size()) + " bytes" : "none");
        EXPECT_EQ(error->source(), ids::kProgId);
        EXPECT_EQ(error->guid(), ids::kIid);
    }
}

TEST(ErrorStatusTest, StatusWithoutErrorObjectIsAConnectionFailure) {
    struct Row {
        grpc::Status status;
        HRESULT expected;
    };
    const Row rows[] = {
        {grpc::Status(grpc::StatusCode::UNAVAILABLE, "connection refused"), client::E_RPC_SERVER_UNAVAILABLE},
        {grpc::Status(grpc::StatusCode::DEADLINE_EXCEEDED, "deadline"), client::E_RPC_TIMEOUT},
        {grpc::Status(grpc::StatusCode::CANCELLED, "cancelled"), client::E_RPC_CALL_CANCELED},
        {grpc::Status(grpc::StatusCode::INTERNAL, "broken"), client::E_RPC_SERVERFAULT},
        // The server's code, but no readable error object in the details.
        {grpc::Status(rpc::kServerErrorCode, "Brak odpowiedzi."), client::E_RPC_SERVERFAULT},
        {grpc::Status(rpc::kServerErrorCode, "x", "\xff\xff\xff garbage"), client::E_RPC_SERVERFAULT},
        // An error object under another code is not the server's.
        {grpc::Status(grpc::StatusCode::UNAVAILABLE, "x", rpc::errorStatus(E_KT64_BUSY, "y").error_details()),
         client::E_RPC_SERVER_UNAVAILABLE},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.status.error_message());
        EXPECT_FALSE(rpc::errorRecord(row.status));
        ServerError error = client::toServerError(row.status);
        EXPECT_EQ(error.code(), row.expected);
        EXPECT_FALSE(error.description());
        EXPECT_EQ(error.displayText(), client::kNoServerErrorText);
    }
    EXPECT_FALSE(rpc::errorRecord(grpc::Status::OK));
}

TEST_F(ClientTest, DeadServerGivesErrorWithoutDescription) {
    auto srv = connect();
    EXPECT_TRUE(srv->leaseHeld());
    host_.shutdown();
    auto error = errorOf([&] { srv->GetGmtTime(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), client::E_RPC_SERVER_UNAVAILABLE);
    EXPECT_FALSE(error->description());
    EXPECT_TRUE(kt64::test::eventually([&] { return !srv->leaseHeld(); }));
}

TEST_F(ClientTest, PassedDeadlineGivesErrorWithoutDescription) {
    fake_.edit([](FakeState& s) { s.waitDelay = 5s; });
    client::ConnectOptions options;
    options.waitTimeout = 300ms;
    auto srv = connect(options);
    auto start = std::chrono::steady_clock::now();
    auto error = errorOf([&] { srv->WaitForDeviceRead(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), client::E_RPC_TIMEOUT);
    EXPECT_FALSE(error->description());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
}

TEST_F(ClientTest, ConnectionLostMidCallGivesErrorWithoutDescription) {
    fake_.edit([](FakeState& s) { s.waitDelay = 20s; });
    auto srv = connect();
    auto call = std::async(std::launch::async, [&] { return errorOf([&] { srv->WaitForDeviceRead(); }); });
    ASSERT_TRUE(kt64::test::eventually([&] { return fake_.edit([](FakeState& s) { return s.waits; }) == 1; }));
    host_.shutdown();
    ASSERT_EQ(call.wait_for(5s), std::future_status::ready) << "the call outlived its connection";
    auto error = call.get();
    ASSERT_TRUE(error);
    EXPECT_FALSE(error->description());
    EXPECT_NE(error->code(), client::E_RPC_TIMEOUT);
}

// Right after the server (re)opened its port, a reading waits for the
// centre's first frame: a stale signal may end the first wait early, a
// centre that never answers is not waited for without end, and any other
// refusal is the caller's to read.
TEST_F(ClientTest, AwaitingTheFirstExchangeOutlastsAStaleSignal) {
    const struct {
        const char* name;
        HRESULT state;
        int firstReadingAtWait;  // 0: never
        int waits;
    } rows[]{
        {"the reading comes with the first wait", E_KT64_NOERROR, 1, 1},
        {"a stale signal ends the first wait", E_KT64_NOERROR, 2, 2},
        {"no reading ever comes", E_KT64_NOERROR, 0, 3},
        {"the port cannot be opened", E_KT64_PORT, 1, 0},
    };
    auto srv = connect();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fake_.edit([&](FakeState& s) {
            s.waits = 0;
            s.failuresEndAtWait = row.firstReadingAtWait;
        });
        fake_.fail("GetGmtTime", row.state, "Brak błędu.");
        client::awaitFirstExchange(*srv);
        EXPECT_EQ(fake_.edit([](FakeState& s) { return s.waits; }), row.waits);
    }
}

// A server whose first frame comes late (a slow link, a loaded computer) is
// still reached: a connection attempt is not given up after 100 ms.
TEST_F(ClientTest, AServerThatAnswersLateIsStillReached) {
    // A slow link: each connection is held back before it reaches the server.
    kt64::test::TcpRelay link(static_cast<std::uint16_t>(host_.port()), 400ms);
    client::ConnectOptions overTcp;  // the relay's port has no local socket
    overTcp.viaTcp = true;
    auto srv = client::ConnectServer("127.0.0.1:" + std::to_string(link.port()), overTcp);
    EXPECT_TRUE(srv->leaseHeld());
    EXPECT_NO_THROW(srv->GetComPort());
}

TEST_F(ClientTest, EachObjectHoldsOneLeaseUntilDestroyed) {
    client::ConnectOptions options;
    options.clientName = "lease test";
    auto first = connect(options);
    EXPECT_EQ(fake_.liveLeases(), 1);
    EXPECT_TRUE(kt64::test::eventually([&] { return fake_.lastClient() == "lease test"; }));
    auto second = connect();
    EXPECT_EQ(fake_.liveLeases(), 2);
    first.reset();
    EXPECT_TRUE(kt64::test::eventually([&] { return fake_.liveLeases() == 1; }, 3s));
    second.reset();
    EXPECT_TRUE(kt64::test::eventually([&] { return fake_.liveLeases() == 0; }, 3s));
    EXPECT_EQ(fake_.grantedLeases(), 2);
}

TEST_F(ClientTest, IdleLeaseSurvivesTheServersKeepalivePings) {
    // The server pings about once a second; a client channel that took
    // them for abuse, or mistook its own silence for a dead server, would
    // lose the lease while nothing else happens. The relay shows the pings
    // go both ways.
    kt64::test::TcpRelay link(static_cast<std::uint16_t>(host_.port()));
    client::ConnectOptions overTcp;  // the relay's port has no local socket
    overTcp.viaTcp = true;
    auto srv = client::ConnectServer("127.0.0.1:" + std::to_string(link.port()), overTcp);
    EXPECT_TRUE(kt64::test::eventually([&] { return link.serverPingsAnswered() >= 4; }, 20s));
    EXPECT_EQ(link.accepted(), 1) << "the connection was given up and made again";
    EXPECT_TRUE(srv->leaseHeld());
    EXPECT_EQ(fake_.liveLeases(), 1);
    EXPECT_NO_THROW(srv->GetGmtTime());
}

TEST_F(ClientTest, SecondServerCannotShareThePort) {
    // With a shared port the kernel would hand clients to either server.
    FakeKt64Srv other;
    FakeServerHost second(other, "127.0.0.1:" + std::to_string(host_.port()));
    EXPECT_EQ(second.port(), 0);
    auto srv = connect();
    EXPECT_EQ(fake_.liveLeases(), 1);
}

TEST_F(ClientTest, EveryMemberReachesItsOwnValue) {
    auto srv = connect();
    // Distinct values everywhere, so a member wired to a neighbour's RPC
    // returns or overwrites the wrong one.
    srv->PutGmtTime(45429.5);
    srv->PutLocTime(45429.25);
    srv->PutLineTime(2.375);
    srv->PutSetFlag(0x0C);
    srv->PutLocalOffset(2.0 / 24);
    srv->PutKeyTimeZL(rpc::K_2NIEDZ);
    srv->PutChangeTimeZL(86.0 + 2.0 / 24);
    srv->PutKeyTimeLZ(rpc::K_4NIEDZ);
    srv->PutChangeTimeLZ(300.0 + 3.0 / 24);
    srv->PutSerialNum("12/3456");
    srv->PutBuildType("KT-64/GPS/1/232");
    srv->PutLineDigitType(static_cast<client::EDigLine>(0x55));  // no range check on the way
    srv->PutChangeTimeOn(7);
    srv->SetComPort(4);
    srv->ComunicationEnable(0);
    fake_.edit([](FakeState& s) {
        s.value<members::GetAlarmFlag>() = 0xA5;
        s.value<members::GetSyncTime>() = 45429.125;
    });

    EXPECT_EQ(srv->GetGmtTime(), 45429.5);
    EXPECT_EQ(srv->GetLocTime(), 45429.25);
    EXPECT_EQ(srv->GetLineTime(), 2.375);
    EXPECT_EQ(srv->GetSetFlag(), 0x0Cu);
    EXPECT_EQ(srv->GetLocalOffset(), 2.0 / 24);
    EXPECT_EQ(srv->GetKeyTimeZL(), rpc::K_2NIEDZ);
    EXPECT_EQ(srv->GetChangeTimeZL(), 86.0 + 2.0 / 24);
    EXPECT_EQ(srv->GetKeyTimeLZ(), rpc::K_4NIEDZ);
    EXPECT_EQ(srv->GetChangeTimeLZ(), 300.0 + 3.0 / 24);
    EXPECT_EQ(srv->GetSerialNum(), "12/3456");
    EXPECT_EQ(srv->GetBuildType(), "KT-64/GPS/1/232");
    EXPECT_EQ(srv->GetLineDigitType(), 0x55);
    EXPECT_EQ(srv->GetComPort(), 4u);
    EXPECT_EQ(srv->GetAlarmFlag(), 0xA5u);
    EXPECT_EQ(srv->GetSyncTime(), 45429.125);
    fake_.edit([](FakeState& s) {
        EXPECT_EQ(s.value<members::PutChangeTimeOn>(), 7u);
        EXPECT_EQ(s.value<members::ComunicationEnable>(), 0u);
    });
}

TEST_F(ClientTest, CommandListKeepsItsElementType) {
    auto srv = connect();
    std::vector<std::uint8_t> image(2905);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7);  // every byte value, zeros included

    // VT_ARRAY | VT_VARIANT reaches the server as such and is refused there.
    auto error = errorOf([&] { srv->PutRozkazy(image, 0x200C); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), E_KT64_FRAME);
    EXPECT_EQ(error->description(), std::string(text::kBadData));
    EXPECT_EQ(fake_.edit([](FakeState& s) { return s.uploadedVt; }), 0x200Cu);

    srv->PutRozkazy(image);
    fake_.edit([&](FakeState& s) {
        EXPECT_EQ(s.uploadedVt, client::kVtArrayUi1);
        EXPECT_EQ(s.uploaded, std::string(image.begin(), image.end()));
    });

    // The server's type comes back as sent, for the caller to check.
    for (std::uint32_t vt : {0x2011u, 0x200Cu, 0x6011u}) {
        fake_.edit([&](FakeState& s) {
            s.imageVt = vt;
            s.image.assign(image.begin(), image.end());
        });
        client::VariantArray back = srv->GetRozkazy();
        EXPECT_EQ(back.vt, vt);
        EXPECT_EQ(back.bytes, image);
    }
}

}  // namespace
}  // namespace kt64::test
