#include "PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "SerialException.h"

namespace kt64::serial {

PseudoTerminal::PseudoTerminal(bool holdSlave) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) throw CSerialException(errno);
    char name[128] = {};
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || ::ptsname_r(master_, name, sizeof name) != 0) {
        int err = errno;
        reset();
        throw CSerialException(err);
    }
    slavePath_ = name;

    // termios of a pty lives on the slave side; Linux lets the master set it.
    termios tio{};
    if (::tcgetattr(master_, &tio) != 0) {
        int err = errno;
        reset();
        throw CSerialException(err);
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    if (::tcsetattr(master_, TCSANOW, &tio) != 0) {
        int err = errno;
        reset();
        throw CSerialException(err);
    }
    int flags = ::fcntl(master_, F_GETFL);
    ::fcntl(master_, F_SETFL, flags | O_NONBLOCK);

    if (holdSlave) {
        heldSlave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (heldSlave_ < 0) {
            int err = errno;
            reset();
            throw CSerialException(err);
        }
    }
}

PseudoTerminal::~PseudoTerminal() { reset(); }

PseudoTerminal::PseudoTerminal(PseudoTerminal&& other) noexcept
    : master_(std::exchange(other.master_, -1)),
      heldSlave_(std::exchange(other.heldSlave_, -1)),
      slavePath_(std::move(other.slavePath_)) {}

PseudoTerminal& PseudoTerminal::operator=(PseudoTerminal&& other) noexcept {
    if (this != &other) {
        reset();
        master_ = std::exchange(other.master_, -1);
        heldSlave_ = std::exchange(other.heldSlave_, -1);
        slavePath_ = std::move(other.slavePath_);
    }
    return *this;
}

void PseudoTerminal::reset() noexcept {
    if (heldSlave_ >= 0) ::close(heldSlave_);
    if (master_ >= 0) ::close(master_);
    heldSlave_ = master_ = -1;
}

void PseudoTerminal::closeMaster() noexcept { reset(); }

void PseudoTerminal::writeMaster(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 100);
            continue;
        }
        throw CSerialException(n < 0 ? errno : EIO);
    }
}

std::size_t PseudoTerminal::readMaster(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    std::size_t got = 0;
    while (got < buffer.size()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd p{master_, POLLIN, 0};
        int r = ::poll(&p, 1, static_cast<int>(left.count()));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) throw CSerialException(errno);
        if (r == 0) break;
        ssize_t n = ::read(master_, buffer.data() + got, buffer.size() - got);
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
