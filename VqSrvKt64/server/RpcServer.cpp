// Building and shutting down the gRPC server.
#include "RpcServer.h"

#include <grpcpp/ext/proto_server_reflection_plugin.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "ChannelSettings.h"
#include "UndecodableCalls.h"
#include "UniqueFd.h"

namespace kt64::server {

namespace {
// Calls still running at shutdown are cancelled after this.
constexpr std::chrono::milliseconds kShutdownGrace{1000};

// gRPC tells only that it could not listen; binding the same address
// ourselves finds the system's reason (address in use, not permitted, no
// such address on this computer).
std::string bindFailure(const std::string& host, std::uint16_t port) {
    std::string bare = host;
    if (bare.size() >= 2 && bare.front() == '[' && bare.back() == ']') bare = bare.substr(1, bare.size() - 2);
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family = AF_INET;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (::inet_pton(AF_INET, bare.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        length = sizeof *v4;
    } else if (::inet_pton(AF_INET6, bare.c_str(), &v6->sin6_addr) == 1) {
        family = AF_INET6;
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        length = sizeof *v6;
    } else {
        return "cannot listen on " + host + ":" + std::to_string(port) + " (not a numeric address)";
    }
    int err = 0;
    {
        const UniqueFd fd(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!fd) return std::string("cannot open a socket: ") + std::strerror(errno);
        int one = 1;
        ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&storage), length) != 0)
            err = errno;
        else if (::listen(fd.get(), 1) != 0)
            err = errno;
    }  // the probe lets the port go again
    const std::string where = "TCP port " + std::to_string(port) + " on " + host;
    if (err == EADDRINUSE)
        return "cannot listen on " + where +
               ": address in use (another program holds it; set RpcPort under HKLM\\Software\\Ardonis\\Kt64Srv)";
    if (err != 0) return "cannot listen on " + where + ": " + std::strerror(err);
    return "cannot listen on " + where;
}
}  // namespace

RpcServer::RpcServer(Kt64Srv& srv, ShutdownMonitor& leases, std::string host, std::uint16_t port, ServerAccess access)
    : service_(srv, leases, access.filter, access.log),
      access_(std::move(access)),
      host_(std::move(host)),
      port_(port) {}

namespace {

std::string readPem(const char* what, const std::string& path) {
    try {
        return rpc::readPemFile(what, path);
    } catch (const std::runtime_error& e) {
        throw ListenError(e.what());
    }
}

std::shared_ptr<grpc::ServerCredentials> credentialsFor(const ServerAccess& access) {
    if (access.tlsCertificate.empty() && access.tlsKey.empty() && access.tlsClientCA.empty())
        return grpc::InsecureServerCredentials();
    if (access.tlsCertificate.empty() || access.tlsKey.empty())
        throw ListenError("TLS needs both TlsCertificate and TlsKey");
    grpc::SslServerCredentialsOptions options(access.tlsClientCA.empty()
                                                  ? GRPC_SSL_DONT_REQUEST_CLIENT_CERTIFICATE
                                                  : GRPC_SSL_REQUEST_AND_REQUIRE_CLIENT_CERTIFICATE_AND_VERIFY);
    if (!access.tlsClientCA.empty()) options.pem_root_certs = readPem("TlsClientCA", access.tlsClientCA);
    options.pem_key_cert_pairs.push_back(
        {readPem("TlsKey", access.tlsKey), readPem("TlsCertificate", access.tlsCertificate)});
    return grpc::SslServerCredentials(options);
}

}  // namespace

RpcServer::~RpcServer() { shutdown(); }

void RpcServer::start() {
    if (server_) return;
    grpc::reflection::InitProtoReflectionServerBuilderPlugin();
    // "[::]" listens on IPv6 and IPv4 alike; a host without IPv6 gets
    // "0.0.0.0" instead.
    std::vector<std::string> hosts;
    if (host_.empty())
        hosts = {"[::]", "0.0.0.0"};
    else if (host_.find(':') != std::string::npos && !host_.starts_with('['))
        hosts = {"[" + host_ + "]"};
    else
        hosts = {host_};
    const auto credentials = credentialsFor(access_);
    for (const auto& host : hosts) {
        grpc::ServerBuilder builder;
        int bound = 0;
        builder.AddListeningPort(host + ":" + std::to_string(port_), credentials, &bound);
        rpc::applyServerChannelSettings(builder);
        builder.RegisterService(&service_);
        std::vector<std::unique_ptr<grpc::experimental::ServerInterceptorFactoryInterface>> interceptors;
        interceptors.push_back(std::make_unique<UndecodableCallRefusals>());
        builder.experimental().SetInterceptorCreators(std::move(interceptors));
        auto server = builder.BuildAndStart();
        if (server && bound > 0) {
            server_ = std::move(server);
            boundPort_ = bound;
            return;
        }
        if (server) server->Shutdown();
    }
    throw ListenError(bindFailure(hosts.back(), port_));
}

void RpcServer::shutdown() {
    if (!server_) return;
    server_->Shutdown(std::chrono::system_clock::now() + kShutdownGrace);
    server_->Wait();
    server_.reset();
}

}  // namespace kt64::server
