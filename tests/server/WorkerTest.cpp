// The link worker's state machine against the emulated centre behind instant
// links: queue order, pause and resume, the device-read event, a missing or
// vanished device, transfers with their failures, settings waiting behind a
// download, and a prompt stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <random>

#include "CentreFault.h"
#include "SerialPortError.h"
#include "ServerRig.h"

namespace kt64::test {
namespace {

using server::CallStatus;

std::vector<std::uint8_t> randomImage(std::size_t size) {
    std::mt19937 gen(testSeed("image"));
    std::vector<std::uint8_t> image(size);
    for (auto& b : image) b = static_cast<std::uint8_t>(gen());
    return image;
}

void setFault(FakeCentre& centre, const char* faultText) {
    auto fault = sim::parseFault(faultText);
    ASSERT_TRUE(fault) << faultText;
    centre.withCentre([&](sim::Centre& c) {
        c.setFault(*fault);
        return 0;
    });
}

TEST(Worker, PauseThenResumeQueuedTogetherPassesThroughThePause) {
    ServerRig rig;
    EXPECT_TRUE(rig.srv.ComunicationEnable(0).ok());
    EXPECT_TRUE(rig.srv.ComunicationEnable(1).ok());
    EXPECT_EQ(rig.device.queued(), (std::vector<std::int32_t>{server::W_PAUSE, server::W_POLL}));
    // The same commands again find them waiting.
    EXPECT_EQ(rig.srv.ComunicationEnable(1), (CallStatus{E_KT64_BUSY, std::string(text::kBusy)}));
    EXPECT_EQ(rig.srv.ComunicationEnable(0), (CallStatus{E_KT64_BUSY, std::string(text::kBusyDot)}));
    ASSERT_TRUE(rig.startValid());
    EXPECT_EQ(rig.srv.GetGmtTime().value, *makeDate(2024, 5, 17, 12, 34, 56));
}

TEST(Worker, PausedGettersFailAndWaitersAreReleasedAboutOnceASecond) {
    ServerRig rig;
    ASSERT_TRUE(rig.startValid());
    ASSERT_TRUE(rig.srv.ComunicationEnable(0).ok());
    const CallStatus paused{E_KT64_PAUSED, std::string(text::kPaused)};
    // Within one poll.
    ASSERT_TRUE(eventually([&] { return rig.srv.GetGmtTime().status == paused; }, std::chrono::seconds(2)));
    ASSERT_TRUE(eventually([&] { return rig.worker.state() == server::W_PAUSE; }));
    const auto written = rig.centre.written().size();

    ASSERT_TRUE(rig.srv.WaitForDeviceRead().ok());  // may be a signal left from the last poll
    for (int i = 0; i < 2; ++i) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(rig.srv.WaitForDeviceRead().ok());
        const double waited = secondsSince(start);
        EXPECT_LT(waited, 2.0);
        if (i == 1) {
            EXPECT_GT(waited, 0.5) << "released by a pause tick, not by a stale signal";
        }
    }
    EXPECT_EQ(rig.centre.written().size(), written) << "the line stays silent while paused";
    EXPECT_EQ(rig.srv.GetLocalOffset().status, paused);

    ASSERT_TRUE(rig.srv.ComunicationEnable(1).ok());
    EXPECT_TRUE(eventually([&] { return rig.srv.GetGmtTime().ok(); }));
}

TEST(Worker, CommandsQueuedWhilePausedRunAndPollingResumes) {
    ServerRig rig;
    ASSERT_TRUE(rig.startValid());
    ASSERT_TRUE(rig.srv.ComunicationEnable(0).ok());
    ASSERT_TRUE(eventually([&] { return rig.worker.state() == server::W_PAUSE; }));
    ASSERT_TRUE(rig.srv.PutSerialNum("AB/CDEF").ok());
    EXPECT_TRUE(eventually([&] { return rig.srv.GetSerialNum().value == "AB/CDEF"; }));
    EXPECT_TRUE(eventually([&] { return rig.srv.GetGmtTime().ok(); }));
}

TEST(Worker, MissingDeviceFailsWithTheSystemTextAndIsRetriedEverySecond) {
    ServerRig rig;
    rig.centre.openError = ENOENT;
    rig.worker.start();
    const CallStatus missing{E_KT64_PORT, serial::systemText(ENOENT)};
    ASSERT_TRUE(eventually([&] { return rig.srv.GetGmtTime().status == missing; }));
    EXPECT_EQ(rig.srv.GetBuildType().status, missing);

    // The event fires about once a second, each time after a failed open.
    const int opensBefore = rig.centre.opens();
    int signals = 0;
    const auto start = std::chrono::steady_clock::now();
    while (secondsSince(start) < 3.2)
        if (rig.srv.WaitForDeviceRead().ok()) ++signals;
    EXPECT_GE(signals, 2);
    EXPECT_LE(signals, 5);
    EXPECT_GE(rig.centre.opens() - opensBefore, 2);
    EXPECT_LE(rig.centre.opens() - opensBefore, 5);

    rig.centre.openError = 0;  // the adapter is plugged in
    EXPECT_TRUE(eventually([&] { return rig.srv.GetGmtTime().ok(); }));
}

TEST(Worker, DeviceVanishingWhileOpenIsHandledLikeAFailedOpen) {
    ServerRig rig;
    ASSERT_TRUE(rig.startValid());
    const int opens = rig.centre.opens();
    rig.centre.ioError = EIO;
    const CallStatus vanished{E_KT64_PORT, serial::systemText(EIO)};
    ASSERT_TRUE(eventually([&] { return rig.srv.GetGmtTime().status == vanished; }));
    EXPECT_GE(rig.worker.counters().portFailures, 1u);
    EXPECT_TRUE(eventually([&] { return rig.centre.opens() > opens; })) << "reopened from W_ERROR";
    rig.centre.ioError = 0;
    EXPECT_TRUE(eventually([&] { return rig.srv.GetGmtTime().ok(); }));
}

// A port that fails in the middle of the parameters frame has sent nothing
// the centre can take: the setting stays pending and goes out once the port
// works again, without another put.
TEST(Worker, PortFailureMidFrameKeepsAPendingParametersSetting) {
    ServerRig rig;
    ASSERT_TRUE(rig.startValid());
    rig.centre.failWriteOf = 0x33;
    ASSERT_TRUE(rig.srv.PutLocalOffset(-2.0 / 24).ok());
    ASSERT_TRUE(eventually([&] { return rig.centre.failWriteOf.load() == -1; })) << "the frame was cut";
    EXPECT_TRUE(eventually(
        [&] { return rig.centre.withCentre([](sim::Centre& c) { return c.view().settings.offsetMinutes; }) == -120; }));
    EXPECT_NEAR(rig.srv.GetLocalOffset().value, -2.0 / 24, 1e-9);
}

TEST(Worker, UploadAndDownloadRoundTripAndTheImageStaysReadable) {
    ServerRig rig;
    ASSERT_TRUE(rig.startValid());
    const auto image = randomImage(link::kImageSize);
    ASSERT_TRUE(rig.srv.PutRozkazy(server::kVtArrayOfBytes, image).ok());
    ASSERT_TRUE(eventually([&] {
        auto pos = rig.srv.GetRozkazPos();
        return pos.ok() && pos.value == 0;
    }));
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.centre.withCentre([](sim::Centre& c) { return c.image(); }), image);

    ASSERT_TRUE(rig.srv.StartGetRozkazy().ok());
    ASSERT_TRUE(eventually([&] { return rig.srv.GetRozkazRxPos().value == link::kImageSize; }));
    for (int i = 0; i < 2; ++i) {
        auto got = rig.srv.GetRozkazy();
        ASSERT_TRUE(got.ok()) << "read " << i;
        EXPECT_EQ(got.value, image) << "read " << i;
    }
}

TEST(Worker, StartGetRozkazyResetsTheCountAndRefusesWhileItsDownloadWaits) {
    ServerRig rig;
    ASSERT_TRUE(rig.startValid());
    ASSERT_TRUE(rig.srv.StartGetRozkazy().ok());
    ASSERT_TRUE(eventually([&] { return rig.srv.GetRozkazRxPos().value == link::kImageSize; }));
    rig.worker.stop();
    ASSERT_TRUE(rig.srv.StartGetRozkazy().ok());
    EXPECT_EQ(rig.srv.GetRozkazRxPos().value, 0u) << "not the old 2905";
    EXPECT_EQ(rig.srv.GetRozkazy().status, (CallStatus{E_KT64_BUSY, std::string(text::kBusyDot)}));
    EXPECT_EQ(rig.srv.StartGetRozkazy(), (CallStatus{E_KT64_BUSY, std::string(text::kTransferBusy)}));
    EXPECT_EQ(rig.device.queued(), std::vector<std::int32_t>{server::W_GETROZK});
}

TEST(Worker, TransferFailuresAreReportedAndANewTransferMayStart) {
    ServerRig rig;
    ASSERT_TRUE(rig.startValid());
    const CallStatus failedTransfer{E_KT64_CHECKSUM, std::string(text::kTransferChecksum)};
    const auto image = randomImage(link::kImageSize);

    setFault(rig.centre, "ack-refuse 100");
    ASSERT_TRUE(rig.srv.PutRozkazy(server::kVtArrayOfBytes, image).ok());
    ASSERT_TRUE(eventually([&] { return rig.srv.GetRozkazPos().status == failedTransfer; }));
    setFault(rig.centre, "none");
    ASSERT_TRUE(rig.srv.PutRozkazy(server::kVtArrayOfBytes, image).ok()) << "nothing left to send";
    EXPECT_TRUE(eventually([&] { return rig.srv.GetRozkazPos().ok() && rig.srv.GetRozkazPos().value == 0; }));

    setFault(rig.centre, "ack-corrupt 50");
    ASSERT_TRUE(rig.srv.StartGetRozkazy().ok());
    ASSERT_TRUE(eventually([&] { return rig.srv.GetRozkazRxPos().status == failedTransfer; }));
    EXPECT_EQ(rig.device.access([](const server::DeviceRecord& r) { return r.device.RecvCount; }), 50 * 7)
        << "the count reached stays";
    EXPECT_EQ(rig.srv.GetRozkazy().status, (CallStatus{E_KT64_BUSY, std::string(text::kBusyDot)}));
    setFault(rig.centre, "none");
    ASSERT_TRUE(rig.srv.StartGetRozkazy().ok());
    ASSERT_TRUE(eventually([&] { return rig.srv.GetRozkazRxPos().value == link::kImageSize; }));
    EXPECT_EQ(rig.srv.GetRozkazy().value, image);

    // What the metrics count of it, uploads first; and two bad status frames.
    using Pair = std::array<std::uint64_t, 2>;
    EXPECT_TRUE(eventually([&] { return rig.worker.counters().transfersFinished == Pair{1, 1}; }));
    const auto counted = rig.worker.counters();
    EXPECT_EQ(counted.transfersStarted, (Pair{2, 2}));
    EXPECT_EQ(counted.transfersFailed, (Pair{1, 1}));
    EXPECT_EQ(counted.badFrames, 0u);
    setFault(rig.centre, "checksum times 2");
    EXPECT_TRUE(eventually([&] { return rig.worker.counters().badFrames == 2; }));
    EXPECT_TRUE(eventually([&] { return rig.srv.GetGmtTime().ok(); }));
    EXPECT_EQ(rig.worker.counters().badFrames, 2u);
    EXPECT_EQ(rig.worker.counters().portFailures, 0u);
}

TEST(Worker, UploadAndDownloadUseSeparateBuffers) {
    ServerRig rig;
    ASSERT_TRUE(rig.startValid());
    const auto first = randomImage(link::kImageSize);
    ASSERT_TRUE(rig.srv.PutRozkazy(server::kVtArrayOfBytes, first).ok());
    ASSERT_TRUE(rig.srv.StartGetRozkazy().ok());
    // Queued behind both: a second upload must not touch the downloaded image.
    ASSERT_TRUE(eventually([&] { return rig.srv.GetRozkazRxPos().value == link::kImageSize; }));
    EXPECT_EQ(rig.srv.GetRozkazy().value, first);
    ASSERT_TRUE(eventually([&] { return rig.srv.GetRozkazPos().value == 0; }));
    const auto second = randomImage(link::kImageSize);
    ASSERT_TRUE(rig.srv.PutRozkazy(server::kVtArrayOfBytes, second).ok());
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.srv.GetRozkazy().value, first);
}

TEST(Worker, SettingsQueuedDuringADownloadRunRightAfterIt) {
    ServerRig rig;
    rig.centre.readDelay = std::chrono::milliseconds(2);  // about a second for 415 records
    ASSERT_TRUE(rig.startValid());
    ASSERT_TRUE(rig.srv.StartGetRozkazy().ok());
    ASSERT_TRUE(eventually([&] { return rig.srv.GetRozkazRxPos().value > 0; }));
    ASSERT_TRUE(rig.srv.PutLocalOffset(2.0 / 24).ok());
    ASSERT_TRUE(rig.srv.PutSerialNum("01/0203").ok());
    ASSERT_TRUE(eventually([&] { return rig.srv.GetSerialNum().value == "01/0203"; }));
    EXPECT_NEAR(rig.srv.GetLocalOffset().value, 2.0 / 24, 1e-9);

    const auto commands = rig.centre.commands();
    const auto lastRecord = std::find(commands.rbegin(), commands.rend(), 0xEE);
    const auto params = std::find(commands.begin(), commands.end(), 0x33);
    ASSERT_NE(params, commands.end());
    EXPECT_EQ(std::count(commands.begin(), commands.end(), 0xEE), 415);
    EXPECT_GT(params - commands.begin(), commands.rend() - lastRecord - 1) << "after the last record";
}

// A stop that comes in the middle of an upload or download (the last
// client gone, the service stopped) waits for its last record: a cut upload
// leaves the centre with part of the new program and part of the old. The
// transfer holds the server from its first record to its end.
TEST(Worker, StopLetsARunningTransferEndWhole) {
    for (const bool upload : {true, false}) {
        SCOPED_TRACE(upload ? "upload" : "download");
        ServerRig rig;
        std::atomic<int> begun{0}, ended{0};
        rig.worker.setTransferHold([&] { ++begun; }, [&] { ++ended; });
        const auto image = randomImage(link::kImageSize);
        if (!upload)
            rig.centre.withCentre([&](sim::Centre& c) {
                c.setImage(image);
                return 0;
            });
        rig.centre.readDelay = std::chrono::milliseconds(2);  // about a second for 415 records
        ASSERT_TRUE(rig.startValid());
        if (upload) {
            ASSERT_TRUE(rig.srv.PutRozkazy(server::kVtArrayOfBytes, image).ok());
            ASSERT_TRUE(eventually([&] { return rig.srv.GetRozkazPos().value < link::kImageSize; }));
        } else {
            ASSERT_TRUE(rig.srv.StartGetRozkazy().ok());
            ASSERT_TRUE(eventually([&] { return rig.srv.GetRozkazRxPos().value > 0; }));
        }
        EXPECT_EQ(begun.load(), 1);
        EXPECT_EQ(ended.load(), 0) << "held while it runs";
        rig.worker.stop();
        EXPECT_EQ(rig.worker.state(), server::W_EXIT);
        EXPECT_EQ(ended.load(), 1);
        const auto commands = rig.centre.commands();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), upload ? 0xDD : 0xEE), 415);
        if (upload) {
            EXPECT_EQ(rig.centre.withCentre([](sim::Centre& c) { return c.image(); }), image);
            EXPECT_FALSE(rig.device.access([](const server::DeviceRecord& r) { return r.device.SendFailed; }));
        } else {
            EXPECT_EQ(rig.srv.GetRozkazy().value, image);
        }
    }
}

// A failing line is the one thing that ends a transfer early; the hold ends
// with it.
TEST(Worker, PortFailureEndsATransferAndItsHold) {
    ServerRig rig;
    std::atomic<int> begun{0}, ended{0};
    rig.worker.setTransferHold([&] { ++begun; }, [&] { ++ended; });
    rig.centre.readDelay = std::chrono::milliseconds(2);
    ASSERT_TRUE(rig.startValid());
    ASSERT_TRUE(rig.srv.PutRozkazy(server::kVtArrayOfBytes, randomImage(link::kImageSize)).ok());
    ASSERT_TRUE(eventually([&] { return rig.srv.GetRozkazPos().value < link::kImageSize; }));
    rig.centre.ioError = EIO;
    ASSERT_TRUE(eventually([&] { return ended.load() == 1; }));
    EXPECT_TRUE(rig.device.access([](const server::DeviceRecord& r) { return r.device.SendFailed; }));
    EXPECT_EQ(begun.load(), 1);
    rig.centre.ioError = 0;
}

}  // namespace
}  // namespace kt64::test
