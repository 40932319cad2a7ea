// The HTTP endpoint a site's monitoring scrapes: GET /metrics answers the
// exposition text of a fresh snapshot (ServerMetrics.h) in the format the
// Accept header asks for, to callers that
// AllowedClients admits (403 to the others, each refusal logged like the
// interface's). It runs on threads of its own (a pool of two), so a scraper
// that is slow or never finishes its request holds neither the link worker
// nor the interface; taking a snapshot holds the record's locks only for
// one copy each.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "ClientFilter.h"
#include "ServerMetrics.h"
#include "WorkerJournal.h"

namespace httplib {
class Server;
}

namespace kt64::server {

class MetricsEndpoint {
public:
    MetricsEndpoint(std::function<MetricsSnapshot()> snapshot, ClientFilter filter, LogSink log);
    // Stops serving.
    ~MetricsEndpoint();
    MetricsEndpoint(const MetricsEndpoint&) = delete;
    MetricsEndpoint& operator=(const MetricsEndpoint&) = delete;

    // Listens on the address (port 0: a free one, see port()) and serves
    // from a thread of its own. On failure logs the address with the
    // system's reason and returns false; the caller goes on without metrics.
    bool start(const MetricsAddress& address);
    void stop();
    int port() const noexcept { return port_; }

private:
    std::function<MetricsSnapshot()> snapshot_;
    ClientFilter filter_;
    LogSink log_;
    std::unique_ptr<httplib::Server> http_;
    std::thread thread_;
    std::atomic<bool> loopEnded_{false};
    int port_ = 0;
};

// "127.0.0.1:6465", "[::1]:6465": an address as messages show it.
std::string displayAddress(const MetricsAddress& address);

}  // namespace kt64::server
