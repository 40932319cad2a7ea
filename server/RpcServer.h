// The listening gRPC servers of IKt64Srv: one on every interface (IPv6 and
// IPv4) of the configured TCP port and on the local read socket, whose
// callers read (and control only with a granted client certificate), and
// one on the local control socket, whose callers control (LocalSockets.h);
// the shared keepalive policy (pings about once a second, so a frozen or
// vanished client loses its lease within a few seconds); caps on what a
// caller can make them hold (messages, streams, memory: CallerLimits.h);
// server reflection for generic tools only where the site turned it on.
#pragma once

#include <grpcpp/grpcpp.h>

#include <cstdint>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

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
    // Common names of the client certificates granted control.
    std::set<std::string> controlCertificates;
    // gRPC server reflection (for grpcurl and the like), behind
    // AllowedClients as the members are.
    bool reflection = false;
    // false: TCP only (no local sockets), for tests of the network side
    // that run several servers in one folder.
    bool localSockets = true;
    CallerCaps caps;
};

// The largest request the server reads: a command list (2905 bytes) with
// room to spare; anything longer is refused by gRPC before it is held.
inline constexpr int kLargestRequest = 64 * 1024;

class RpcServer {
public:
    // host "" = every interface; "127.0.0.1", "::1" etc. otherwise. port 0
    // picks a free one (see port()).
    RpcServer(AutomationObject& srv, ShutdownMonitor& leases, std::string host, std::uint16_t port,
              ServerAccess access = {});
    ~RpcServer();
    RpcServer(const RpcServer&) = delete;
    RpcServer& operator=(const RpcServer&) = delete;

    // Starts listening on TCP, then on the local sockets; throws ListenError
    // (also for a TLS file that cannot be read, named with its path, and for
    // a socket that cannot be made, with the reason).
    void start();
    // Ends every call (leases included) within the deadline and stops
    // listening. Idempotent.
    void shutdown();
    int port() const noexcept { return boundPort_; }
    // What the servers hold for their callers now.
    const CallerLimits& limits() const noexcept { return *policy_.limits; }

private:
    void startLocalSockets();

    // A server of one service on the given addresses (nullptr when none
    // could be listened on), with the caps and interceptors of all.
    std::unique_ptr<grpc::Server> build(RpcService& service, const std::vector<std::string>& addresses,
                                        int* bound = nullptr);

    ServerAccess access_;
    CallerPolicy policy_;
    RpcService network_;
    RpcService readSocket_;
    RpcService controlSocket_;
    std::string host_;
    std::uint16_t port_;
    int boundPort_ = 0;
    std::unique_ptr<grpc::Server> server_;
    std::vector<std::unique_ptr<grpc::Server>> socketServers_;
    // The sockets made by this server (path, device, inode), removed at its
    // end while they are still the ones it made.
    struct MadeSocket {
        std::string path;
        unsigned long device = 0, inode = 0;
    };
    std::vector<MadeSocket> sockets_;
};

}  // namespace kt64::server
