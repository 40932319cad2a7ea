// The procedures over a scripted link: what goes out, how each answer is
// judged, the record-by-record transfers with their counters and failure
// flags, the stop callback, and serial failures passing through.
#include <gtest/gtest.h>

#include <numeric>

#include "FakeLink.h"
#include "OleDate.h"
#include "Procedures.h"
#include "Requests.h"
#include "StatusFrameBytes.h"

namespace kt64::test {
namespace {

using namespace kt64::link;

using Bytes = FakeLink::Bytes;

Bytes status() {
    auto f = goodStatus();
    return Bytes(f.begin(), f.end());
}

Bytes ack(std::uint8_t a = 0, std::uint8_t b = 0) {
    Bytes r{0x1B, 0xDD, 0x02, a, b};
    r.push_back(xorOf(r));
    return r;
}

Bytes recordAnswer(std::span<const std::uint8_t> rec, std::uint8_t len = 0x09) {
    Bytes r(kReadAnswerSize, 0);
    r[0] = 0x1B;
    r[1] = 0xEE;
    r[2] = len;
    std::copy(rec.begin(), rec.end(), r.begin() + 5);
    r[12] = xorOf(std::span(r).first(12));
    return r;
}

// Image of n bytes 1, 2, 3, ... in a buffer of n + 7 bytes with zero spare.
Bytes imageBuffer(std::size_t n) {
    Bytes b(n + kTransferSpare, 0);
    std::iota(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n), std::uint8_t{1});
    return b;
}

TEST(Procedures, UndeliverableDatesSendNothing) {
    DeviceState s;
    s.NewGmtTime = *makeDate(2100, 1, 1);
    FakeLink link;
    link.answer(status());
    EXPECT_EQ(setTime(link, s), E_KT64_FRAME);
    EXPECT_TRUE(link.written.empty());
    EXPECT_EQ(link.reads, 0);
    EXPECT_EQ(s.ErrorText, "Błędne dane ustawiane.");
    EXPECT_FALSE(s.StatusValid);
}

TEST(Procedures, ParametersClearThePendingMaskAndUseTheStatusBeforeIt) {
    DeviceState s;
    FakeLink link;
    link.answer(status());
    ASSERT_EQ(exchangeStatus(link, s), S_OK);
    s.NewKeyTimeLZ = 4;
    s.PendingParams = P_KEYTIMELZ;
    link.answer(status());
    EXPECT_EQ(setParams(link, s), S_OK);
    ASSERT_EQ(link.written.size(), 2u);
    // Offset +1 h, both months, both hours and the change flag as reported.
    const Bytes expected{0x1B, 0x33, 0x0A, 0x11, 0x00, 0x01, 0x00, 0x00, 0x03, 0x04, 0x10, 0x23, 0x01};
    EXPECT_EQ(Bytes(link.written[1].begin(), link.written[1].end() - 1), expected);
    EXPECT_EQ(s.PendingParams, 0u);

    // The mask is cleared even when the centre does not answer.
    s.PendingParams = 0x3F;
    EXPECT_EQ(setParams(link, s), E_KT64_NOANSWER);
    EXPECT_EQ(s.PendingParams, 0u);
}

struct UploadCase {
    std::size_t imageSize;
    std::size_t records;
};

TEST(Procedures, UploadSendsWholeRecordsWithZeroSpare) {
    for (auto [n, records] : {UploadCase{14, 2}, UploadCase{10, 2}, UploadCase{7, 1}, UploadCase{kImageSize, 415}}) {
        SCOPED_TRACE(n);
        DeviceState s;
        s.SendRemaining = static_cast<std::int32_t>(n);
        FakeLink link;
        for (std::size_t i = 0; i < records; ++i) link.answer(ack(0x55, static_cast<std::uint8_t>(i)));
        link.answer(status());
        std::vector<std::int32_t> seen;
        std::int32_t remaining = s.SendRemaining;
        const bool ok = uploadCommandList(link, imageBuffer(n), remaining, [&](std::int32_t left) {
            seen.push_back(left);
            return true;
        });
        endUpload(s, ok);
        exchangeStatus(link, s);
        EXPECT_FALSE(s.SendFailed);
        EXPECT_EQ(s.SendRemaining, 0);
        EXPECT_TRUE(s.StatusValid);  // the status exchange after the transfer
        ASSERT_EQ(link.written.size(), records + 1);
        EXPECT_EQ(link.written.back(), statusRequest());
        ASSERT_EQ(seen.size(), records);
        EXPECT_EQ(seen.front(), static_cast<std::int32_t>(n) - 7);

        Bytes sent;
        for (std::size_t i = 0; i < records; ++i) {
            const Bytes& w = link.written[i];
            ASSERT_EQ(w.size(), 13u);
            EXPECT_EQ(w[0], 0x1B);
            EXPECT_EQ(w[1], 0xDD);
            EXPECT_EQ(w[2], 0x09);
            EXPECT_EQ((w[3] << 8) | w[4], static_cast<int>(i));
            EXPECT_EQ(xorOf(w), 0);
            sent.insert(sent.end(), w.begin() + 5, w.begin() + 12);
        }
        Bytes expected = imageBuffer(n);
        expected.resize(records * 7);  // image bytes, then zero spare
        EXPECT_EQ(sent, expected);
    }
}

TEST(Procedures, UploadStopsAtTheFirstBadAcknowledgement) {
    struct Row {
        const char* name;
        Bytes answer;
    };
    Bytes badSum = ack();
    badSum[5] ^= 1;
    Bytes wrongHeader{0x1B, 0xEE, 0x02, 0x00, 0x00};
    wrongHeader.push_back(xorOf(wrongHeader));
    const Row rows[] = {
        {"missing", {}},
        {"short", {0x1B, 0xDD, 0x02}},
        {"checksum", badSum},
        {"header", wrongHeader},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        DeviceState s;
        s.TransferBuffer = imageBuffer(35);
        s.SendRemaining = 35;
        FakeLink link;
        link.answer(ack());
        link.answer(ack());
        link.answer(r.answer);  // record 2
        link.answer(ack());
        std::int32_t lastSeen = -1;
        std::int32_t remaining = 35;
        EXPECT_FALSE(uploadRecords(link, s.TransferBuffer, remaining, [&](std::int32_t v) {
            lastSeen = v;
            return true;
        }));
        EXPECT_EQ(remaining, 21);  // two records acknowledged
        EXPECT_EQ(lastSeen, 21);
        EXPECT_EQ(link.written.size(), 3u);  // no retry, nothing after
    }
    // The end of the worker's step records the failure.
    DeviceState s;
    s.SendRemaining = 35;
    FakeLink link;
    link.answer(ack());
    link.answer({});
    std::int32_t remaining = s.SendRemaining;
    endUpload(s, uploadCommandList(link, imageBuffer(35), remaining));
    EXPECT_TRUE(s.SendFailed);
    EXPECT_EQ(s.SendRemaining, 0);
    EXPECT_EQ(remaining, 28);
}

TEST(Procedures, TransfersStayWithinTheirBuffers) {
    Bytes image(10, 0xAA);  // no spare bytes for the second record
    std::int32_t remaining = 10;
    FakeLink link;
    link.answer(ack());
    link.answer(ack());
    EXPECT_FALSE(uploadRecords(link, image, remaining));
    EXPECT_EQ(link.written.size(), 1u);

    // Nor writes before the start of its buffer.
    Bytes buffer(kReceiveBufferSize);
    std::int32_t count = -7;
    EXPECT_FALSE(downloadRecords(link, buffer, count));
    EXPECT_EQ(link.written.size(), 1u);
}

TEST(Procedures, DownloadFillsTheImageRecordByRecord) {
    DeviceState s;
    FakeLink link;
    Bytes image(kImageSize);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    for (std::size_t r = 0; r < kRecordCount; ++r) link.answer(recordAnswer(std::span(image).subspan(r * 7, 7)));
    link.answer(status());
    Bytes buffer;
    std::int32_t count = 0;
    const bool ok = downloadCommandList(link, buffer, count);
    endDownload(s, ok, count, buffer);
    exchangeStatus(link, s);
    EXPECT_FALSE(s.RecvFailed);
    EXPECT_EQ(s.RecvCount, 2905);
    EXPECT_EQ(s.TransferBuffer, image);
    ASSERT_EQ(link.written.size(), kRecordCount + 1);
    EXPECT_EQ(link.written[0], readRecordRequest(0));
    EXPECT_EQ(link.written[414], readRecordRequest(414));
    EXPECT_EQ(link.written.back(), statusRequest());
    EXPECT_TRUE(s.StatusValid);
}

TEST(Procedures, FailedDownloadKeepsTheCountReached) {
    const std::uint8_t rec[7] = {9, 8, 7, 6, 5, 4, 3};
    Bytes badSum = recordAnswer(rec);
    badSum[12] ^= 1;
    Bytes noEsc = recordAnswer(rec);
    noEsc[0] = 0x00;
    noEsc[12] ^= 0x1B;
    Bytes shortOne = recordAnswer(rec);
    shortOne.pop_back();
    struct Row {
        const char* name;
        Bytes answer;
    };
    const Row rows[] = {
        {"length byte 08", recordAnswer(rec, 0x08)},
        {"checksum", badSum},
        {"no ESC", noEsc},
        {"12 bytes", shortOne},
        {"silence", {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        DeviceState s;
        s.TransferBuffer = {1, 2, 3};  // an earlier complete image stays
        FakeLink link;
        for (int i = 0; i < 3; ++i) link.answer(recordAnswer(rec));
        link.answer(r.answer);
        Bytes buffer;
        std::int32_t count = 0;
        const bool ok = downloadCommandList(link, buffer, count);
        endDownload(s, ok, count, buffer);
        EXPECT_TRUE(s.RecvFailed);
        EXPECT_EQ(s.RecvCount, 21);
        EXPECT_EQ(buffer[20], 3);
        EXPECT_EQ(buffer[21], 0);
        EXPECT_EQ(s.TransferBuffer, (Bytes{1, 2, 3}));  // no partial list published
        EXPECT_EQ(link.written.size(), 4u);             // no retry, nothing after
    }
}

TEST(Procedures, StopCallbackEndsATransferEarly) {
    Bytes buffer = imageBuffer(kImageSize);
    std::int32_t remaining = static_cast<std::int32_t>(kImageSize);
    FakeLink link;
    for (int i = 0; i < 415; ++i) link.answer(ack());
    int calls = 0;
    EXPECT_FALSE(uploadRecords(link, buffer, remaining, [&](std::int32_t) { return ++calls < 3; }));
    EXPECT_EQ(link.written.size(), 3u);
    EXPECT_EQ(remaining, 2905 - 21);

    // A stop asked for after the last record does not fail a finished one.
    std::int32_t one = 7;
    FakeLink link2;
    link2.answer(ack());
    EXPECT_TRUE(uploadRecords(link2, buffer, one, [](std::int32_t) { return false; }));
}

TEST(Procedures, SerialFailuresPassThroughTheTransfers) {
    std::int32_t remaining = 70;
    FakeLink link;
    link.answer(ack());
    link.failAfterReads(1);
    EXPECT_THROW(uploadCommandList(link, imageBuffer(70), remaining), serial::SerialPortError);
    EXPECT_EQ(remaining, 63);

    DeviceState d;
    Bytes buffer;
    std::int32_t count = 0;
    FakeLink link2;
    link2.failAfterReads(0);
    EXPECT_THROW(downloadCommandList(link2, buffer, count), serial::SerialPortError);
    EXPECT_EQ(count, 0);

    FakeLink link3;
    link3.failAfterReads(0);
    EXPECT_THROW(exchangeStatus(link3, d), serial::SerialPortError);
}

TEST(Procedures, GoodStatusFramesAreStampedWhenReadAndCounted) {
    DeviceState s;
    FakeLink link;
    Bytes truncated = status();
    truncated.resize(kStatusFrameSize - 1);
    struct Step {
        const char* name;
        Bytes answer;
        bool good;
    };
    const Step steps[] = {
        {"good frame", status(), true}, {"short frame", truncated, false}, {"good again", status(), true}};
    std::uint64_t frames = 0;
    std::int64_t lastMonotonic = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        const auto stampedBefore = s.FrameMonotonicNs;
        link.answer(step.answer);
        const auto before = std::chrono::steady_clock::now().time_since_epoch();
        const auto beforeReal = std::chrono::system_clock::now().time_since_epoch();
        exchangeStatus(link, s);
        const auto after = std::chrono::steady_clock::now().time_since_epoch();
        const auto afterReal = std::chrono::system_clock::now().time_since_epoch();
        if (!step.good) {
            // A frame the decoding refuses keeps the last good frame's stamps.
            EXPECT_EQ(s.FrameNo, frames);
            EXPECT_EQ(s.FrameMonotonicNs, stampedBefore);
            continue;
        }
        EXPECT_EQ(s.FrameNo, ++frames);
        EXPECT_GE(s.FrameMonotonicNs, std::chrono::nanoseconds(before).count());
        EXPECT_LE(s.FrameMonotonicNs, std::chrono::nanoseconds(after).count());
        EXPECT_GE(s.FrameRealtimeNs, std::chrono::nanoseconds(beforeReal).count());
        EXPECT_LE(s.FrameRealtimeNs, std::chrono::nanoseconds(afterReal).count());
        EXPECT_GT(s.FrameMonotonicNs, lastMonotonic);
        // The request went out within the exchange, before the frame came.
        EXPECT_GE(s.RequestMonotonicNs, std::chrono::nanoseconds(before).count());
        EXPECT_LE(s.RequestMonotonicNs, s.FrameMonotonicNs);
        lastMonotonic = s.FrameMonotonicNs;
    }
}

}  // namespace
}  // namespace kt64::test
