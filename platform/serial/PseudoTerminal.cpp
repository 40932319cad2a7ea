#include "PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "SerialPortError.h"

namespace kt64::serial {

PseudoTerminal::PseudoTerminal(bool holdSlave) {
    // A constructor that throws runs no destructor of its own, but its
    // members' destructors do run: every failure below closes what is open.
    master_.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master_) throw SerialPortError(errno);
    const int m = master_.get();
    char name[128] = {};
    if (::grantpt(m) != 0 || ::unlockpt(m) != 0 || ::ptsname_r(m, name, sizeof name) != 0) throw SerialPortError(errno);
    slavePath_ = name;

    // termios of a pty lives on the slave side; Linux lets the master set it.
    termios tio{};
    if (::tcgetattr(m, &tio) != 0) throw SerialPortError(errno);
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    if (::tcsetattr(m, TCSANOW, &tio) != 0) throw SerialPortError(errno);
    int flags = ::fcntl(m, F_GETFL);
    ::fcntl(m, F_SETFL, flags | O_NONBLOCK);

    if (holdSlave) {
        heldSlave_.reset(::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
        if (!heldSlave_) throw SerialPortError(errno);
    }
}

PseudoTerminal::~PseudoTerminal() { reset(); }

PseudoTerminal& PseudoTerminal::operator=(PseudoTerminal&& other) noexcept {
    if (this != &other) {
        reset();
        master_ = std::move(other.master_);
        heldSlave_ = std::move(other.heldSlave_);
        slavePath_ = std::move(other.slavePath_);
    }
    return *this;
}

void PseudoTerminal::reset() noexcept {
    heldSlave_.reset();
    master_.reset();
}

void PseudoTerminal::closeMaster() noexcept { reset(); }

void PseudoTerminal::writeMaster(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(master_.get(), bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{master_.get(), POLLOUT, 0};
            ::poll(&p, 1, 100);
            continue;
        }
        throw SerialPortError(n < 0 ? errno : EIO);
    }
}

std::size_t PseudoTerminal::readMaster(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    std::size_t got = 0;
    while (got < buffer.size()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd p{master_.get(), POLLIN, 0};
        int r = ::poll(&p, 1, static_cast<int>(left.count()));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) throw SerialPortError(errno);
        if (r == 0) break;
        ssize_t n = ::read(master_.get(), buffer.data() + got, buffer.size() - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        } else {
            // EIO: no slave is open; nothing more can arrive.
            break;
        }
    }
    return got;
}

}  // namespace kt64::serial
