// Request frames against the centre's worked examples, the offset rounding and
// the pending-value rule of the parameters request, and the checks of the two
// transfer answers.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Frame.h"
#include "OleDate.h"
#include "Requests.h"

namespace kt64::test {
namespace {

using namespace kt64::link;

std::string hex(const Bytes& b) {
    std::string s;
    char buf[4];
    for (auto x : b) {
        std::snprintf(buf, sizeof buf, "%02X ", x);
        s += buf;
    }
    if (!s.empty()) s.pop_back();
    return s;
}

DATE date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return *makeDate(y, mo, d, h, mi, s); }

TEST(Bcd, DecodesDigitsAndRejectsNonDigits) {
    struct Row {
        std::uint8_t b;
        int value;
    };
    for (auto [b, value] : {Row{0x00, 0}, Row{0x09, 9}, Row{0x10, 10}, Row{0x59, 59}, Row{0x99, 99}, Row{0x0A, -1},
                            Row{0x1F, -1}, Row{0xA0, -1}, Row{0xA5, -1}, Row{0xFF, -1}}) {
        EXPECT_EQ(bcdDecode(b), value) << std::hex << int(b);
    }
    for (int v = 0; v <= 99; ++v) EXPECT_EQ(bcdDecode(bcdEncode(v)), v) << v;
    EXPECT_EQ(bcdDigit(0x9), 9);
    EXPECT_EQ(bcdDigit(0xA), -1);
    EXPECT_EQ(bcdDigit(0xF), -1);
}

TEST(Requests, WorkedExamplesByteForByte) {
    ParamValues berlin;
    berlin.localOffset = 1.0 / 24;
    berlin.keyTimeZL = 0;
    berlin.changeTimeZL = date(1900, 3, 25, 2);
    berlin.keyTimeLZ = 0;
    berlin.changeTimeLZ = date(1900, 10, 28, 3);
    berlin.changeTimeOn = true;
    struct Row {
        const char* name;
        Bytes frame;
        const char* expected;
    };
    const Row rows[] = {
        {"status", statusRequest(), "1B 11 00 0A"},
        {"set time", setTimeRequest(date(2024, 5, 17, 12, 34, 56)).value(), "1B 22 06 56 34 12 17 05 24 79"},
        {"lines", switchLinesRequest(true, false), "1B 77 02 01 00 6F"},
        {"line time", lineTimeRequest(2.0 + 8.5 / 24).value(), "1B 88 03 11 30 08 B9"},
        {"digital line", digitalLineRequest(0x22), "1B 99 02 11 22 B3"},
        {"parameters", paramsRequest(berlin), "1B 33 0A 11 00 01 00 00 03 00 10 23 01 03"},
        {"read record 0", readRecordRequest(0), "1B EE 02 00 00 F7"},
        {"serial", serialRequest({0x0A, 0x1B, 0x2C}), "1B AA 03 0A 1B 2C 8F"},
        {"type", typeRequest({0x22, 0x11, 0x11}), "1B BB 03 22 11 11 81"},
        {"read record 414", readRecordRequest(414), "1B EE 02 01 9E 68"},
    };
    for (const auto& r : rows) EXPECT_EQ(hex(r.frame), r.expected) << r.name;

    const std::array<std::uint8_t, 7> rec{1, 2, 3, 4, 5, 6, 7};
    Bytes w = writeRecordRequest(0x0102, rec);
    EXPECT_EQ(hex(w).substr(0, 35), "1B DD 09 01 02 01 02 03 04 05 06 07");
    EXPECT_EQ(w.size(), 13u);
    EXPECT_EQ(xorOf(w), 0);
}

TEST(Requests, TimeAndLineTimeRefuseDatesTheFrameCannotCarry) {
    EXPECT_FALSE(setTimeRequest(date(1999, 12, 31, 23, 59, 59)));
    EXPECT_FALSE(setTimeRequest(date(2100, 1, 1)));
    EXPECT_FALSE(setTimeRequest(NAN));
    EXPECT_FALSE(lineTimeRequest(INFINITY));
    EXPECT_EQ(hex(setTimeRequest(date(2099, 12, 31, 23, 59, 59)).value()).substr(9, 17), "59 59 23 31 12 99");
    // A time just short of the next minute is rounded to whole seconds first.
    EXPECT_EQ(hex(lineTimeRequest(2.0 + 8.5 / 24 - 0.4 / 86400).value()), "1B 88 03 11 30 08 B9");
}

// Offset bytes 4..6 of the 0x33 request: minutes, hours (absolute, BCD), sign.
TEST(Requests, OffsetBytesWithRoundingAndSign) {
    struct Row {
        double offset;
        const char* bytes;
    };
    const Row rows[] = {
        {-0.5 / 24, "30 00 01"},
        {0.0, "00 00 01"},
        {1.0 / 24, "00 01 00"},
        {-1.5 / 24, "30 01 01"},
        {5.75 / 24, "45 05 00"},
        {-9.5 / 24, "30 09 01"},
        {12.0 / 24, "00 12 00"},
        // Within half a second of a whole minute: rounded to it.
        {1.0 / 24 - 0.4 / 86400, "00 01 00"},
        {-1.0 / 24 + 0.4 / 86400, "00 01 01"},
        {30.0 / 1440 + 0.4 / 86400, "30 00 00"},
        // 59 s short of a minute: the minute is not reached.
        {1.0 / 24 - 59.0 / 86400, "59 00 00"},
        // A whole day and more wraps at 24 hours.
        {25.0 / 24, "00 01 00"},
    };
    for (const auto& r : rows) {
        ParamValues v;
        v.localOffset = r.offset;
        EXPECT_EQ(hex(paramsRequest(v)).substr(12, 8), r.bytes) << r.offset * 24 << " h";
    }
    EXPECT_EQ(offsetParts(NAN).hours, 0);
    const OffsetParts huge = offsetParts(1e300);
    EXPECT_TRUE(huge.minutes >= 0 && huge.minutes < 60 && huge.hours >= 0 && huge.hours < 24);
    EXPECT_EQ(offsetParts(1e307).minutes, 0);
}

TEST(Requests, ChangeHoursPackIntoOneByte) {
    ParamValues v;
    v.changeTimeZL = date(1900, 3, 31, 2);
    v.changeTimeLZ = date(1900, 10, 27, 3);
    Bytes f = paramsRequest(v);
    EXPECT_EQ(f[8], 0x03);
    EXPECT_EQ(f[10], 0x10);
    EXPECT_EQ(f[11], 0x23);
    // Days and minutes of the change dates are not sent.
    v.changeTimeZL = date(1900, 3, 1, 2, 59);
    v.changeTimeLZ = date(1900, 10, 1, 3, 15);
    EXPECT_EQ(paramsRequest(v), f);
}

TEST(Requests, ParametersTakePendingValuesAndKeepTheRestAsReported) {
    DeviceState s;
    s.LocalOffset = 1.0 / 24;
    s.KeyTimeZL = 0;
    s.ChangeTimeZL = date(1900, 3, 31, 2);
    s.KeyTimeLZ = 0;
    s.ChangeTimeLZ = date(1900, 10, 27, 3);
    s.SetChangeTimeOn = true;
    // Pending values differ in every field; only the flagged ones may go out.
    s.NewLocalOffset = -5.0 / 24;
    s.NewKeyTimeZL = 2;
    s.NewChangeTimeZL = date(1900, 4, 1, 1);
    s.NewKeyTimeLZ = 4;
    s.NewChangeTimeLZ = date(1900, 9, 1, 4);
    s.NewChangeTimeOn = false;

    struct Row {
        std::uint32_t pending;
        const char* frame;
    };
    const Row rows[] = {
        {0, "1B 33 0A 11 00 01 00 00 03 00 10 23 01"},
        {P_KEYTIMELZ, "1B 33 0A 11 00 01 00 00 03 04 10 23 01"},
        {P_LOCALOFFSET, "1B 33 0A 11 00 05 01 00 03 00 10 23 01"},
        {P_KEYTIMEZL | P_CHANGETIMEZL, "1B 33 0A 11 00 01 00 02 04 00 10 13 01"},
        {P_CHANGETIMELZ | P_CHANGETIMEON, "1B 33 0A 11 00 01 00 00 03 00 09 24 00"},
        {0x3F, "1B 33 0A 11 00 05 01 02 04 04 09 14 00"},
    };
    for (const auto& r : rows) {
        s.PendingParams = r.pending;
        EXPECT_EQ(hex(paramsRequest(paramValuesOf(s))).substr(0, 38), r.frame) << "pending " << r.pending;
    }
}

TEST(Answers, WriteAcknowledgement) {
    struct Row {
        Bytes bytes;
        bool accepted;
    };
    const Row rows[] = {
        {{0x1B, 0xDD, 0x02, 0x00, 0x00, 0xC4}, true},
        // The two bytes after the header are not compared with the index.
        {{0x1B, 0xDD, 0x02, 0x7E, 0x13, 0xC4 ^ 0x7E ^ 0x13}, true},
        {{0x1B, 0xDD, 0x02, 0x00, 0x00}, false},        // short
        {{0x1B, 0xDD, 0x02, 0x00, 0x00, 0xC5}, false},  // checksum
        {{0x1B, 0xDE, 0x02, 0x00, 0x00, 0xC7}, false},  // command
        {{0x1B, 0xDD, 0x03, 0x00, 0x00, 0xC5}, false},  // length
        {{0x1C, 0xDD, 0x02, 0x00, 0x00, 0xC3}, false},  // ESC
        {{}, false},
    };
    int row = 0;
    for (const auto& r : rows) EXPECT_EQ(isWriteAck(r.bytes), r.accepted) << "row " << row++;
}

TEST(Answers, ReadAnswer) {
    auto answer = [](std::uint8_t len) {
        Bytes a{0x1B, 0xEE, len, 0x00, 0x05, 1, 2, 3, 4, 5, 6, 7};
        a.push_back(xorOf(a));
        return a;
    };
    auto good = parseReadAnswer(answer(0x09));
    ASSERT_TRUE(good);
    EXPECT_EQ(*good, (Record{1, 2, 3, 4, 5, 6, 7}));
    // Checksum right but the length byte wrong: refused.
    EXPECT_FALSE(parseReadAnswer(answer(0x08)));
    Bytes bad = answer(0x09);
    bad[7] ^= 0x40;
    EXPECT_FALSE(parseReadAnswer(bad));
    Bytes shortOne = answer(0x09);
    shortOne.pop_back();
    EXPECT_FALSE(parseReadAnswer(shortOne));
    Bytes wrongEsc = answer(0x09);
    wrongEsc[0] = 0x1C;
    wrongEsc[12] ^= 0x1B ^ 0x1C;
    EXPECT_FALSE(parseReadAnswer(wrongEsc));
}

}  // namespace
}  // namespace kt64::test
