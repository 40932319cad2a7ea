// SerialPort: the serial port that the link server opens exclusively to
// talk to the centre, on Linux termios. It keeps the Windows port's contract:
// open closes a port that is already open, read and write are one call each
// returning byte counts, and every failing system call throws
// SerialPortError with errno and the system's text. It knows devices by
// path only; which device a port number COM<n> names is the link server's
// business (PortOpener.h).
//
// Read time-outs keep the Windows COMMTIMEOUTS meaning (all in ms):
//   total    = ReadTotalTimeoutMultiplier * n + ReadTotalTimeoutConstant
//              (no total limit when both are 0)
//   interval = ReadIntervalTimeout: after the first byte, a gap longer than
//              this ends the read early (0 = not used)
//   interval = MAXDWORD with both total values 0: return at once with what
//              is already waiting.
// The link server sets interval 100, multiplier 1, constant 1500, so a read
// of 50 bytes from a silent line returns 0 after 1550 ms.
//
// Once the first byte of a read is in, the rest cannot come faster than the
// line's rate: the read sleeps through the characters still on their way
// (readSleep) instead of waking for every byte, and watches the line again
// only for the last two. A gap is then seen up to eight characters late
// (17 ms at 4800 baud), well inside the 100 ms the centre's interval allows.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "ByteLink.h"
#include "LineSettings.h"
#include "SerialPortError.h"
#include "UniqueFd.h"

namespace kt64::serial {

inline constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;

struct CommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;

    friend bool operator==(const CommTimeouts&, const CommTimeouts&) = default;
};

// Where a port starts before anyone sets its time-outs: no read blocks for
// ever (100 ms between bytes, 1 ms a byte, 1500 ms over all).
inline constexpr CommTimeouts kBoundedTimeouts{100, 1, 1500, 0, 0};

// How long a read still missing `missing` characters may sleep without
// looking at the line, at characterTime a character: the time of all but the
// last two of them (those it waits for on the line, so that the read ends as
// soon as the last byte is in), at most eight characters (a gap must still
// end the read about an interval after the last byte). Zero: wait on the
// line for the next byte.
std::chrono::nanoseconds readSleep(std::size_t missing, std::chrono::nanoseconds characterTime);

class SerialPort : public ByteLink {
public:
    SerialPort() = default;
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Closes the port when open, then opens the device at path and
    // configures it. overlapped is accepted for the caller's sake; I/O is
    // always synchronous. After a failed configuration the port stays open.
    // The defaults are a serial device's usual 9600 8N1; what the centre's
    // line needs is the protocol's (CentreLine.h).
    void openDevice(const std::string& path, int baud = 9600, Parity parity = Parity::None, int dataBits = 8,
                    StopBits stopBits = StopBits::One, FlowControl flow = FlowControl::None, bool overlapped = false);
    void close() noexcept;
    bool isOpen() const noexcept { return static_cast<bool>(fd_); }
    const std::string& devicePath() const noexcept { return path_; }

    std::size_t read(std::span<std::uint8_t> buffer) override;
    std::size_t write(std::span<const std::uint8_t> bytes) override;
    void discardInput() override;

    // The kernel's tty buffers have a fixed size; the sizes are only checked.
    void setupQueues(int inputSize, int outputSize);
    CommTimeouts getTimeouts() const;
    void setTimeouts(const CommTimeouts& timeouts);
    // Raise the modem control lines (TIOCMBIS).
    void setRts();
    void setDtr();

private:
    void requireOpen() const;
    void raiseLine(int bit);

    UniqueFd fd_;
    bool isPty_ = false;
    std::string path_;
    std::chrono::nanoseconds characterTime_{0};
    // A fresh port starts with bounded time-outs so that no read can block
    // for ever.
    CommTimeouts timeouts_ = kBoundedTimeouts;
};

}  // namespace kt64::serial
