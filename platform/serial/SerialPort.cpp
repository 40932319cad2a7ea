#include "SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <thread>
#include <utility>

#include "LineSettings.h"

namespace kt64::serial {

namespace {

using Clock = std::chrono::steady_clock;

// Unix98 pty slaves (/dev/pts/N) have majors 136..143.
bool isPtySlave(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    unsigned m = major(st.st_rdev);
    return m >= 136 && m <= 143;
}

// Milliseconds from now until t, rounded up so that poll() never wakes early.
long long msUntil(Clock::time_point t) {
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(t - Clock::now()).count();
    return us <= 0 ? 0 : (us + 999) / 1000;
}

// Characters a read leaves to the line's own wake-up at the end of what it
// asks for, and the most it sleeps through at a time.
constexpr std::size_t kWatchedCharacters = 2;
constexpr std::size_t kCharactersPerSleep = 8;

// A failed open names the device beside the system's text: the operator
// must see which path was tried, not only why it failed.
SerialPortError openFailure(int error, const std::string& path) {
    return SerialPortError(error, systemText(error) + " (" + path + ")");
}

}  // namespace

std::chrono::nanoseconds readSleep(std::size_t missing, std::chrono::nanoseconds characterTime) {
    if (missing <= kWatchedCharacters) return std::chrono::nanoseconds{0};
    const auto characters = std::min(missing - kWatchedCharacters, kCharactersPerSleep);
    return characterTime * static_cast<long long>(characters);
}

SerialPort::~SerialPort() { close(); }

void SerialPort::openDevice(const std::string& path, int baud, Parity parity, int dataBits, StopBits stopBits,
                            FlowControl flow, bool /*overlapped*/) {
    close();
    // O_NONBLOCK: open must not wait for carrier, and reads are timed by poll.
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) throw openFailure(errno, path);

    // Exclusive use. The advisory lock keeps out every other program that
    // locks the device (and, unlike TIOCEXCL, also a privileged one); TIOCEXCL
    // makes the kernel refuse further opens of the tty with EBUSY. A failure
    // here closes the descriptor on the way out, and the lock with it.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        int err = (errno == EWOULDBLOCK) ? EBUSY : errno;
        throw openFailure(err, path);
    }
    if (::ioctl(fd.get(), TIOCEXCL) != 0) throw openFailure(errno, path);
    fd_ = std::move(fd);
    path_ = path;
    isPty_ = isPtySlave(fd_.get());
    timeouts_ = kBoundedTimeouts;

    // From here on a failure leaves the port open, as a failed configuration
    // does on Windows; the next open or close releases it.
    termios tio{};
    if (::tcgetattr(fd_.get(), &tio) != 0) throw openFailure(errno, path);
    if (int err = applyLineSettings(tio, baud, parity, dataBits, stopBits, flow)) throw openFailure(err, path);
    if (::tcsetattr(fd_.get(), TCSANOW, &tio) != 0) throw openFailure(errno, path);
    characterTime_ = characterTime(baud, parity, dataBits, stopBits);
    // A freshly opened port starts with empty queues: nothing left over from
    // an earlier user of the line.
    ::tcflush(fd_.get(), TCIOFLUSH);
}

void SerialPort::close() noexcept {
    if (!fd_) return;
    // The exclusive flag belongs to the tty, not to this descriptor: clear it,
    // or the line stays closed to the next open while anybody else (the other
    // end's own descriptor of a pty) keeps the tty alive.
    ::ioctl(fd_.get(), TIOCNXCL);
    fd_.reset();  // also drops the advisory lock
    isPty_ = false;
    path_.clear();
    characterTime_ = std::chrono::nanoseconds{0};
}

void SerialPort::requireOpen() const {
    if (!fd_) throw SerialPortError(EBADF);
}

std::size_t SerialPort::read(std::span<std::uint8_t> buffer) {
    requireOpen();
    if (buffer.empty()) return 0;
    const CommTimeouts t = timeouts_;
    const std::size_t want = buffer.size();
    const auto start = Clock::now();

    // Special Windows combinations: MAXDWORD interval with no total time-out
    // returns at once; with a MAXDWORD multiplier and a constant it waits for
    // the first byte up to the constant and returns with what is there.
    bool immediate =
        t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
    bool firstByte = t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == kMaxDword &&
                     t.ReadTotalTimeoutConstant > 0 && t.ReadTotalTimeoutConstant < kMaxDword;

    bool hasTotal = immediate || t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0;
    std::uint64_t totalMs = 0;
    if (firstByte) {
        totalMs = t.ReadTotalTimeoutConstant;
    } else if (!immediate) {
        totalMs = std::uint64_t{t.ReadTotalTimeoutMultiplier} * want + t.ReadTotalTimeoutConstant;
    }
    const auto deadline = start + std::chrono::milliseconds(totalMs);
    const bool useInterval = t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != kMaxDword;
    const auto interval = std::chrono::milliseconds(t.ReadIntervalTimeout);

    std::size_t got = 0;
    Clock::time_point lastByte{};
    while (got < want) {
        // The rest of an answer under way comes at the line's rate: waking
        // for each of its bytes cost the worker some fifty wake-ups a status
        // frame, nearly all of the server's CPU. The sleep ends early for
        // the time-outs, so they end the read as before, a gap at most one
        // sleep late.
        if (got > 0 && !immediate && !firstByte) {
            if (const auto onTheWay = readSleep(want - got, characterTime_); onTheWay.count() > 0) {
                auto until = Clock::now() + onTheWay;
                if (hasTotal) until = std::min(until, deadline);
                if (useInterval) until = std::min(until, lastByte + interval);
                std::this_thread::sleep_until(until);
            }
        }
        // How long poll() may wait: until the total deadline, and once a
        // byte is in, no longer than the allowed gap after it.
        long long wait = hasTotal ? msUntil(deadline) : -1;
        if (useInterval && got > 0) {
            long long gap = msUntil(lastByte + interval);
            wait = (wait < 0) ? gap : std::min(wait, gap);
        }
        if (firstByte && got > 0) wait = 0;  // only what is already waiting
        pollfd p{fd_.get(), POLLIN, 0};
        int r = ::poll(&p, 1, wait > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(wait));
        if (r < 0) {
            if (errno == EINTR) continue;
            throw SerialPortError(errno);
        }
        if (r == 0) {
            if (wait == 0) break;  // a time-out ran out
            continue;
        }
        if (p.revents & POLLNVAL) throw SerialPortError(EBADF);
        if (p.revents & POLLIN) {
            ssize_t n = ::read(fd_.get(), buffer.data() + got, want - got);
            if (n > 0) {
                got += static_cast<std::size_t>(n);
                lastByte = Clock::now();
                continue;
            }
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            // End of file on a tty is a hang-up: the device has gone.
            throw SerialPortError(n == 0 ? EIO : errno);
        }
        // POLLHUP or POLLERR without data: the device has gone.
        throw SerialPortError(EIO);
    }
    return got;
}

std::size_t SerialPort::write(std::span<const std::uint8_t> bytes) {
    requireOpen();
    if (bytes.empty()) return 0;
    const CommTimeouts t = timeouts_;
    std::uint64_t totalMs = std::uint64_t{t.WriteTotalTimeoutMultiplier} * bytes.size() + t.WriteTotalTimeoutConstant;
    const bool hasTotal = totalMs != 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(totalMs);
    for (;;) {
        ssize_t n = ::write(fd_.get(), bytes.data(), bytes.size());
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno == EINTR) continue;
        if (errno != EAGAIN) throw SerialPortError(errno);
        // The output queue is full: wait for room as a blocking write would,
        // within the write time-outs when there are any.
        long long wait = hasTotal ? msUntil(deadline) : -1;
        if (hasTotal && wait == 0) return 0;
        pollfd p{fd_.get(), POLLOUT, 0};
        int r = ::poll(&p, 1, wait > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(wait));
        if (r < 0 && errno != EINTR) throw SerialPortError(errno);
        if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(p.revents & POLLOUT)) throw SerialPortError(EIO);
    }
}

void SerialPort::discardInput() {
    requireOpen();
    if (::tcflush(fd_.get(), TCIFLUSH) != 0) throw SerialPortError(errno);
    // The flush empties the line discipline's queue; bytes still on their way
    // into it (a pty pushes them asynchronously) are read off and dropped.
    // poll() decides, not read(): with the port's raw settings a read of an
    // empty queue returns 0 just like a hang-up would.
    std::uint8_t sink[256];
    for (;;) {
        pollfd p{fd_.get(), POLLIN, 0};
        const int r = ::poll(&p, 1, 0);
        if (r < 0) {
            if (errno == EINTR) continue;
            throw SerialPortError(errno);
        }
        if (r == 0) return;
        if (p.revents & POLLNVAL) throw SerialPortError(EBADF);
        if (!(p.revents & POLLIN)) throw SerialPortError(EIO);  // POLLHUP/POLLERR: the device has gone
        const ssize_t n = ::read(fd_.get(), sink, sizeof sink);
        if (n > 0) continue;
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        throw SerialPortError(n == 0 ? EIO : errno);
    }
}

void SerialPort::setupQueues(int inputSize, int outputSize) {
    requireOpen();
    if (inputSize <= 0 || outputSize <= 0) throw SerialPortError(EINVAL);
}

CommTimeouts SerialPort::getTimeouts() const {
    requireOpen();
    return timeouts_;
}

void SerialPort::setTimeouts(const CommTimeouts& timeouts) {
    requireOpen();
    timeouts_ = timeouts;
}

void SerialPort::raiseLine(int bit) {
    requireOpen();
    if (::ioctl(fd_.get(), TIOCMBIS, &bit) == 0) return;
    int err = errno;
    // A pseudo-terminal has no modem control lines and refuses the request
    // (ENOTTY or EINVAL); the emulated centre does not look at them, so on a
    // pty the request is a no-op. On a real port the failure stands.
    if (isPty_ && (err == ENOTTY || err == EINVAL)) return;
    throw SerialPortError(err);
}

void SerialPort::setRts() { raiseLine(TIOCM_RTS); }
void SerialPort::setDtr() { raiseLine(TIOCM_DTR); }

}  // namespace kt64::serial
