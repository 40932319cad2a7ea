// The loopback network as tests use it: a port nobody listens on, whether
// something listens on a port, and a TCP relay in front of a server whose
// connections a test can cut (a network blip, a proxy reset) or silence (a
// network that stops carrying packets while the connections stay open), and
// which counts the keepalive pings that cross it.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

namespace kt64::test {

inline sockaddr_in loopbackAddress(std::uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    return addr;
}

// A loopback port nobody listens on right now.
inline std::uint16_t freeTcpPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr = loopbackAddress(0);
    socklen_t length = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
    ::close(fd);
    return ntohs(addr.sin_port);
}

// True once something accepts connections on the loopback port.
inline bool listening(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in addr = loopbackAddress(port);
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

// The PING frames in one direction of a cleartext HTTP/2 connection, as the
// bytes pass: every frame starts with a 9-byte header (length 3 bytes, type,
// flags, stream 4 bytes); PING is type 6 and its answer carries the ACK flag
// (1). The client's direction starts with a 24-byte preface.
class Http2PingCount {
public:
    explicit Http2PingCount(std::size_t preface) : skip_(preface) {}
    void pass(const unsigned char* data, std::size_t size) {
        for (std::size_t i = 0; i < size;) {
            if (skip_ > 0) {
                const std::size_t n = std::min(skip_, size - i);
                skip_ -= n;
                i += n;
                continue;
            }
            header_[have_++] = data[i++];
            if (have_ < sizeof header_) continue;
            have_ = 0;
            skip_ = (std::size_t{header_[0]} << 16) | (std::size_t{header_[1]} << 8) | header_[2];
            if (header_[3] == 6) ++((header_[4] & 1) != 0 ? answers_ : pings_);
        }
    }
    int pings() const { return pings_; }
    int answers() const { return answers_; }

private:
    std::size_t skip_;
    unsigned char header_[9]{};
    std::size_t have_ = 0;
    int pings_ = 0, answers_ = 0;
};

// Relays every connection to its own port on to the target port of the
// loopback, from one thread, each held back for holdBack first (a slow
// link). Silenced, it passes nothing more and accepts no new connection, but
// keeps every connection open.
class TcpRelay {
public:
    explicit TcpRelay(std::uint16_t target, std::chrono::milliseconds holdBack = std::chrono::milliseconds(0))
        : target_(target), holdBack_(holdBack) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr = loopbackAddress(0);
        socklen_t length = sizeof addr;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listener_, 16) != 0) {
            ::close(listener_);
            throw std::runtime_error("the relay cannot listen");
        }
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &length);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~TcpRelay() {
        ending_ = true;
        thread_.join();
        for (const auto& [client, server] : pairs_) {
            ::close(client);
            ::close(server);
        }
        ::close(listener_);
    }
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    std::uint16_t port() const { return port_; }
    // Connections relayed so far.
    int accepted() const { return accepted_; }
    // Drops every connection relayed so far, at both ends.
    void cutAll() {
        std::lock_guard lock(mutex_);
        for (const auto& [client, server] : pairs_) {
            ::shutdown(client, SHUT_RDWR);
            ::shutdown(server, SHUT_RDWR);
        }
    }
    void silence() { silent_ = true; }
    // Silent, with a request from a client waiting at the relay.
    bool holding() const { return holding_; }
    // Pings the servers sent (not answers to the clients' own) that the
    // clients answered, over every connection so far.
    int serverPingsAnswered() const {
        std::lock_guard lock(mutex_);
        int answered = 0;
        for (const Connection& c : connections_) answered += std::min(c.fromServer.pings(), c.fromClient.answers());
        return answered;
    }

private:
    void run() {
        while (!ending_) {
            std::vector<pollfd> watched{{listener_, POLLIN, 0}};
            {
                std::lock_guard lock(mutex_);
                for (const auto& [client, server] : pairs_) {
                    watched.push_back({client, POLLIN, 0});
                    watched.push_back({server, POLLIN, 0});
                }
            }
            if (::poll(watched.data(), watched.size(), 20) <= 0) continue;
            if (silent_) {
                // Nothing passes; what waits stays unread.
                for (std::size_t i = 1; i < watched.size(); i += 2)
                    if (watched[i].revents & POLLIN) holding_ = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            if (watched[0].revents & POLLIN) accept();
            std::lock_guard lock(mutex_);
            // pairs_ has not changed but for an accepted pair at its end.
            std::vector<std::size_t> ended;
            for (std::size_t i = 1; i < watched.size(); ++i) {
                if (!(watched[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                const std::size_t pair = (i - 1) / 2;
                const bool fromClient = (i - 1) % 2 == 0;
                const int from = fromClient ? pairs_[pair].first : pairs_[pair].second;
                const int to = fromClient ? pairs_[pair].second : pairs_[pair].first;
                Connection& c = connections_[pairConnection_[pair]];
                if (!pass(from, to, fromClient ? c.fromClient : c.fromServer) &&
                    (ended.empty() || ended.back() != pair))
                    ended.push_back(pair);
            }
            for (auto it = ended.rbegin(); it != ended.rend(); ++it) {
                ::close(pairs_[*it].first);
                ::close(pairs_[*it].second);
                pairs_.erase(pairs_.begin() + static_cast<std::ptrdiff_t>(*it));
                pairConnection_.erase(pairConnection_.begin() + static_cast<std::ptrdiff_t>(*it));
            }
        }
    }
    void accept() {
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) return;
        std::this_thread::sleep_for(holdBack_);
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in addr = loopbackAddress(target_);
        if (::connect(server, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(client);
            ::close(server);
            return;
        }
        std::lock_guard lock(mutex_);
        pairs_.emplace_back(client, server);
        pairConnection_.push_back(connections_.size());
        connections_.emplace_back();
        ++accepted_;
    }
    // One read from one end written whole to the other; false once either
    // end has closed or failed.
    static bool pass(int from, int to, Http2PingCount& pings) {
        unsigned char buffer[16384];
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n <= 0) return false;
        pings.pass(buffer, static_cast<std::size_t>(n));
        for (ssize_t sent = 0; sent < n;) {
            const ssize_t w = ::send(to, buffer + sent, static_cast<std::size_t>(n - sent), MSG_NOSIGNAL);
            if (w <= 0) return false;
            sent += w;
        }
        return true;
    }

    std::uint16_t target_;
    std::chrono::milliseconds holdBack_;
    std::uint16_t port_ = 0;
    int listener_ = -1;
    struct Connection {
        Http2PingCount fromClient{24}, fromServer{0};
    };
    mutable std::mutex mutex_;
    std::vector<std::pair<int, int>> pairs_;   // (client, server)
    std::vector<Connection> connections_;      // every connection's, kept after it ends
    std::vector<std::size_t> pairConnection_;  // each pair's in connections_
    std::atomic<int> accepted_{0};
    std::atomic<bool> silent_{false}, holding_{false}, ending_{false};
    std::thread thread_;
};

}  // namespace kt64::test
