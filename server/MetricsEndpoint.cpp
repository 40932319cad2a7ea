// The metrics endpoint: its own listener and connection threads, the HTTP
// library's request handling on each connection.
#include "MetricsEndpoint.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <httplib.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace kt64::server {

namespace {

using Clock = std::chrono::steady_clock;

// Requests on one kept-alive connection before it is closed: a monitoring
// server reconnects, and no connection lives for ever.
constexpr std::size_t kKeepAliveRequests = 100;

// Waits until fd is ready for events (or has hung up or failed) or until
// passes; false when time ran out.
bool waitFor(int fd, short events, Clock::time_point until) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0) return false;
        pollfd watched{fd, events, 0};
        const int n = ::poll(&watched, 1, static_cast<int>(std::min<std::int64_t>(left, 1'000'000)));
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
}

// One connection's socket as the HTTP library reads and writes it, under
// the endpoint's bounds: each request must come whole within the deadline
// of its first byte and within the byte budget; what the peer sends beyond
// a request (a pipelined next one) waits in the buffer for its turn.
class BoundedStream final : public httplib::Stream {
public:
    BoundedStream(int fd, std::string ip, int port) : fd_(fd), ip_(std::move(ip)), port_(port) {}

    // Waits (up to the deadline) for the first byte of the next request and
    // starts that request's deadline and budget; false when none came.
    bool awaitRequest() {
        if (begin_ == end_) {
            if (!waitFor(fd_, POLLIN, Clock::now() + kMetricsRequestDeadline) || !fill()) return false;
        }
        deadline_ = Clock::now() + kMetricsRequestDeadline;
        budget_ = kMetricsRequestBytes;
        return true;
    }

    bool is_readable() const override { return begin_ < end_ || waitFor(fd_, POLLIN, deadline_); }
    bool is_writable() const override { return waitFor(fd_, POLLOUT, Clock::now() + kMetricsRequestDeadline); }

    ssize_t read(char* ptr, size_t size) override {
        if (budget_ == 0) return -1;
        if (begin_ == end_ && (!waitFor(fd_, POLLIN, deadline_) || !fill())) return -1;
        const std::size_t n = std::min({size, end_ - begin_, budget_});
        std::memcpy(ptr, buffer_.data() + begin_, n);
        begin_ += n;
        budget_ -= n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char* ptr, size_t size) override {
        if (!is_writable()) return -1;
        const ssize_t n = ::send(fd_, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        return n < 0 && (errno == EAGAIN || errno == EINTR) ? 0 : n;
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = ip_;
        port = port_;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        ip.clear();
        port = 0;
        if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
        std::array<char, NI_MAXHOST> host{};
        std::array<char, NI_MAXSERV> service{};
        if (::getnameinfo(reinterpret_cast<sockaddr*>(&address), length, host.data(), host.size(), service.data(),
                          service.size(), NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
            ip = host.data();
            port = std::atoi(service.data());
        }
    }
    socket_t socket() const override { return fd_; }

private:
    // One read of what has arrived; false at the end of the connection.
    bool fill() {
        const ssize_t n = ::recv(fd_, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
        if (n <= 0) return false;
        begin_ = 0;
        end_ = static_cast<std::size_t>(n);
        return true;
    }

    int fd_;
    std::string ip_;
    int port_;
    std::array<char, 4096> buffer_{};
    std::size_t begin_ = 0, end_ = 0;
    Clock::time_point deadline_ = Clock::now() + kMetricsRequestDeadline;
    std::size_t budget_ = kMetricsRequestBytes;
};

}  // namespace

MetricsEndpoint::Peer MetricsEndpoint::peerOf(const sockaddr_storage& address) {
    Peer peer;
    std::array<char, INET6_ADDRSTRLEN> text{};
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        ::inet_ntop(AF_INET, &v4.sin_addr, text.data(), text.size());
        peer.ip = text.data();
        peer.port = ntohs(v4.sin_port);
        peer.text = "ipv4:" + peer.ip + ':' + std::to_string(peer.port);
    } else if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        ::inet_ntop(AF_INET6, &v6.sin6_addr, text.data(), text.size());
        peer.ip = text.data();
        peer.port = ntohs(v6.sin6_port);
        peer.text = "ipv6:[" + peer.ip + "]:" + std::to_string(peer.port);
    }
    return peer;
}

// The library's server is used for what it does with a request on a stream
// (parse, route, answer); its own listener would read a caller before any
// hook could refuse it, so it never listens.
class MetricsEndpoint::Http final : public httplib::Server {
public:
    // One request on the stream; false when the connection must end.
    bool serve(httplib::Stream& stream, bool lastRequest, bool& connectionClosed) {
        return process_request(stream, lastRequest, connectionClosed, {});
    }
};

std::optional<std::string> MetricsRefusalLog::refused(const std::string& address, std::string_view reason,
                                                      Clock::time_point now) {
    // Addresses long quiet are forgotten, so a caller that walks through
    // many addresses cannot grow the table without end.
    if (entries_.size() >= 4096)
        std::erase_if(entries_, [&](const auto& entry) { return now - entry.second.told >= kSummaryEvery; });
    const std::string key = std::string(reason) + '\n' + address;
    const auto found = entries_.find(key);
    if (found != entries_.end() && now - found->second.told < kSummaryEvery) {
        ++found->second.untold;
        return std::nullopt;
    }
    const std::uint64_t count = found == entries_.end() ? 1 : found->second.untold + 1;
    std::string line;
    if (count == 1) {
        line = "refused a metrics scrape from " + address + ": " + std::string(reason);
    } else {
        const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(now - found->second.told).count();
        line = "refused " + std::to_string(count) + " metrics scrapes from " + address + " in the last " +
               std::to_string(minutes) + " minutes: " + std::string(reason);
    }
    entries_[key] = Entry{now, 0};
    return line;
}

std::string displayAddress(const MetricsAddress& address) {
    const bool v6 = address.host.find(':') != std::string::npos;
    return (v6 ? '[' + address.host + ']' : address.host) + ':' + std::to_string(address.port);
}

MetricsEndpoint::MetricsEndpoint(std::function<MetricsSnapshot()> snapshot, ClientFilter filter, LogSink log)
    : snapshot_(std::move(snapshot)), filter_(std::move(filter)), log_(std::move(log)) {}

MetricsEndpoint::~MetricsEndpoint() { stop(); }

bool MetricsEndpoint::start(const MetricsAddress& address) {
    const auto failed = [&](int error) {
        if (log_)
            log_(LogLevel::Error, "metrics not served: cannot listen on " + displayAddress(address) + ": " +
                                      (error != 0 ? std::strerror(error) : "the address cannot be used"));
        listener_.reset();
        return false;
    };
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* found = nullptr;
    if (::getaddrinfo(address.host.c_str(), std::to_string(address.port).c_str(), &hints, &found) != 0 || !found)
        return failed(EINVAL);
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owned(found, ::freeaddrinfo);
    listener_.reset(::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!listener_) return failed(errno);
    // Address reuse after a restart, but never a port shared with another
    // listener (SO_REUSEPORT): scrapes would go to either.
    int yes = 1;
    ::setsockopt(listener_.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(listener_.get(), found->ai_addr, found->ai_addrlen) != 0 || ::listen(listener_.get(), 64) != 0)
        return failed(errno);
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&bound), &length);
    port_ = peerOf(bound).port;

    std::array<int, 2> pipe{-1, -1};
    if (::pipe2(pipe.data(), O_CLOEXEC | O_NONBLOCK) != 0) return failed(errno);
    wakeRead_.reset(pipe[0]);
    wakeWrite_.reset(pipe[1]);

    http_ = std::make_unique<Http>();
    http_->set_keep_alive_timeout(std::chrono::duration_cast<std::chrono::seconds>(kMetricsRequestDeadline).count());
    http_->set_payload_max_length(kMetricsRequestBytes);
    http_->Get("/metrics", [this](const httplib::Request& request, httplib::Response& response) {
        const MetricsFormat format = negotiateMetricsFormat(request.get_header_value("Accept"));
        response.set_content(renderMetrics(snapshot_(), format), std::string(contentType(format)));
    });

    stopping_ = false;
    acceptThread_ = std::thread([this] { acceptLoop(); });
    if (log_)
        log_(LogLevel::Info, "metrics served on http://" +
                                 displayAddress({address.host, static_cast<std::uint16_t>(port_)}) + "/metrics");
    return true;
}

void MetricsEndpoint::stop() {
    if (acceptThread_.joinable()) {
        stopping_ = true;
        wake();
        acceptThread_.join();
    }
    std::list<Connection> all;
    {
        const std::lock_guard lock(mutex_);
        // Every connection's wait ends at once.
        for (Connection& c : connections_)
            if (!c.ended) ::shutdown(c.socket.get(), SHUT_RDWR);
        all.splice(all.end(), connections_);
    }
    for (Connection& c : all) c.thread.join();
    listener_.reset();
}

void MetricsEndpoint::wake() {
    const char byte = 1;
    // Full pipe: a wake is pending anyway.
    [[maybe_unused]] const auto n = ::write(wakeWrite_.get(), &byte, 1);
}

void MetricsEndpoint::acceptLoop() {
    while (!stopping_) {
        std::array<pollfd, 2> watched{{{listener_.get(), POLLIN, 0}, {wakeRead_.get(), POLLIN, 0}}};
        if (::poll(watched.data(), watched.size(), -1) < 0 && errno != EINTR) {
            if (log_) log_(LogLevel::Error, std::string("metrics no longer served: ") + std::strerror(errno));
            return;
        }
        if (watched[1].revents != 0) {
            std::array<char, 64> drain{};
            while (::read(wakeRead_.get(), drain.data(), drain.size()) > 0) {
            }
        }
        reapEnded();
        if (stopping_ || (watched[0].revents & POLLIN) == 0) continue;
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        UniqueFd socket(::accept4(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC));
        if (!socket) {
            // Out of descriptors: the caller stays queued; try again shortly
            // rather than spin on a listener that stays readable.
            if (errno == EMFILE || errno == ENFILE) {
                pollfd wakeOnly{wakeRead_.get(), POLLIN, 0};
                ::poll(&wakeOnly, 1, 100);
            }
            continue;
        }
        admit(std::move(socket), peerOf(address));
    }
}

void MetricsEndpoint::admit(UniqueFd socket, const Peer& peer) {
    const std::string address = ClientFilter::address(peer.text);
    std::string refusal;
    if (!filter_.allows(peer.text)) {
        refusal = "not in AllowedClients";
    } else {
        const std::lock_guard lock(mutex_);
        int open = 0;
        for (const Connection& c : connections_) open += c.ended ? 0 : 1;
        if (perAddress_[address] >= kMetricsConnectionsPerAddress) {
            refusal = std::to_string(kMetricsConnectionsPerAddress) + " connections from that address are open";
        } else if (open >= kMetricsConnections) {
            refusal = std::to_string(kMetricsConnections) + " connections are open";
        } else {
            ++perAddress_[address];
            Connection& c = connections_.emplace_back();
            c.socket = std::move(socket);
            c.peer = peer;
            c.address = address;
            c.thread = std::thread([this, &c] { serve(c); });
            return;
        }
        if (perAddress_[address] == 0) perAddress_.erase(address);
    }
    // Told before the socket closes, so whoever sees it closed finds the line.
    if (const auto line = refusals_.refused(address, refusal, MetricsRefusalLog::Clock::now()); line && log_)
        log_(LogLevel::Warning, *line);
}

void MetricsEndpoint::serve(Connection& connection) {
    {
        BoundedStream stream(connection.socket.get(), connection.peer.ip, connection.peer.port);
        for (std::size_t left = kKeepAliveRequests; left > 0 && !stopping_; --left) {
            if (!stream.awaitRequest()) break;
            bool closed = false;
            if (!http_->serve(stream, left == 1, closed) || closed) break;
        }
    }
    {
        const std::lock_guard lock(mutex_);
        connection.ended = true;
        connection.socket.reset();
        if (--perAddress_[connection.address] <= 0) perAddress_.erase(connection.address);
    }
    wake();
}

void MetricsEndpoint::reapEnded() {
    std::list<Connection> ended;
    {
        const std::lock_guard lock(mutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            const auto next = std::next(it);
            if (it->ended) ended.splice(ended.end(), connections_, it);
            it = next;
        }
    }
    for (Connection& c : ended) c.thread.join();
}

}  // namespace kt64::server
