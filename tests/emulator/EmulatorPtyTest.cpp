// The emulator serving a pty: a client opens it like a serial port and
// exchanges frames; faults change while it runs; a closed and reopened port
// starts clean; the symlink comes and goes with the emulator.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "CentreEmulator.h"
#include "CentreTestSupport.h"
#include "LineClient.h"
#include "TestEnvironment.h"

namespace kt64::test {
using namespace kt64::sim;
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const link::Bytes kStatusRequest{0x1B, 0x11, 0x00, 0x0A};

EmulatorOptions optionsAt2024() {
    EmulatorOptions o;
    o.settings.startGmt = utcTime(2024, 5, 17, 12, 34, 56);
    return o;
}

TEST(EmulatorPty, ClientExchangesStatusAndSeesFaultsChangeWhileServing) {
    CentreEmulator centre(optionsAt2024());
    centre.start();
    LineClient client(centre.devicePath());

    auto answer = client.exchange(kStatusRequest, 50);
    ASSERT_EQ(answer.size(), 50u);
    EXPECT_EQ(link::xorOf(answer), 0);
    EXPECT_EQ(hexOf(link::ByteSpan(answer).subspan(6, 3)), "17 05 24");

    centre.setFault(*parseFault("checksum once"));
    answer = client.exchange(kStatusRequest, 50);
    ASSERT_EQ(answer.size(), 50u);
    EXPECT_NE(link::xorOf(answer), 0);

    EXPECT_EQ(centre.control("set alarm 0xC1"), "ok");
    answer = client.exchange(kStatusRequest, 50);
    ASSERT_EQ(answer.size(), 50u);
    EXPECT_EQ(link::xorOf(answer), 0);
    EXPECT_EQ(answer[19], 0xC1);

    centre.setFault(*parseFault("silent"));
    EXPECT_TRUE(client.exchange(kStatusRequest, 50, 400ms).empty());
    EXPECT_EQ(centre.counters().requests, 4u);
}

// A late answer still on its way when the client closes must not greet the
// next client: a closed serial port keeps nothing.
TEST(EmulatorPty, ReopenedPortStartsClean) {
    CentreEmulator centre(optionsAt2024());
    centre.start();
    std::uint64_t closes = 0;
    {
        LineClient first(centre.devicePath());
        EXPECT_EQ(first.exchange(kStatusRequest, 50).size(), 50u);
        closes = centre.counters().lineCloses;
        centre.setFault(*parseFault("late 300 once"));
        first.send(kStatusRequest);
    }
    // A port opened again before the emulator saw it closed would look to
    // it like one that stayed open.
    ASSERT_TRUE(kt64::test::eventually([&] { return centre.counters().lineCloses == closes + 1; }));
    LineClient second(centre.devicePath());
    EXPECT_EQ(second.exchange(kStatusRequest, 50).size(), 50u);
    EXPECT_TRUE(second.receive(1, 500ms).empty()) << "a stale answer came after the fresh one";
}

// The PC's clock, each read of it stamped on the monotonic clock.
class WatchedClock final : public TimeSource {
public:
    TimePoint now() const override {
        std::lock_guard lock(mutex_);
        reads_.push_back(std::chrono::steady_clock::now());
        return std::chrono::system_clock::now();
    }
    std::vector<std::chrono::steady_clock::time_point> reads() const {
        std::lock_guard lock(mutex_);
        return reads_;
    }

private:
    mutable std::mutex mutex_;
    mutable std::vector<std::chrono::steady_clock::time_point> reads_;
};

TEST(EmulatorPty, PacedAnswerTakesTheLineTime) {
    auto options = optionsAt2024();
    options.pacing = true;
    const auto clock = std::make_shared<WatchedClock>();
    CentreEmulator centre(options, clock);
    centre.start();
    LineClient client(centre.devicePath());
    const auto t0 = std::chrono::steady_clock::now();
    const auto answer = client.exchange(kStatusRequest, 50);
    const auto took = std::chrono::steady_clock::now() - t0;
    ASSERT_EQ(answer.size(), 50u);
    EXPECT_EQ(link::xorOf(answer), 0);
    // 54 characters of 10 bits at 4800 baud: 112.5 ms; it can never be faster.
    EXPECT_GE(took, 110ms);
    // Nor can the centre read its clock for the request before the request's
    // 4 characters (8.3 ms) are in.
    const auto reads = clock->reads();
    const auto first = std::lower_bound(reads.begin(), reads.end(), t0);
    ASSERT_NE(first, reads.end());
    EXPECT_GE(*first - t0, 8ms);
}

TEST(EmulatorPty, LinkIsMadeAndRemovedAndForeignFilesAreLeftAlone) {
    kt64::test::TempDir dir;
    const auto link = dir.path() / "kt64sim-link";
    {
        auto options = optionsAt2024();
        options.linkPath = link.string();
        CentreEmulator centre(options);
        centre.start();
        EXPECT_EQ(centre.devicePath(), link.string());
        EXPECT_EQ(fs::read_symlink(link).string(), centre.ptyPath());
        LineClient client(link.string());
        EXPECT_EQ(client.exchange(kStatusRequest, 50).size(), 50u);
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));

    std::ofstream(link) << "not ours";
    auto options = optionsAt2024();
    options.linkPath = link.string();
    CentreEmulator centre(options);
    EXPECT_THROW(centre.start(), EmulatorError);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(link)));
}

}  // namespace
}  // namespace kt64::test
