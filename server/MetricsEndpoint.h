// The HTTP endpoint a site's monitoring scrapes: GET /metrics answers the
// exposition text of a fresh snapshot (ServerMetrics.h) in the format the
// scraper's Accept header asks for.
//
// It must go on answering the monitoring server while other callers
// misbehave: a scrape that times out reads as a dead site. So a caller is
// judged the moment its connection is accepted, before a byte of it is
// read: one that AllowedClients does not admit, or one more than the caps
// allow (kMetricsConnectionsPerAddress from one address,
// kMetricsConnections in all), is closed at once. Every admitted connection
// has a thread of its own, so a slow one holds no other; and each request
// must arrive whole (at most kMetricsRequestBytes) within
// kMetricsRequestDeadline of its first byte, so a caller that drips header
// lines cannot hold even its own thread for long. The HTTP library parses
// the requests and writes the answers; this class owns the sockets.
//
// It runs on threads of its own, so it holds neither the link worker nor
// the interface; taking a snapshot holds the record's locks only for one
// copy each. Refusals are logged once per address and reason, then at most
// once an hour with their count (MetricsRefusalLog), so that a scraper left
// configured against a site that refuses it does not fill the journal.
#pragma once

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "ClientFilter.h"
#include "ServerMetrics.h"
#include "UniqueFd.h"
#include "WorkerJournal.h"

namespace kt64::server {

// Admitted connections at once from one address (a monitoring server
// keeps one, a person with curl another), and from everyone.
inline constexpr int kMetricsConnectionsPerAddress = 4;
inline constexpr int kMetricsConnections = 32;
// A request from its first byte to its last; also the longest wait for
// the next request on a kept-alive connection and for a write.
inline constexpr std::chrono::milliseconds kMetricsRequestDeadline{5000};
// Request line, headers and body together: a GET needs a few hundred.
inline constexpr std::size_t kMetricsRequestBytes = 64 * 1024;

// Which refusals of scrapers to log: the first from each address for each
// reason, then one line an hour at most with the number refused meanwhile.
// (The interface's RefusalLog, once a minute without a count, would still
// write 1,440 lines a day for a scraper that is refused every 15 s.) Pure:
// the time is the caller's, so tests need no clock.
class MetricsRefusalLog {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::hours kSummaryEvery{1};

    // The line to log for one refusal of address for reason (the text after
    // the colon), none when it is only counted.
    std::optional<std::string> refused(const std::string& address, std::string_view reason, Clock::time_point now);

private:
    struct Entry {
        Clock::time_point told;
        std::uint64_t untold = 0;
    };
    std::map<std::string, Entry> entries_;  // by reason, '\n', address
};

class MetricsEndpoint {
public:
    MetricsEndpoint(std::function<MetricsSnapshot()> snapshot, ClientFilter filter, LogSink log);
    // Stops serving.
    ~MetricsEndpoint();
    MetricsEndpoint(const MetricsEndpoint&) = delete;
    MetricsEndpoint& operator=(const MetricsEndpoint&) = delete;

    // Listens on the address (port 0: a free one, see port()) and serves
    // from threads of its own. On failure logs the address with the
    // system's reason and returns false; the caller goes on without metrics.
    bool start(const MetricsAddress& address);
    // Closes the listener and every connection, and waits for their threads.
    void stop();
    int port() const noexcept { return port_; }

    class Http;  // the HTTP library's server, for its request handling only

private:
    struct Peer {
        std::string text;  // as the filter reads it: "ipv4:10.0.0.5:51234", "ipv6:[::1]:51234"
        std::string ip;    // "10.0.0.5", "::1"
        int port = 0;
    };
    static Peer peerOf(const sockaddr_storage& address);

    struct Connection {
        UniqueFd socket;
        Peer peer;
        std::string address;  // the peer's as the filter shows it: "127.0.0.1"
        std::thread thread;
        bool ended = false;
    };

    void acceptLoop();
    // Judges one accepted socket: refused (closed, perhaps logged) or
    // given a thread.
    void admit(UniqueFd socket, const Peer& peer);
    void serve(Connection& connection);
    // Joins the threads of connections that have ended.
    void reapEnded();
    void wake();

    std::function<MetricsSnapshot()> snapshot_;
    ClientFilter filter_;
    LogSink log_;
    MetricsRefusalLog refusals_;  // the accept thread's only
    std::unique_ptr<Http> http_;
    UniqueFd listener_;
    UniqueFd wakeRead_, wakeWrite_;
    std::thread acceptThread_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;  // guards connections_ and perAddress_
    std::list<Connection> connections_;
    std::map<std::string, int> perAddress_;
    int port_ = 0;
};

// "127.0.0.1:6465", "[::1]:6465": an address as messages show it.
std::string displayAddress(const MetricsAddress& address);

}  // namespace kt64::server
