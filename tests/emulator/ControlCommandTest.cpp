// The control language: settings changed while the centre runs, shown in its
// next status frame; refused commands leave it unchanged; the command list
// saved to and loaded from a file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "CentreTestSupport.h"
#include "ControlCommand.h"
#include "TestEnvironment.h"

namespace kt64::test {
using namespace kt64::sim;
namespace {

TEST(ControlCommand, SettingsShowInTheNextStatus) {
    const std::vector<std::pair<const char*, std::vector<std::pair<int, std::uint8_t>>>> rows = {
        {"set alarm 0xC1", {{19, 0xC1}, {20, 0x00}, {21, 0x00}}},
        {"set alarm 0x00,0x40,1", {{19, 0x00}, {20, 0x40}, {21, 0x01}}},
        {"set source none", {{44, 0x00}}},
        {"set source 0x55", {{44, 0x55}}},
        {"set relays 1", {{45, 0x11}}},
        {"set interface 485", {{46, 0x22}}},
        {"set firmware 1.A", {{48, 0x1A}}},
        {"set model 0x65", {{22, 0x65}}},
        {"set serial 0A/1B2C", {{23, 0x0A}, {24, 0x1B}, {25, 0x2C}}},
        {"set offset -01:30", {{30, 0x30}, {31, 0x01}, {32, 0x01}, {12, 0x12}}},  // 12:34 - 1:30 + summer
        {"set change off", {{40, 0x00}, {41, 0x01}, {12, 0x13}}},
        {"set to-summer 1,3,2", {{33, 0x01}, {34, 0x03}, {35, 0x03}, {39, 0x23}}},
        {"set to-winter 4,11,5", {{36, 0x04}, {37, 0x24}, {38, 0x11}, {39, 0x25}}},
        {"set line-time 07:15", {{17, 0x15}, {18, 0x07}}},
        {"set analog off", {{42, 0x00}}},
        {"set digital off", {{43, 0x00}}},
        {"set digital-type hm", {{47, 0x00}}},
        {"set gmt 2024-01-02 03:04:05", {{3, 0x05}, {4, 0x04}, {5, 0x03}, {6, 0x02}, {7, 0x01}, {8, 0x24}}},
    };
    for (const auto& [line, expected] : rows) {
        CentreOnManualClock c;
        EXPECT_EQ(runControl(c.centre, line, *c.clock), "ok") << line;
        const auto s = c.status();
        for (const auto& [offset, value] : expected)
            EXPECT_EQ(s[offset], value) << line << ": status byte " << offset << " of " << hexOf(s);
    }
    // kt64sim offers --NAME for exactly these settings.
    std::set<std::string> tried;
    for (const auto& row : rows) {
        const std::string line = row.first;
        tried.insert(line.substr(4, line.find(' ', 4) - 4));
    }
    EXPECT_EQ(tried, std::set<std::string>(std::begin(kSettingNames), std::end(kSettingNames)));
}

TEST(ControlCommand, RefusedCommandsSayWhyAndChangeNothing) {
    for (const char* line : {"set offset 24:00",
                             "set offset +1:00",
                             "set to-summer 5,3,2",
                             "set to-summer 0,13,2",
                             "set to-winter 0,10,10",
                             "set serial 0A1B2C",
                             "set alarm 0x100",
                             "set alarm 1,2",
                             "set gmt 2100-01-01 00:00",
                             "set gmt 2024-02-30 00:00",
                             "set gmt yesterday",
                             "set firmware 1.23",
                             "set change maybe",
                             "set bogus 1",
                             "set",
                             "fault late",
                             "get nothing",
                             "image load",
                             "jump",
                             ""}) {
        CentreOnManualClock c;
        const auto before = c.status();
        const auto reply = runControl(c.centre, line, *c.clock);
        EXPECT_EQ(reply.rfind("error: ", 0), 0u) << line << " -> " << reply;
        EXPECT_EQ(c.status(), before) << line;
    }
}

TEST(ControlCommand, GetAnswersWithTheCurrentValues) {
    CentreOnManualClock c;
    EXPECT_EQ(runControl(c.centre, "fault ack-refuse 7 once", *c.clock), "ok");
    EXPECT_EQ(runControl(c.centre, "get fault", *c.clock), "ok ack-refuse 7 once");
    EXPECT_EQ(runControl(c.centre, "get status", *c.clock), "ok " + hexOf(c.centre.statusFrame()));
    const auto state = runControl(c.centre, "get state", *c.clock);
    EXPECT_NE(state.find("gmt=2024-05-17 12:34:56 local=2024-05-17 14:34:56 summer=1"), std::string::npos) << state;
    EXPECT_NE(state.find("fault=ack-refuse 7 once"), std::string::npos) << state;
    // The centre's GMT against the PC's clock, to the millisecond.
    EXPECT_EQ(runControl(c.centre, "get correction", *c.clock), "ok +0");
    c.clock->advance(std::chrono::milliseconds(250));
    EXPECT_EQ(runControl(c.centre, "set gmt 2024-05-17 12:33:56", *c.clock), "ok");
    EXPECT_EQ(runControl(c.centre, "get correction", *c.clock), "ok -60250");
}

TEST(ControlCommand, CommandListGoesToAFileAndBack) {
    const kt64::test::TempDir dir;
    const auto path = (dir.path() / "kt64sim-image").string();
    CentreOnManualClock a, b;
    link::Bytes image(link::kImageSize);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i ^ (i >> 8));
    a.centre.setImage(image);
    EXPECT_EQ(runControl(a.centre, "image save " + path, *a.clock), "ok");
    EXPECT_EQ(runControl(b.centre, "image load " + path, *b.clock), "ok");
    EXPECT_EQ(b.centre.image(), image);

    std::filesystem::resize_file(path, 2904);
    EXPECT_EQ(runControl(b.centre, "image load " + path, *b.clock).rfind("error: ", 0), 0u);
    std::filesystem::remove(path);
    EXPECT_EQ(runControl(b.centre, "image load " + path, *b.clock).rfind("error: ", 0), 0u);
    EXPECT_EQ(b.centre.image(), image);
}

}  // namespace
}  // namespace kt64::test
