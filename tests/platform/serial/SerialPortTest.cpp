// The serial port over a pseudo-terminal: read time-outs (silent line, a
// sender that stops), what a read sleeps through, exclusive open, reopening,
// a device that vanishes, the line settings that reach the tty, and the
// centre's opening sequence.
// Timings use generous tolerances: the machine is shared.
#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "PseudoTerminal.h"
#include "SerialPort.h"
#include "TestEnvironment.h"

namespace kt64::test {
namespace {

using namespace kt64::serial;

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// Expects fn to throw SerialPortError with this errno and the system's
// text, followed by the device path in brackets for a failed open.
template <class Fn>
void expectSystemError(Fn fn, int error, const std::string& device = {}) {
    try {
        fn();
        ADD_FAILURE() << "no exception, expected errno " << error;
    } catch (const SerialPortError& e) {
        EXPECT_EQ(e.error(), error) << e.message();
        EXPECT_EQ(e.message(), device.empty() ? systemText(error) : systemText(error) + " (" + device + ")");
        EXPECT_FALSE(e.message().empty());
    }
}

TEST(SerialPort, SilentLineReadReturnsNothingAfterTheTotalTimeout) {
    PseudoTerminal pty;
    SerialPort port;
    port.openDevice(pty.slavePath());
    port.setTimeouts(kBoundedTimeouts);
    std::uint8_t buf[50];
    auto t0 = Clock::now();
    EXPECT_EQ(port.read(buf), 0u);
    double s = secondsSince(t0);
    std::printf("silent line, read of 50: returned after %.3f s (1.550 s expected)\n", s);
    EXPECT_GT(s, 1.50);  // 50 x 1 ms + 1500 ms
    EXPECT_LT(s, 3.0);
}

TEST(SerialPort, ReadEndsAboutAGapAfterTheLastByte) {
    PseudoTerminal pty;
    SerialPort port;
    port.openDevice(pty.slavePath());
    port.setTimeouts(kBoundedTimeouts);
    Clock::time_point lastSent;
    std::thread sender([&] {
        // 20 bytes in four pieces 30 ms apart (gaps under the 100 ms limit).
        for (int piece = 0; piece < 4; ++piece) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            Bytes five(5, static_cast<std::uint8_t>(piece));
            pty.writeMaster(five);
        }
        lastSent = Clock::now();
    });
    std::uint8_t buf[50];
    std::size_t n = port.read(buf);
    sender.join();
    double gap = secondsSince(lastSent);
    std::printf("sender stopped after 20 bytes: read returned %zu, %.3f s after the last (0.100 s expected)\n", n, gap);
    EXPECT_EQ(n, 20u);
    EXPECT_EQ(buf[19], 3);
    EXPECT_GT(gap, 0.09);
    EXPECT_LT(gap, 0.9);
}

TEST(SerialPort, CompleteAnswerReturnsAtOnceAndLateBytesWaitForTheNextRead) {
    PseudoTerminal pty;
    SerialPort port;
    port.openDevice(pty.slavePath());
    Bytes sixty(60);
    for (std::size_t i = 0; i < sixty.size(); ++i) sixty[i] = static_cast<std::uint8_t>(i);
    pty.writeMaster(sixty);
    std::uint8_t buf[50];
    auto t0 = Clock::now();
    EXPECT_EQ(port.read(buf), 50u);
    EXPECT_LT(secondsSince(t0), 0.5);
    // Nothing is purged between reads.
    EXPECT_EQ(port.read(std::span(buf, 10)), 10u);
    EXPECT_EQ(buf[0], 50);
    EXPECT_EQ(buf[9], 59);

    // And the other direction: one write, every byte arrives unchanged.
    const Bytes request{0x1B, 0x11, 0x00, 0x0A, 0x0D, 0x0A, 0x11, 0x13, 0x7F, 0xFF};
    EXPECT_EQ(port.write(request), request.size());
    Bytes got(request.size());
    EXPECT_EQ(pty.readMaster(got, std::chrono::milliseconds(1000)), request.size());
    EXPECT_EQ(got, request);
}

TEST(SerialPort, TimeoutVariants) {
    PseudoTerminal pty;
    SerialPort port;
    port.openDevice(pty.slavePath());
    std::uint8_t buf[8];
    // Interval MAXDWORD, no totals: at once with what is waiting.
    port.setTimeouts({kMaxDword, 0, 0, 0, 0});
    auto t0 = Clock::now();
    EXPECT_EQ(port.read(buf), 0u);
    EXPECT_LT(secondsSince(t0), 0.2);
    pty.writeMaster(Bytes{1, 2, 3});
    // Each read returns at once with what has arrived so far; the three
    // bytes come in whole, however the pseudo-terminal hands them over.
    std::size_t got = 0;
    EXPECT_TRUE(eventually([&] {
        got += port.read(std::span(buf).subspan(got));
        return got >= 3;
    }));
    EXPECT_EQ(got, 3u);
    // Total constant only, no interval: waits the whole 300 ms for all bytes.
    port.setTimeouts({0, 0, 300, 0, 0});
    pty.writeMaster(Bytes{1, 2});
    t0 = Clock::now();
    EXPECT_EQ(port.read(buf), 2u);
    EXPECT_GT(secondsSince(t0), 0.28);
    EXPECT_EQ(port.getTimeouts(), (CommTimeouts{0, 0, 300, 0, 0}));
}

// What a read still missing some characters of its answer may sleep through
// before it looks at the line again: never the last two (the read must end
// as the last byte comes), never more than eight at a time (a gap must end
// it about an interval after the last byte).
TEST(SerialPort, ReadSleepsThroughTheCharactersOnTheirWay) {
    using std::chrono::nanoseconds;
    const nanoseconds character{2'083'333};  // 4800 baud, 8N1
    struct Row {
        const char* what;
        std::size_t missing;
        nanoseconds characterTime;
        nanoseconds sleep;
    };
    const Row rows[] = {
        {"status frame after its first byte", 49, character, 8 * character},
        {"record answer after its first byte", 12, character, 8 * character},
        {"acknowledgement after its first byte", 5, character, 3 * character},
        {"three to come", 3, character, character},
        {"the last two: watched", 2, character, nanoseconds{0}},
        {"the last one: watched", 1, character, nanoseconds{0}},
        {"nothing missing", 0, character, nanoseconds{0}},
        {"no rate known (closed port)", 49, nanoseconds{0}, nanoseconds{0}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(readSleep(r.missing, r.characterTime), r.sleep);
    }
}

TEST(SerialPort, SecondOpenOfAHeldDeviceFailsWithTheSystemsText) {
    PseudoTerminal pty;
    SerialPort first;
    first.openDevice(pty.slavePath());
    SerialPort second;
    expectSystemError([&] { second.openDevice(pty.slavePath()); }, EBUSY, pty.slavePath());
    EXPECT_FALSE(second.isOpen());
    EXPECT_TRUE(first.isOpen());
    first.close();
    EXPECT_FALSE(first.isOpen());
    second.openDevice(pty.slavePath());  // free again once closed
    EXPECT_TRUE(second.isOpen());
}

TEST(SerialPort, ReopeningAnOpenPortClosesItFirst) {
    PseudoTerminal pty;
    SerialPort port;
    port.openDevice(pty.slavePath());
    port.openDevice(pty.slavePath());
    port.openDevice(pty.slavePath(), 9600);
    ASSERT_TRUE(port.isOpen());
    pty.writeMaster(Bytes{0x42});
    std::uint8_t b = 0;
    EXPECT_EQ(port.read(std::span(&b, 1)), 1u);
    EXPECT_EQ(b, 0x42);
    // Reopening onto another device releases the first one.
    PseudoTerminal other;
    port.openDevice(other.slavePath());
    SerialPort again;
    again.openDevice(pty.slavePath());
    EXPECT_TRUE(again.isOpen());
}

TEST(SerialPort, MissingDeviceAndClosedPort) {
    SerialPort port;
    expectSystemError([&] { port.openDevice("/dev/kt64-no-such-device"); }, ENOENT, "/dev/kt64-no-such-device");
    EXPECT_FALSE(port.isOpen());
    std::uint8_t b;
    expectSystemError([&] { port.read(std::span(&b, 1)); }, EBADF);
    expectSystemError([&] { port.write(std::span(&b, 1)); }, EBADF);
    port.close();  // closing a closed port does nothing
}

TEST(SerialPort, VanishedDeviceFailsReadAndWrite) {
    for (bool pending : {false, true}) {
        SCOPED_TRACE(pending ? "while reading" : "before reading");
        PseudoTerminal pty;
        SerialPort port;
        port.openDevice(pty.slavePath());
        std::uint8_t buf[50];
        if (pending) {
            std::thread pull([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                pty.closeMaster();
            });
            auto t0 = Clock::now();
            expectSystemError([&] { port.read(buf); }, EIO);
            pull.join();
            EXPECT_LT(secondsSince(t0), 1.4);  // not the full time-out
        } else {
            pty.closeMaster();
            expectSystemError([&] { port.read(buf); }, EIO);
        }
        expectSystemError([&] { port.write(std::span(buf, 4)); }, EIO);
        port.close();
    }
}

// The mapping onto termios, checked on the structure itself: a pty forces 8
// data bits and no parity whatever it is given. Beside it the time a
// character takes at 4800 baud, which paces the port's reads.
TEST(LineSettings, ParityDataAndStopBits) {
    struct Row {
        Parity parity;
        int dataBits;
        StopBits stop;
        tcflag_t set, clear;
        std::chrono::nanoseconds character;
    };
    using std::chrono::nanoseconds;
    const Row rows[] = {
        {Parity::None, 8, StopBits::One, CS8, PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS, nanoseconds{2'083'333}},
        {Parity::Even, 7, StopBits::Two, CS7 | PARENB | CSTOPB, PARODD | CMSPAR, nanoseconds{2'291'666}},
        {Parity::Odd, 8, StopBits::One, CS8 | PARENB | PARODD, CMSPAR | CSTOPB, nanoseconds{2'291'666}},
        {Parity::Mark, 8, StopBits::One, CS8 | PARENB | CMSPAR | PARODD, CSTOPB, nanoseconds{2'291'666}},
        {Parity::Space, 6, StopBits::One, CS6 | PARENB | CMSPAR, PARODD | CSTOPB, nanoseconds{1'875'000}},
        {Parity::None, 5, StopBits::OneAndHalf, CS5 | CSTOPB, PARENB, nanoseconds{1'562'500}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(static_cast<int>(r.parity));
        EXPECT_EQ(characterTime(4800, r.parity, r.dataBits, r.stop), r.character);
        termios tio{};
        tio.c_cflag = CRTSCTS | PARODD | CMSPAR | CSTOPB | PARENB | CS8;  // dirt left by an earlier user
        tio.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
        tio.c_iflag = IXON | IXOFF | ICRNL | ISTRIP;
        tio.c_oflag = OPOST;
        tio.c_cc[VMIN] = 1;
        ASSERT_EQ(applyLineSettings(tio, 4800, r.parity, r.dataBits, r.stop, FlowControl::None), 0);
        EXPECT_EQ(tio.c_cflag & CSIZE, r.set & CSIZE);
        EXPECT_EQ(tio.c_cflag & (r.set & ~CSIZE), r.set & ~CSIZE);
        EXPECT_EQ(tio.c_cflag & r.clear, 0u);
        EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
        EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B4800));
        EXPECT_EQ(::cfgetispeed(&tio), static_cast<speed_t>(B4800));
        EXPECT_EQ(tio.c_lflag, 0u);
        EXPECT_EQ(tio.c_iflag, 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        EXPECT_EQ(tio.c_cc[VMIN], 0);
    }
    termios tio{};
    EXPECT_EQ(applyLineSettings(tio, 4801, Parity::None, 8, StopBits::One, FlowControl::None), EINVAL);
    EXPECT_EQ(applyLineSettings(tio, 4800, Parity::None, 9, StopBits::One, FlowControl::None), EINVAL);
    EXPECT_EQ(applyLineSettings(tio, 4800, Parity::None, 8, StopBits::OneAndHalf, FlowControl::None), EINVAL);
    EXPECT_EQ(applyLineSettings(tio, 4800, static_cast<Parity>(5), 8, StopBits::One, FlowControl::None), EINVAL);
    EXPECT_EQ(applyLineSettings(tio, 4800, Parity::None, 8, StopBits::One, static_cast<FlowControl>(1)), EINVAL);
}

TEST(SerialPort, OpenPutsTheTtyInRawModeAtTheRateAsked) {
    PseudoTerminal pty;
    // Whatever mode the last user left behind.
    termios dirty{};
    ASSERT_EQ(::tcgetattr(pty.masterFd(), &dirty), 0);
    dirty.c_lflag |= ICANON | ECHO;
    dirty.c_iflag |= ICRNL;
    ASSERT_EQ(::tcsetattr(pty.masterFd(), TCSANOW, &dirty), 0);

    SerialPort port;
    port.openDevice(pty.slavePath(), 4800, Parity::None, 8, StopBits::Two);
    termios tio{};
    ASSERT_EQ(::tcgetattr(pty.masterFd(), &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B4800));
    EXPECT_EQ(tio.c_cflag & CSTOPB, static_cast<tcflag_t>(CSTOPB));
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL), 0u);

    // Settings the line cannot take fail, and the port stays open.
    expectSystemError([&] { port.openDevice(pty.slavePath(), 4800, Parity::None, 9); }, EINVAL, pty.slavePath());
    EXPECT_TRUE(port.isOpen());
    expectSystemError([&] { port.openDevice(pty.slavePath(), 4801); }, EINVAL, pty.slavePath());
    EXPECT_TRUE(port.isOpen());
}

TEST(PseudoTerminal, HangUpVisibleOnlyWithoutTheHeldSlave) {
    PseudoTerminal bare(false);
    std::uint8_t b;
    EXPECT_EQ(bare.readMaster(std::span(&b, 1), std::chrono::milliseconds(50)), 0u);
    PseudoTerminal moved = std::move(bare);
    EXPECT_EQ(bare.masterFd(), -1);
    EXPECT_GE(moved.masterFd(), 0);
    SerialPort port;
    port.openDevice(moved.slavePath());
    port.write(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>("x"), 1));
    EXPECT_EQ(moved.readMaster(std::span(&b, 1), std::chrono::milliseconds(500)), 1u);
    EXPECT_EQ(b, 'x');
}

}  // namespace
}  // namespace kt64::test
