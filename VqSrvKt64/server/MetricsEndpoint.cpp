// The metrics endpoint over the HTTP library.
#include "MetricsEndpoint.h"

#include <httplib.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace kt64::server {

namespace {

// Address reuse after a restart, but never a port shared with another
// listener: the library's default (SO_REUSEPORT) would let a second server
// bind beside the first and scrapes would go to either.
void listenerOptions(socket_t sock) {
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

// The caller as the interface's filter reads it.
std::string peerText(const httplib::Request& request) {
    const std::string& host = request.remote_addr;
    const std::string port = std::to_string(request.remote_port);
    return host.find(':') == std::string::npos ? "ipv4:" + host + ':' + port : "ipv6:[" + host + "]:" + port;
}

}  // namespace

std::string displayAddress(const MetricsAddress& address) {
    const bool v6 = address.host.find(':') != std::string::npos;
    return (v6 ? '[' + address.host + ']' : address.host) + ':' + std::to_string(address.port);
}

MetricsEndpoint::MetricsEndpoint(std::function<MetricsSnapshot()> snapshot, ClientFilter filter, LogSink log)
    : snapshot_(std::move(snapshot)), filter_(std::move(filter)), log_(std::move(log)) {}

MetricsEndpoint::~MetricsEndpoint() { stop(); }

bool MetricsEndpoint::start(const MetricsAddress& address) {
    http_ = std::make_unique<httplib::Server>();
    http_->new_task_queue = [] { return new httplib::ThreadPool(2); };
    http_->set_socket_options(listenerOptions);
    http_->set_keep_alive_max_count(100);
    http_->Get("/metrics", [this](const httplib::Request& request, httplib::Response& response) {
        const std::string peer = peerText(request);
        if (!filter_.allows(peer)) {
            if (log_)
                log_(LogLevel::Warning,
                     "refused a metrics scrape from " + ClientFilter::address(peer) + ": not in AllowedClients");
            response.status = 403;
            response.set_content("not in AllowedClients\n", "text/plain");
            return;
        }
        const MetricsFormat format = negotiateMetricsFormat(request.get_header_value("Accept"));
        response.set_content(renderMetrics(snapshot_(), format), std::string(contentType(format)));
    });

    errno = 0;
    const bool bound = address.port == 0 ? (port_ = http_->bind_to_any_port(address.host)) > 0
                                         : http_->bind_to_port(address.host, address.port);
    if (!bound) {
        const int error = errno;
        if (log_)
            log_(LogLevel::Error, "metrics not served: cannot listen on " + displayAddress(address) + ": " +
                                      (error != 0 ? std::strerror(error) : "the address cannot be used"));
        http_.reset();
        return false;
    }
    if (address.port != 0) port_ = address.port;
    loopEnded_ = false;
    thread_ = std::thread([this] {
        http_->listen_after_bind();
        loopEnded_ = true;
    });
    // stop() is only heard once the loop runs.
    while (!http_->is_running() && !loopEnded_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (log_)
        log_(LogLevel::Info, "metrics served on http://" +
                                 displayAddress({address.host, static_cast<std::uint16_t>(port_)}) + "/metrics");
    return true;
}

void MetricsEndpoint::stop() {
    if (!http_) return;
    http_->stop();
    if (thread_.joinable()) thread_.join();
    http_.reset();
}

}  // namespace kt64::server
