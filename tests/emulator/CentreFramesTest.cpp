// The emulated centre's answers byte for byte: the status frame of a known
// state, every setting request, the command list, and garbage on the line.
#include <gtest/gtest.h>

#include "CentreTestSupport.h"
#include "OleDate.h"
#include "StatusFrame.h"

namespace kt64::test {
using namespace kt64::sim;
namespace {

using link::buildFrame;

// Default settings at 17 May 2024 12:34:56 GMT: +1 h, summer, line at local time.
constexpr std::string_view kKnownStatus =
    "1B 44 17 56 34 12 17 05 24 05 56 34 14 17 05 24 05 34 14 81 00 00 64 01 23 45 EC "
    "1B 55 13 00 01 00 00 31 03 00 27 10 23 01 00 01 01 11 22 11 22 12 69";

TEST(CentreStatus, KnownStateGivesKnownFrameThatTheLinkDecoderReads) {
    CentreOnManualClock c;
    const auto frame = c.status();
    EXPECT_EQ(hexOf(frame), kKnownStatus);
    EXPECT_EQ(link::xorOf(frame), 0);

    link::DeviceState state;
    ASSERT_EQ(link::applyStatusFrame(frame, state), S_OK);
    EXPECT_EQ(state.GmtTime, *makeDate(2024, 5, 17, 12, 34, 56));
    EXPECT_EQ(state.LocTime, *makeDate(2024, 5, 17, 14, 34, 56));
    EXPECT_EQ(state.ChangeTimeZL, *makeDate(1900, 3, 31, 2));
    EXPECT_EQ(state.ChangeTimeLZ, *makeDate(1900, 10, 27, 3));
    EXPECT_DOUBLE_EQ(state.LocalOffset, 1.0 / 24);
    EXPECT_FALSE(state.SetWinterTime);
    EXPECT_EQ(state.BuildType, "KT-64/GPS/2/232 V1.2");
    EXPECT_EQ(state.SerialNum, "01/2345");
}

struct SettingCase {
    const char* name;
    link::Bytes request;
    std::vector<std::pair<int, std::uint8_t>> expected;  // status offset, byte
};

// Every setting request shows in the status frame that answers it. The
// centre starts far from every value set: 5 November 2023 06:07:08 GMT,
// -2:30, change off, odd change rules, digital type 0x00.
TEST(CentreStatus, EverySettingRequestTakesEffect) {
    CentreSettings start;
    start.offsetMinutes = -150;
    start.changeOn = false;
    start.winterToSummer = {1, 4, 1};
    start.summerToWinter = {2, 9, 4};
    start.digitalType = code::kDigitalHm;
    const std::vector<SettingCase> cases = {
        {"set GMT (worked example)",
         hexBytes("1B 22 06 56 34 12 17 05 24 79"),
         {{3, 0x56},
          {4, 0x34},
          {5, 0x12},
          {6, 0x17},
          {7, 0x05},
          {8, 0x24},
          {10, 0x56},
          {11, 0x04},
          {12, 0x10},
          {13, 0x17},
          {14, 0x05},
          {15, 0x24}}},
        {"lines (worked example)", hexBytes("1B 77 02 01 00 6F"), {{42, 0x01}, {43, 0x00}}},
        {"line time (worked example)", hexBytes("1B 88 03 11 30 08 B9"), {{17, 0x30}, {18, 0x08}}},
        {"digital type (worked example)", hexBytes("1B 99 02 11 22 B3"), {{47, 0x22}}},
        {"parameters (worked example)",
         hexBytes("1B 33 0A 11 00 01 00 00 03 00 10 23 01 03"),
         {{30, 0x00},
          {31, 0x01},
          {32, 0x00},
          {33, 0x00},
          {34, 0x26},
          {35, 0x03},
          {36, 0x00},
          {37, 0x29},
          {38, 0x10},
          {39, 0x23},
          {40, 0x01},
          {41, 0x01}}},
        {"serial", buildFrame(0xAA, hexBytes("0A 1B 2C")), {{23, 0x0A}, {24, 0x1B}, {25, 0x2C}}},
        {"type", buildFrame(0xBB, hexBytes("22 11 22")), {{44, 0x22}, {45, 0x11}, {46, 0x22}}},
        {"offset -0:30",
         buildFrame(0x33, hexBytes("11 30 00 01 00 03 00 10 23 00")),
         {{30, 0x30}, {31, 0x00}, {32, 0x01}, {10, 0x08}, {11, 0x37}, {12, 0x05}}},
        {"offset 0 sent as 00 00 01",
         buildFrame(0x33, hexBytes("11 00 00 01 00 03 00 10 23 00")),
         {{30, 0x00}, {31, 0x00}, {32, 0x01}, {12, 0x06}}},
        {"offset +5:45",
         buildFrame(0x33, hexBytes("11 45 05 00 00 03 00 10 23 00")),
         {{30, 0x45}, {31, 0x05}, {32, 0x00}, {11, 0x52}, {12, 0x11}}},
        {"second and third Sunday",
         buildFrame(0x33, hexBytes("11 00 00 00 02 03 03 10 19 01")),
         {{33, 0x02}, {34, 0x12}, {36, 0x03}, {37, 0x15}, {39, 0x19}}},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        CentreOnManualClock c(start, utcTime(2023, 11, 5, 6, 7, 8));
        const auto answer = c.exchange(hexOf(tc.request));
        ASSERT_EQ(answer.size(), 50u);
        EXPECT_EQ(link::xorOf(answer), 0);
        for (const auto& [offset, value] : tc.expected)
            EXPECT_EQ(answer[offset], value) << "status byte " << offset << " of " << hexOf(answer);
    }
}

// Out-of-range values leave the centre as it was, but the status frame still
// comes (the link server's only acknowledgement).
TEST(CentreStatus, OutOfRangeSettingsAreAnsweredButNotApplied) {
    const std::vector<std::pair<const char*, link::Bytes>> cases = {
        {"month 13", buildFrame(0x22, hexBytes("00 00 00 01 13 24"))},
        {"31 April", buildFrame(0x22, hexBytes("00 00 00 31 04 24"))},
        {"29 February 2023", buildFrame(0x22, hexBytes("00 00 00 29 02 23"))},
        {"seconds 5A", buildFrame(0x22, hexBytes("5A 00 00 01 01 24"))},
        {"hour 24", buildFrame(0x22, hexBytes("00 00 24 01 01 24"))},
        {"line time, not line 11", buildFrame(0x88, hexBytes("12 30 08"))},
        {"line time 08:60", buildFrame(0x88, hexBytes("11 60 08"))},
        {"lines 02 02", buildFrame(0x77, hexBytes("02 02"))},
        {"digital type 33", buildFrame(0x99, hexBytes("11 33"))},
        {"digital type, not line 11", buildFrame(0x99, hexBytes("12 22"))},
        {"parameters, key 5", buildFrame(0x33, hexBytes("11 00 02 00 05 03 00 10 23 01"))},
        {"parameters, month 0", buildFrame(0x33, hexBytes("11 00 02 00 00 00 00 10 23 01"))},
        {"parameters, month 13", buildFrame(0x33, hexBytes("11 00 02 00 00 03 00 13 23 01"))},
        {"parameters, hour nibble A", buildFrame(0x33, hexBytes("11 00 02 00 00 03 00 10 2A 01"))},
        {"parameters, offset minutes 60", buildFrame(0x33, hexBytes("11 60 02 00 00 03 00 10 23 01"))},
        {"parameters, sign 02", buildFrame(0x33, hexBytes("11 00 02 02 00 03 00 10 23 01"))},
        {"parameters, not line 11", buildFrame(0x33, hexBytes("12 00 02 00 00 03 00 10 23 01"))},
    };
    for (const auto& [name, request] : cases) {
        SCOPED_TRACE(name);
        CentreOnManualClock c;
        const auto before = c.status();
        EXPECT_EQ(hexOf(c.exchange(hexOf(request))), hexOf(before));
    }
}

TEST(CentreCommandList, FullListIsStoredAndReturnedRecordByRecord) {
    CentreOnManualClock c;
    link::Bytes image(link::kImageSize);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 31 + i / 7);

    for (std::size_t r = 0; r < link::kRecordCount; ++r) {
        link::Bytes data{static_cast<std::uint8_t>(r >> 8), static_cast<std::uint8_t>(r)};
        data.insert(data.end(), image.begin() + r * 7, image.begin() + r * 7 + 7);
        const auto ack = c.exchange(hexOf(buildFrame(0xDD, data)));
        ASSERT_EQ(ack.size(), 6u) << "record " << r;
        EXPECT_EQ(hexOf(ack), hexOf(buildFrame(0xDD, link::Bytes{data[0], data[1]}))) << "record " << r;
    }
    EXPECT_EQ(c.centre.image(), image);

    link::Bytes back;
    for (std::size_t r = 0; r < link::kRecordCount; ++r) {
        const auto answer = c.exchange(
            hexOf(buildFrame(0xEE, link::Bytes{static_cast<std::uint8_t>(r >> 8), static_cast<std::uint8_t>(r)})));
        ASSERT_EQ(answer.size(), 13u) << "record " << r;
        EXPECT_EQ(link::xorOf(answer), 0);
        EXPECT_EQ(answer[0], 0x1B);
        EXPECT_EQ(answer[1], 0xEE);
        EXPECT_EQ(answer[2], 0x09);
        back.insert(back.end(), answer.begin() + 5, answer.begin() + 12);
    }
    EXPECT_EQ(back, image);
    EXPECT_EQ(hexOf(c.exchange("1B EE 02 00 00 F7")),
              hexOf(buildFrame(
                  0xEE, link::Bytes{0, 0, image[0], image[1], image[2], image[3], image[4], image[5], image[6]})));
}

TEST(CentreCommandList, IndexesBeyondTheListAreIgnored) {
    CentreOnManualClock c;
    for (const char* request : {"1B DD 09 01 9F 01 02 03 04 05 06 07", "1B EE 02 01 9F", "1B EE 02 FF FF"}) {
        auto bytes = hexBytes(request);
        bytes.push_back(link::xorOf(bytes));
        EXPECT_TRUE(c.centre.receive(bytes).empty()) << request;
    }
    EXPECT_EQ(c.centre.image(), link::Bytes(link::kImageSize, 0));
    EXPECT_EQ(c.centre.counters().rejected, 3u);
    EXPECT_EQ(c.status().size(), 50u);  // and the line still works
}

// What a noisy line can bring; each row gives the bytes and the codes of the
// answers expected (0x44 = status frame), in order.
TEST(CentreLine, GarbageIsIgnoredAndRequestsAreFoundAfterIt) {
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"1B 11 00 0B", ""},                         // bad checksum
        {"1B 42 00 59", ""},                         // unknown code, checksum right
        {"1B 11 01 00 0B", ""},                      // length that does not fit the code
        {"00 FF 0A 1B 11 00 0A", "44"},              // noise before a request
        {"1B 1B 11 00 0A", "44"},                    // doubled ESC
        {"1B 22 06 1B 11 00 0A 00 00 00", "44"},     // bad frame hiding a request
        {"1B 11 00 0A 1B EE 02 00 00 F7", "44 EE"},  // two requests at once
        {"1B 11 00 0A 1B 11", "44"},                 // the next one not finished yet
    };
    for (const auto& [input, expected] : cases) {
        CentreOnManualClock c;
        std::string codes;
        for (const auto& a : c.centre.receive(hexBytes(input)))
            codes += (codes.empty() ? "" : " ") + hexOf(link::Bytes{a.bytes[1]});
        EXPECT_EQ(codes, expected) << input;
        EXPECT_EQ(c.centre.view().gmtSeconds, toSeconds(utcTime(2024, 5, 17, 12, 34, 56))) << input;
    }
}

TEST(CentreLine, RequestSplitOverReadsIsAnsweredOnceComplete) {
    CentreOnManualClock c;
    EXPECT_TRUE(c.centre.receive(hexBytes("1B 11")).empty());
    EXPECT_TRUE(c.centre.hasPartialRequest());
    EXPECT_EQ(c.centre.receive(hexBytes("00 0A")).size(), 1u);
    EXPECT_FALSE(c.centre.hasPartialRequest());
}

// A lone start of a frame swallows the request after it until the line has
// been quiet; then the request is found and answered.
TEST(CentreLine, QuietLineGivesUpAStaleStart) {
    CentreOnManualClock c;
    EXPECT_TRUE(c.centre.receive(hexBytes("1B 22 06")).empty());
    EXPECT_TRUE(c.centre.receive(hexBytes("1B 11 00 0A")).empty());
    const auto answers = c.centre.lineQuiet();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].bytes.size(), 50u);
    EXPECT_FALSE(c.centre.hasPartialRequest());
}

}  // namespace
}  // namespace kt64::test
