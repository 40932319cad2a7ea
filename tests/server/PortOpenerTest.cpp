// The link server's way from a port number to an open line: the COM<n>
// device mapping through a temporary registry, and the real opener's whole
// sequence on a pseudo-terminal found through it.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "CentreLine.h"
#include "PortOpener.h"
#include "PseudoTerminal.h"
#include "Registry.h"
#include "SerialPort.h"
#include "TestEnvironment.h"

namespace kt64::test {
namespace {

using namespace kt64::server;

using Bytes = std::vector<std::uint8_t>;

// Expects fn to throw SerialPortError with this errno and the system's
// text, followed by what names the device in brackets.
template <class Fn>
void expectSystemError(Fn fn, int error, const std::string& device) {
    try {
        fn();
        ADD_FAILURE() << "no exception, expected errno " << error;
    } catch (const serial::SerialPortError& e) {
        EXPECT_EQ(e.error(), error) << e.message();
        EXPECT_EQ(e.message(), serial::systemText(error) + " (" + device + ")");
    }
}

TEST(PortOpener, PortNumberNamesTheDevice) {
    TempRegistry registry;
    serial::PseudoTerminal pty;
    auto key = reg::Key::create(reg::Hive::LocalMachine, kDevicesKey);
    key.setString("COM7", pty.slavePath());
    key.setDword("COM4", 4);  // another type counts as missing
    key.setString("COM5", "");

    EXPECT_EQ(deviceNameOf(7), pty.slavePath());
    EXPECT_EQ(deviceNameOf(1), "/dev/ttyS0");
    EXPECT_EQ(deviceNameOf(4), "/dev/ttyS3");
    EXPECT_EQ(deviceNameOf(5), "/dev/ttyS4");
    EXPECT_EQ(deviceNameOf(12), "/dev/ttyS11");
    expectSystemError([] { deviceNameOf(0); }, ENOENT, "port number 0 names no device");
    expectSystemError([] { deviceNameOf(-1); }, ENOENT, "port number -1 names no device");

    // The link server's whole opening sequence through the mapping.
    SerialPortOpener opener;
    auto link = opener.open(7);
    auto& port = dynamic_cast<serial::SerialPort&>(*link);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(opener.deviceName(*link, 7), pty.slavePath());
    EXPECT_EQ(port.getTimeouts(), link::kCentreTimeouts);
    EXPECT_EQ(port.write(Bytes{0x1B, 0x11, 0x00, 0x0A}), 4u);
    Bytes got(4);
    EXPECT_EQ(pty.readMaster(got, std::chrono::milliseconds(1000)), 4u);
    EXPECT_EQ(got, (Bytes{0x1B, 0x11, 0x00, 0x0A}));

    const std::string unplugged = (registry.dir() / "unplugged").string();
    key.setString("COM8", unplugged);
    expectSystemError([&] { opener.open(8); }, ENOENT, unplugged);
}

}  // namespace
}  // namespace kt64::test
