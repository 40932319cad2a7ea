// Status frame decoding: the order of the checks and their texts, what a
// failure keeps, every field decoding with the edge cases that catch wrong
// bits and nibbles, and the synchronisation readiness rule.
#include <gtest/gtest.h>

#include <cmath>

#include "OleDate.h"
#include "StatusFrame.h"
#include "StatusFrameBytes.h"

namespace kt64::test {
namespace {

using namespace kt64::link;

DATE date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return *makeDate(y, mo, d, h, mi, s); }

constexpr double kSecond = 1.0 / 86400;

TEST(StatusFrame, DecodesEveryField) {
    DeviceState s;
    StatusBytes f = goodStatus();
    ASSERT_EQ(applyStatusFrame(f, s), S_OK);
    EXPECT_TRUE(s.StatusValid);
    EXPECT_NEAR(s.GmtTime, date(2024, 5, 17, 12, 34, 56), kSecond / 100);
    EXPECT_NEAR(s.LocTime, date(2024, 5, 17, 14, 34, 56), kSecond / 100);
    EXPECT_NEAR(s.LineTime, date(1900, 1, 1, 8, 30), kSecond / 100);
    EXPECT_FALSE(s.AlarmSyncTran || s.AlarmSet || s.AlarmAku36 || s.AlarmPower || s.AlarmSync || s.AlarmAntena ||
                 s.AlarmManSet || s.AlarmLine1);
    EXPECT_EQ(s.SerialNum, "0A/1B2C");
    EXPECT_NEAR(s.LocalOffset, 1.0 / 24, 1e-12);
    EXPECT_EQ(s.KeyTimeZL, 0);
    EXPECT_EQ(s.KeyTimeLZ, 0);
    EXPECT_NEAR(s.ChangeTimeZL, date(1900, 3, 31, 2), kSecond / 100);
    EXPECT_NEAR(s.ChangeTimeLZ, date(1900, 10, 27, 3), kSecond / 100);
    EXPECT_TRUE(s.SetChangeTimeOn);
    EXPECT_FALSE(s.SetWinterTime);
    EXPECT_TRUE(s.SetLine1AnalOn);
    EXPECT_FALSE(s.SetLine1DigitOn);
    EXPECT_EQ(s.BuildType, "KT-64/GPS/1/232 V1.2");
    EXPECT_FALSE(s.NoSyncSource);
    EXPECT_EQ(s.LineDigitType, 0x22);
    // A good frame leaves the recorded error alone.
    EXPECT_EQ(s.ErrorCode, E_KT64_NOERROR);
}

// The checks run in the order length, checksum, markers; each failure records
// its code and text, clears StatusValid and keeps every decoded field.
TEST(StatusFrame, CheckOrderTextsAndWhatAFailureKeeps) {
    struct Row {
        const char* name;
        std::size_t length;
        std::size_t corrupt;  // byte to change, 99 = none
        bool reseal;
        HRESULT code;
        const char* text;
    };
    const Row rows[] = {
        {"49 bytes", 49, 99, false, E_KT64_NOANSWER, "Brak odpowiedzi."},
        {"nothing", 0, 99, false, E_KT64_NOANSWER, "Brak odpowiedzi."},
        {"49 bytes with a bad marker", 49, 1, false, E_KT64_NOANSWER, "Brak odpowiedzi."},
        {"checksum", 50, 49, false, E_KT64_CHECKSUM, "Błąd sumy kontrolnej"},
        {"data byte flipped", 50, 5, false, E_KT64_CHECKSUM, "Błąd sumy kontrolnej"},
        {"marker broken, checksum too", 50, 27, false, E_KT64_CHECKSUM, "Błąd sumy kontrolnej"},
        {"byte 0", 50, 0, true, E_KT64_FRAME, "Błędna ramka."},
        {"byte 1", 50, 1, true, E_KT64_FRAME, "Błędna ramka."},
        {"byte 27", 50, 27, true, E_KT64_FRAME, "Błędna ramka."},
        {"byte 28", 50, 28, true, E_KT64_FRAME, "Błędna ramka."},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        DeviceState s;
        ASSERT_EQ(applyStatusFrame(goodStatus(), s), S_OK);
        const DATE gmt = s.GmtTime;

        StatusBytes f = goodStatus();
        f[5] = 0x23;  // a different hour: must not reach GmtTime
        seal(f);
        if (r.corrupt != 99) f[r.corrupt] ^= 0x01;
        if (r.reseal) seal(f);
        EXPECT_EQ(applyStatusFrame(ByteSpan(f.data(), r.length), s), r.code);
        EXPECT_FALSE(s.StatusValid);
        EXPECT_EQ(s.ErrorCode, r.code);
        EXPECT_EQ(s.ErrorText, r.text);
        EXPECT_EQ(s.GmtTime, gmt);
        EXPECT_EQ(s.BuildType, "KT-64/GPS/1/232 V1.2");
    }
}

TEST(StatusFrame, GoodFrameAfterAFailureKeepsTheOldError) {
    DeviceState s;
    StatusBytes bad = goodStatus();
    bad[27] = 0x1C;
    seal(bad);
    EXPECT_EQ(applyStatusFrame(bad, s), E_KT64_FRAME);
    EXPECT_EQ(s.GmtTime, 0.0);  // nothing decoded yet
    EXPECT_EQ(applyStatusFrame(goodStatus(), s), S_OK);
    EXPECT_TRUE(s.StatusValid);
    EXPECT_EQ(s.ErrorCode, E_KT64_FRAME);
    EXPECT_EQ(s.ErrorText, "Błędna ramka.");
}

TEST(StatusFrame, AlarmBitsIncludingTheActiveLowOnes) {
    struct Row {
        std::uint8_t b19, b20, b21;
        std::uint32_t mask;  // FAlarm bits expected
    };
    const Row rows[] = {
        {0x81, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x00, 0x01 | 0x20}, {0x01, 0x00, 0x00, 0x01}, {0x80, 0x00, 0x00, 0x20},
        {0xC1, 0x00, 0x00, 0x02}, {0x89, 0x00, 0x00, 0x04},        {0x85, 0x00, 0x00, 0x08}, {0x83, 0x00, 0x00, 0x10},
        {0xB1, 0x00, 0x00, 0x00},                            // bits 5 and 4 are not interpreted
        {0x81, 0x40, 0x00, 0x40}, {0x81, 0xBF, 0x00, 0x00},  // only bit 6 of byte 20 counts
        {0x81, 0x00, 0x01, 0x80}, {0x81, 0x00, 0xFE, 0x00},  // only bit 0 of byte 21 counts
        {0x4E, 0x40, 0x01, 0xFF},
    };
    for (const auto& r : rows) {
        DeviceState s;
        StatusBytes f = goodStatus();
        f[19] = r.b19;
        f[20] = r.b20;
        f[21] = r.b21;
        ASSERT_EQ(applyStatusFrame(seal(f), s), S_OK);
        std::uint32_t mask = (s.AlarmSyncTran ? 1 : 0) | (s.AlarmSet ? 2 : 0) | (s.AlarmAku36 ? 4 : 0) |
                             (s.AlarmPower ? 8 : 0) | (s.AlarmSync ? 16 : 0) | (s.AlarmAntena ? 32 : 0) |
                             (s.AlarmManSet ? 64 : 0) | (s.AlarmLine1 ? 128 : 0);
        EXPECT_EQ(mask, r.mask) << std::hex << int(r.b19) << " " << int(r.b20) << " " << int(r.b21);
    }
}

TEST(StatusFrame, SettingsFlagsTakeBitZeroOnly) {
    DeviceState s;
    StatusBytes f = goodStatus();
    f[40] = 0xFE;
    f[41] = 0x01;
    f[42] = 0x10;
    f[43] = 0xFF;
    ASSERT_EQ(applyStatusFrame(seal(f), s), S_OK);
    EXPECT_FALSE(s.SetChangeTimeOn);
    EXPECT_TRUE(s.SetWinterTime);
    EXPECT_FALSE(s.SetLine1AnalOn);
    EXPECT_TRUE(s.SetLine1DigitOn);
}

TEST(StatusFrame, OffsetKeysAndChangeDates) {
    DeviceState s;
    StatusBytes f = goodStatus();
    f[30] = 0x30;
    f[31] = 0x01;
    f[32] = 0x01;
    f[33] = 0x01;
    f[34] = 0x25;
    f[35] = 0x03;
    f[36] = 0x04;
    f[39] = 0x23;
    ASSERT_EQ(applyStatusFrame(seal(f), s), S_OK);
    EXPECT_NEAR(s.LocalOffset, -(30.0 / 1440 + 1.0 / 24), 1e-12);
    EXPECT_EQ(s.KeyTimeZL, 1);
    EXPECT_EQ(s.KeyTimeLZ, 4);
    EXPECT_NEAR(s.ChangeTimeZL, date(1900, 3, 25, 2), kSecond / 100);
    EXPECT_NEAR(s.ChangeTimeLZ, date(1900, 10, 27, 3), kSecond / 100);

    // Only bit 0 of byte 32 is the sign; keys are plain bytes.
    f[32] = 0xFE;
    f[33] = 0xFF;
    ASSERT_EQ(applyStatusFrame(seal(f), s), S_OK);
    EXPECT_NEAR(s.LocalOffset, 30.0 / 1440 + 1.0 / 24, 1e-12);
    EXPECT_EQ(s.KeyTimeZL, 255);
}

TEST(StatusFrame, BuildTypeAndSourceTexts) {
    struct Row {
        std::uint8_t model, source, relays, iface, version;
        const char* text;
        bool noSource;
    };
    const Row rows[] = {
        {0x64, 0x11, 0x11, 0x11, 0x12, "KT-64/GPS/1/232 V1.2", false},
        {0x64, 0x00, 0x00, 0x00, 0x10, "KT-64/00/0/000 V1.0", true},
        {0x64, 0x22, 0x22, 0x22, 0x21, "KT-64/DCF/2/485 V2.1", false},
        {0x64, 0x33, 0x11, 0x11, 0x1A, "KT-64/RS/1/232 V1.A", false},
        {0x64, 0x44, 0x11, 0x11, 0xF0, "KT-64/LIN/1/232 VF.0", false},
        {0x0B, 0x55, 0x33, 0x01, 0x01, "KT-0B/ERR/E/ERR V0.1", false},
        {0xFF, 0x01, 0x12, 0x21, 0x00, "KT-FF/ERR/E/ERR V0.0", false},
    };
    for (const auto& r : rows) {
        DeviceState s;
        s.BuildType = "stale";
        StatusBytes f = goodStatus();
        f[22] = r.model;
        f[44] = r.source;
        f[45] = r.relays;
        f[46] = r.iface;
        f[48] = r.version;
        ASSERT_EQ(applyStatusFrame(seal(f), s), S_OK);
        EXPECT_EQ(s.BuildType, r.text);
        EXPECT_EQ(s.NoSyncSource, r.noSource) << r.text;
    }
    EXPECT_EQ(serialNumText(0x00, 0xFF, 0xA0), "00/FFA0");
}

// A field whose digits are not decimal (or whose date does not exist) keeps
// the value of the previous good frame; the other fields are still decoded.
TEST(StatusFrame, InvalidDigitsKeepThePreviousValue) {
    struct Row {
        std::size_t byte;
        std::uint8_t value;
    };
    const Row rows[] = {
        {3, 0x5A},  {4, 0xA0},  {6, 0x00},  {7, 0x13},  {8, 0xFF},  // GMT
        {10, 0x0F}, {14, 0x00},                                     // local
        {17, 0x6A}, {18, 0xB0},                                     // line time
        {30, 0x3C}, {31, 0xA1},                                     // offset
        {34, 0x00}, {35, 0x1A}, {37, 0xAA}, {38, 0x00},             // change dates
        {39, 0xAB},                                                 // change hours
    };
    DeviceState ref;
    ASSERT_EQ(applyStatusFrame(goodStatus(), ref), S_OK);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.byte);
        DeviceState s;
        ASSERT_EQ(applyStatusFrame(goodStatus(), s), S_OK);
        StatusBytes f = goodStatus();
        f[19] = 0x00;  // something else changes and is decoded
        f[r.byte] = r.value;
        ASSERT_EQ(applyStatusFrame(seal(f), s), S_OK);
        EXPECT_TRUE(s.AlarmAntena);
        EXPECT_EQ(s.GmtTime, ref.GmtTime);
        EXPECT_EQ(s.LocTime, ref.LocTime);
        EXPECT_EQ(s.LineTime, ref.LineTime);
        EXPECT_EQ(s.LocalOffset, ref.LocalOffset);
        EXPECT_EQ(s.ChangeTimeZL, ref.ChangeTimeZL);
        EXPECT_EQ(s.ChangeTimeLZ, ref.ChangeTimeLZ);
    }
    // Only the broken one of the two change dates is kept.
    DeviceState s;
    ASSERT_EQ(applyStatusFrame(goodStatus(), s), S_OK);
    StatusBytes f = goodStatus();
    f[39] = 0x2C;
    f[34] = 0x24;
    ASSERT_EQ(applyStatusFrame(seal(f), s), S_OK);
    EXPECT_NEAR(s.ChangeTimeZL, date(1900, 3, 24, 2), kSecond / 100);
    EXPECT_EQ(s.ChangeTimeLZ, ref.ChangeTimeLZ);
}

TEST(StatusFrame, SyncReadinessRules) {
    struct Row {
        std::uint8_t b19, b20, source;
        HRESULT code;
        const char* text;
    };
    const Row rows[] = {
        {0x81, 0x00, 0x11, S_OK, ""},
        {0xC1, 0x00, 0x11, E_KT64_NOTREADY, "Centrala wymaga ustawiania lub synchronizacji"},
        {0x83, 0x00, 0x11, E_KT64_NOTREADY, "Centrala nie zsynchronizowana od ponad 240h"},
        {0xC3, 0x40, 0x11, E_KT64_NOTREADY, "Centrala wymaga ustawiania lub synchronizacji"},
        {0x81, 0x40, 0x11, E_KT64_NOTREADY, "Centrala jest wlaśnie ustawiana ręcznie"},
        {0x83, 0x40, 0x11, E_KT64_NOTREADY, "Centrala nie zsynchronizowana od ponad 240h"},
        // Without a synchronisation source only manual setting refuses.
        {0xC3, 0x00, 0x00, S_OK, ""},
        {0xC3, 0x40, 0x00, E_KT64_NOTREADY, "Centrala jest wlaśnie ustawiana ręcznie"},
        // Other alarms do not matter.
        {0x0C, 0x00, 0x11, S_OK, ""},
    };
    for (const auto& r : rows) {
        DeviceState s;
        StatusBytes f = goodStatus();
        f[19] = r.b19;
        f[20] = r.b20;
        f[44] = r.source;
        ASSERT_EQ(applyStatusFrame(seal(f), s), S_OK);
        SyncReadiness ready = syncReadiness(s);
        EXPECT_EQ(ready.code, r.code) << std::hex << int(r.b19) << " " << int(r.b20) << " " << int(r.source);
        EXPECT_EQ(ready.text, r.text);
    }
    DeviceState s;
    EXPECT_EQ(syncReadiness(s).code, E_KT64_NOERROR);
    EXPECT_EQ(syncReadiness(s).text, "Brak błędu.");
    applyStatusFrame(ByteSpan(), s);
    EXPECT_EQ(syncReadiness(s).code, E_KT64_NOANSWER);
    EXPECT_EQ(syncReadiness(s).text, "Brak odpowiedzi.");
}

}  // namespace
}  // namespace kt64::test
