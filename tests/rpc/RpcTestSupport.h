// Shared pieces of the client library tests: a throw-away registry that
// KT64_REGISTRY points to, a free loopback port, and polling with a
// generous limit for things that happen in other threads or processes.
#pragma once

#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace kt64::testing {

class ScopedRegistry {
public:
    ScopedRegistry() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kt64rpc-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        dir_ = pattern;
        ::setenv("KT64_REGISTRY", (dir_ / "registry.db").c_str(), 1);
    }
    ~ScopedRegistry() {
        ::unsetenv("KT64_REGISTRY");
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    ScopedRegistry(const ScopedRegistry&) = delete;
    ScopedRegistry& operator=(const ScopedRegistry&) = delete;

    const std::filesystem::path& dir() const { return dir_; }

private:
    std::filesystem::path dir_;
};

// A loopback port nobody listens on right now.
inline int freePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

template <class Pred>
bool waitUntil(Pred pred, std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace kt64::testing
