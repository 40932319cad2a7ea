// The listening gRPC server of IKt64Srv: every interface (IPv6 and IPv4) on
// the configured TCP port, server reflection for generic tools, the shared
// keepalive policy (pings about once a second, so a frozen or vanished
// client loses its lease within a few seconds), and the callback service.
#pragma once

#include <grpcpp/grpcpp.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "RpcService.h"

namespace kt64::server {

// The port cannot be listened on (in use, not permitted).
class ListenError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a site switched on to restrict remote access (ServerConfig.h).
struct ServerAccess {
    ClientFilter filter;
    // PEM files; TLS when certificate and key are given, client
    // certificates required (and checked against it) when clientCA is.
    std::string tlsCertificate, tlsKey, tlsClientCA;
    LogSink log;  // refused callers, leases
};

class RpcServer {
public:
    // host "" = every interface; "127.0.0.1", "::1" etc. otherwise. port 0
    // picks a free one (see port()).
    RpcServer(Kt64Srv& srv, ShutdownMonitor& leases, std::string host, std::uint16_t port, ServerAccess access = {});
    ~RpcServer();
    RpcServer(const RpcServer&) = delete;
    RpcServer& operator=(const RpcServer&) = delete;

    // Starts listening; throws ListenError (also for a TLS file that cannot
    // be read, named with its path).
    void start();
    // Ends every call (leases included) within the deadline and stops
    // listening. Idempotent.
    void shutdown();
    int port() const noexcept { return boundPort_; }

private:
    RpcService service_;
    ServerAccess access_;
    std::string host_;
    std::uint16_t port_;
    int boundPort_ = 0;
    std::unique_ptr<grpc::Server> server_;
};

}  // namespace kt64::server
