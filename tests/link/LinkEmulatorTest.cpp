// Every procedure of the link core against the emulated centre on a pty,
// opened the way the link server opens its port (registry COM<n> entry ->
// the emulator's symlink): settings taking effect in the answering status,
// a whole command list up and back, and each transfer and frame failure the
// emulator can inject. The centre's clock stands still, so times compare
// exactly.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "CentreCalendar.h"
#include "CentreEmulator.h"
#include "CentreLine.h"
#include "OleDate.h"
#include "Procedures.h"
#include "SerialPort.h"
#include "StatusFrame.h"
#include "TestEnvironment.h"

namespace kt64::test {
namespace {

using namespace kt64::link;

using Clock = std::chrono::steady_clock;

DATE date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return *makeDate(y, mo, d, h, mi, s); }

constexpr double kTiny = 1e-7;  // well under a second in days

class LinkEmulator : public ::testing::Test {
protected:
    void SetUp() override {
        clock_ = std::make_shared<sim::ManualTimeSource>(sim::utcTime(2024, 5, 17, 12, 34, 56));
        sim::EmulatorOptions options;
        options.linkPath = (dir_ / "centre").string();
        centre_ = std::make_unique<sim::CentreEmulator>(options, clock_);
        centre_->start();
        link::openForCentre(port_, options.linkPath);
    }
    void TearDown() override {
        port_.close();
        centre_.reset();
    }
    void fault(const char* text) {
        auto f = sim::parseFault(text);
        ASSERT_TRUE(f) << text;
        centre_->setFault(*f);
    }
    // The server's download and its end, then the status exchange after it.
    void download() {
        std::vector<std::uint8_t> buffer;
        std::int32_t count = 0;
        const bool ok = downloadCommandList(port_, buffer, count);
        endDownload(state_, ok, count, buffer);
        exchangeStatus(port_, state_);
    }

    TempRegistry registry_;
    std::filesystem::path dir_ = registry_.dir();
    std::shared_ptr<sim::ManualTimeSource> clock_;
    std::unique_ptr<sim::CentreEmulator> centre_;
    serial::SerialPort port_;
    DeviceState state_;
};

TEST_F(LinkEmulator, StatusExchangeDecodesTheCentre) {
    ASSERT_EQ(exchangeStatus(port_, state_), S_OK);
    EXPECT_TRUE(state_.StatusValid);
    EXPECT_NEAR(state_.GmtTime, date(2024, 5, 17, 12, 34, 56), kTiny);
    EXPECT_NEAR(state_.LocTime, date(2024, 5, 17, 14, 34, 56), kTiny);  // +1 h and summer time
    EXPECT_NEAR(state_.LocalOffset, 1.0 / 24, kTiny);
    EXPECT_FALSE(state_.SetWinterTime);
    EXPECT_TRUE(state_.SetChangeTimeOn);
    EXPECT_NEAR(state_.ChangeTimeZL, date(1900, 3, 31, 2), kTiny);
    EXPECT_NEAR(state_.ChangeTimeLZ, date(1900, 10, 27, 3), kTiny);
    EXPECT_EQ(state_.BuildType, "KT-64/GPS/2/232 V1.2");
    EXPECT_EQ(state_.SerialNum, "01/2345");
    EXPECT_EQ(state_.LineDigitType, 0x22);
    EXPECT_FALSE(state_.NoSyncSource);
    EXPECT_FALSE(state_.AlarmSyncTran || state_.AlarmAntena || state_.AlarmSet);
    EXPECT_EQ(syncReadiness(state_).code, S_OK);

    centre_->setAlarms({0x40, 0x40, 0x01});
    ASSERT_EQ(exchangeStatus(port_, state_), S_OK);
    EXPECT_TRUE(state_.AlarmSyncTran && state_.AlarmSet && state_.AlarmAntena && state_.AlarmManSet &&
                state_.AlarmLine1);
    EXPECT_EQ(syncReadiness(state_).text, "Centrala wymaga ustawiania lub synchronizacji");
}

TEST_F(LinkEmulator, EverySettingShowsInTheAnsweringStatus) {
    ASSERT_EQ(exchangeStatus(port_, state_), S_OK);

    state_.NewGmtTime = date(2030, 1, 2, 3, 4, 5);
    ASSERT_EQ(setTime(port_, state_), S_OK);
    EXPECT_NEAR(state_.GmtTime, state_.NewGmtTime, kTiny);
    EXPECT_TRUE(state_.SetWinterTime);  // January

    state_.NewLineAnalOn = false;
    state_.NewLineDigitOn = true;
    ASSERT_EQ(switchLines(port_, state_), S_OK);
    EXPECT_FALSE(state_.SetLine1AnalOn);
    EXPECT_TRUE(state_.SetLine1DigitOn);

    state_.NewLineTime = date(1900, 1, 1, 10, 45);
    ASSERT_EQ(setLineTime(port_, state_), S_OK);
    EXPECT_NEAR(state_.LineTime, state_.NewLineTime, kTiny);

    state_.NewSerial = {0xAB, 0xCD, 0xEF};
    ASSERT_EQ(setSerial(port_, state_), S_OK);
    EXPECT_EQ(state_.SerialNum, "AB/CDEF");

    state_.NewBuild = {0x22, 0x11, 0x22};
    ASSERT_EQ(setType(port_, state_), S_OK);
    EXPECT_EQ(state_.BuildType, "KT-64/DCF/1/485 V1.2");

    state_.NewLineDigitType = 0x11;
    ASSERT_EQ(setDigitalLineType(port_, state_), S_OK);
    EXPECT_EQ(state_.LineDigitType, 0x11);

    // Only the offset and one key pending: the rest goes back as reported.
    state_.NewLocalOffset = -2.5 / 24;
    state_.NewKeyTimeLZ = 1;
    state_.PendingParams = P_LOCALOFFSET | P_KEYTIMELZ;
    ASSERT_EQ(setParams(port_, state_), S_OK);
    EXPECT_EQ(state_.PendingParams, 0u);
    EXPECT_NEAR(state_.LocalOffset, -2.5 / 24, kTiny);
    EXPECT_EQ(state_.KeyTimeLZ, 1);
    EXPECT_EQ(state_.KeyTimeZL, 0);
    EXPECT_TRUE(state_.SetChangeTimeOn);
    EXPECT_EQ(fromVariantTime(state_.ChangeTimeZL)->month, 3);
    EXPECT_EQ(fromVariantTime(state_.ChangeTimeLZ)->month, 10);
    EXPECT_EQ(fromVariantTime(state_.ChangeTimeLZ)->hour, 3);
    EXPECT_NEAR(state_.LocTime, date(2030, 1, 2, 0, 34, 5), kTiny);

    state_.NewChangeTimeOn = false;
    state_.PendingParams = P_CHANGETIMEON;
    ASSERT_EQ(setParams(port_, state_), S_OK);
    EXPECT_FALSE(state_.SetChangeTimeOn);
    EXPECT_NEAR(state_.LocalOffset, -2.5 / 24, kTiny);
}

TEST_F(LinkEmulator, WholeCommandListUpAndBack) {
    const unsigned seed = testSeed("command list");
    std::mt19937 rng(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    Bytes image(kImageSize);
    for (auto& b : image) b = static_cast<std::uint8_t>(rng());

    std::int32_t remaining = static_cast<std::int32_t>(kImageSize);
    std::int32_t lowest = remaining;
    endUpload(state_, uploadCommandList(port_, image, remaining, [&](std::int32_t left) {
                  lowest = std::min(lowest, left);
                  return true;
              }));
    exchangeStatus(port_, state_);
    EXPECT_FALSE(state_.SendFailed);
    EXPECT_EQ(lowest, 0);
    EXPECT_TRUE(state_.StatusValid);
    EXPECT_EQ(centre_->image(), image);

    download();
    EXPECT_FALSE(state_.RecvFailed);
    EXPECT_EQ(state_.RecvCount, 2905);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), state_.TransferBuffer.begin()));
    EXPECT_TRUE(state_.StatusValid);
}

TEST_F(LinkEmulator, TransferFailures) {
    const Bytes image(kImageSize, 0x33);
    struct Row {
        const char* fault;
        bool upload;
        std::int32_t stoppedAt;  // records done when the transfer stops
    };
    const Row rows[] = {
        {"ack-corrupt 5", true, 5},  {"ack-refuse 100", true, 100}, {"marker once", true, 0},
        {"ack-corrupt 0", false, 0}, {"ack-refuse 3", false, 3},    {"short once", false, 0},
        {"checksum once", false, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.fault);
        fault(r.fault);
        if (r.upload) {
            std::int32_t last = static_cast<std::int32_t>(kImageSize);
            state_.SendRemaining = last;
            std::int32_t remaining = last;
            endUpload(state_, uploadCommandList(port_, image, remaining, [&](std::int32_t left) {
                          last = left;
                          return true;
                      }));
            exchangeStatus(port_, state_);
            EXPECT_TRUE(state_.SendFailed);
            EXPECT_EQ(last, static_cast<std::int32_t>(kImageSize) - 7 * r.stoppedAt);
            EXPECT_EQ(state_.SendRemaining, 0);
        } else {
            download();
            EXPECT_TRUE(state_.RecvFailed);
            EXPECT_EQ(state_.RecvCount, 7 * r.stoppedAt);
        }
        // The record faults leave the status alone; the "once" ones are used up.
        EXPECT_TRUE(state_.StatusValid) << state_.ErrorText;
        centre_->setFault({});
    }
}

TEST_F(LinkEmulator, StatusFaultsGiveTheirTexts) {
    ASSERT_EQ(exchangeStatus(port_, state_), S_OK);
    const DATE gmt = state_.GmtTime;
    struct Row {
        const char* fault;
        HRESULT code;
        const char* text;
    };
    const Row rows[] = {
        {"checksum", E_KT64_CHECKSUM, "Błąd sumy kontrolnej"},
        {"marker", E_KT64_FRAME, "Błędna ramka."},
        {"short", E_KT64_NOANSWER, "Brak odpowiedzi."},
        {"silent", E_KT64_NOANSWER, "Brak odpowiedzi."},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.fault);
        fault(r.fault);
        centre_->setGmt(sim::utcTime(2031, 1, 1));
        EXPECT_EQ(exchangeStatus(port_, state_), r.code);
        EXPECT_EQ(state_.ErrorText, r.text);
        EXPECT_EQ(state_.GmtTime, gmt);
        centre_->setFault({});
        // A short frame's 49 bytes must not be taken for the start of the next one.
        EXPECT_EQ(exchangeStatus(port_, state_), S_OK);
        EXPECT_NEAR(state_.GmtTime, date(2031, 1, 1), kTiny);
        EXPECT_EQ(state_.ErrorText, r.text);
        centre_->setGmt(sim::utcTime(2024, 5, 17, 12, 34, 56));
        ASSERT_EQ(exchangeStatus(port_, state_), S_OK);
    }
    // A late answer within the read time-out is still a good one.
    fault("late 300");
    EXPECT_EQ(exchangeStatus(port_, state_), S_OK);
}

// An answer that comes after its read timed out, or stray bytes before an
// answer, stay in the input. Each row leaves such bytes behind once; the
// exchange after the one they spoil must be whole again, and so must a whole
// upload and download right after (their records would otherwise each read
// the previous record's answer).
TEST_F(LinkEmulator, LeftoverBytesNeverSpoilTheNextExchange) {
    const std::string rows[] = {"late 1700 once", "garbage 3 once", "garbage 60 once"};
    Bytes image(kImageSize);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 1);
    for (const auto& row : rows) {
        SCOPED_TRACE(row);
        fault(row.c_str());
        // The late answer is sent 150 ms after the read gave up: once it is
        // in, every exchange must be a fresh one.
        const auto settle = [&] {
            if (row.starts_with("late")) std::this_thread::sleep_for(std::chrono::milliseconds(400));
        };
        EXPECT_NE(exchangeStatus(port_, state_), S_OK);
        settle();
        for (int k = 0; k < 3; ++k) {
            centre_->setGmt(sim::utcTime(2030, 1, 1 + k));
            ASSERT_EQ(exchangeStatus(port_, state_), S_OK) << state_.ErrorText;
            EXPECT_NEAR(state_.GmtTime, date(2030, 1, 1 + k), kTiny);
        }

        fault(row.c_str());
        ASSERT_NE(exchangeStatus(port_, state_), S_OK);
        settle();
        std::int32_t remaining = static_cast<std::int32_t>(kImageSize);
        endUpload(state_, uploadCommandList(port_, image, remaining));
        exchangeStatus(port_, state_);
        EXPECT_FALSE(state_.SendFailed);
        EXPECT_EQ(centre_->image(), image);

        fault(row.c_str());
        ASSERT_NE(exchangeStatus(port_, state_), S_OK);
        settle();
        download();
        EXPECT_FALSE(state_.RecvFailed);
        ASSERT_EQ(state_.RecvCount, static_cast<std::int32_t>(kImageSize));
        EXPECT_TRUE(std::equal(image.begin(), image.end(), state_.TransferBuffer.begin()));
        EXPECT_TRUE(state_.StatusValid) << state_.ErrorText;
        centre_->setGmt(sim::utcTime(2024, 5, 17, 12, 34, 56));
    }
}

TEST_F(LinkEmulator, CentreGoneWhileOpen) {
    ASSERT_EQ(exchangeStatus(port_, state_), S_OK);
    centre_->stop();
    EXPECT_THROW(exchangeStatus(port_, state_), serial::SerialPortError);
}

}  // namespace
}  // namespace kt64::test
