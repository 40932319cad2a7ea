// A minimal serial client for the emulator's pty tests: opens a device raw at
// 4800 baud like the link server does, writes a request, reads an answer with
// a time-out, and closes on destruction.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "Frame.h"
#include "UniqueFd.h"

namespace kt64::test {
using namespace kt64::sim;

class LineClient {
public:
    explicit LineClient(const std::string& path) {
        fd_.reset(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
        if (!fd_) throw std::runtime_error("cannot open " + path);
        termios t{};
        ::tcgetattr(fd_.get(), &t);
        ::cfmakeraw(&t);
        ::cfsetspeed(&t, B4800);
        t.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(fd_.get(), TCSANOW, &t);
    }
    LineClient(const LineClient&) = delete;
    LineClient& operator=(const LineClient&) = delete;

    void send(link::ByteSpan bytes) {
        if (::write(fd_.get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            throw std::runtime_error("short write");
    }

    // Reads until count bytes are in or timeout passes.
    link::Bytes receive(std::size_t count, std::chrono::milliseconds timeout) {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + timeout;
        link::Bytes out;
        while (out.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) break;
            pollfd p{fd_.get(), POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
            std::uint8_t buf[256];
            const ssize_t n = ::read(fd_.get(), buf, std::min(sizeof buf, count - out.size()));
            if (n <= 0) break;
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }

    link::Bytes exchange(link::ByteSpan request, std::size_t count,
                         std::chrono::milliseconds timeout = std::chrono::milliseconds{3000}) {
        send(request);
        return receive(count, timeout);
    }

private:
    kt64::UniqueFd fd_;
};

}  // namespace kt64::test
