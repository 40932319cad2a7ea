// Building and shutting down the gRPC server.
#include "RpcServer.h"

#include <grpcpp/ext/proto_server_reflection_plugin.h>

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "ChannelSettings.h"
#include "LocalSockets.h"
#include "UndecodableCalls.h"
#include "UniqueFd.h"

namespace kt64::server {

namespace {
// Calls still running at shutdown are cancelled after this.
constexpr std::chrono::milliseconds kShutdownGrace{1000};
// Calls open at once on one connection: a client object needs two (its
// lease and a call), a console a few more.
constexpr int kMostStreamsPerConnection = 100;

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

namespace {
CallerPolicy policyFor(const ServerAccess& access) {
    CallerPolicy policy;
    policy.filter = access.filter;
    policy.controlCertificates = access.controlCertificates;
    policy.limits = std::make_shared<CallerLimits>(access.caps);
    policy.refusals = std::make_shared<RefusalLog>(access.log);
    policy.log = access.log;
    return policy;
}
}  // namespace

RpcServer::RpcServer(AutomationObject& srv, ShutdownMonitor& leases, std::string host, std::uint16_t port,
                     ServerAccess access)
    : access_(std::move(access)),
      policy_(policyFor(access_)),
      network_(srv, leases, policy_, Listener::Network),
      readSocket_(srv, leases, policy_, Listener::ReadSocket),
      controlSocket_(srv, leases, policy_, Listener::ControlSocket),
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

std::unique_ptr<grpc::Server> RpcServer::build(RpcService& service, const std::vector<std::string>& addresses,
                                               int* bound) {
    grpc::ServerBuilder builder;
    for (const auto& address : addresses)
        builder.AddListeningPort(
            address, address.starts_with("unix:") ? grpc::InsecureServerCredentials() : credentialsFor(access_), bound);
    rpc::applyServerChannelSettings(builder);
    // What one caller can make the server hold: a request no larger than
    // the largest member takes, a bounded number of calls on a connection.
    builder.SetMaxReceiveMessageSize(kLargestRequest);
    builder.AddChannelArgument(GRPC_ARG_MAX_CONCURRENT_STREAMS, kMostStreamsPerConnection);
    builder.RegisterService(&service);
    std::vector<std::unique_ptr<grpc::experimental::ServerInterceptorFactoryInterface>> interceptors;
    interceptors.push_back(std::make_unique<UndecodableCallRefusals>(access_.filter, access_.reflection));
    builder.experimental().SetInterceptorCreators(std::move(interceptors));
    return builder.BuildAndStart();
}

void RpcServer::start() {
    if (server_) return;
    // Reflection lists the interface to anyone who can connect: off unless
    // the site asked for it. Its service joins every server of the process
    // once the plugin is registered (which linking it may do by itself), so
    // the interceptor (UndecodableCalls.h) is what refuses it.
    if (access_.reflection) grpc::reflection::InitProtoReflectionServerBuilderPlugin();
    // "[::]" listens on IPv6 and IPv4 alike; a host without IPv6 gets
    // "0.0.0.0" instead.
    std::vector<std::string> hosts;
    if (host_.empty())
        hosts = {"[::]", "0.0.0.0"};
    else if (host_.find(':') != std::string::npos && !host_.starts_with('['))
        hosts = {"[" + host_ + "]"};
    else
        hosts = {host_};
    credentialsFor(access_);  // a TLS file that cannot be read is named before anything listens
    for (const auto& host : hosts) {
        int bound = 0;
        auto server = build(network_, {host + ":" + std::to_string(port_)}, &bound);
        if (server && bound > 0) {
            server_ = std::move(server);
            boundPort_ = bound;
            break;
        }
        if (server) server->Shutdown();
    }
    if (!server_) throw ListenError(bindFailure(hosts.back(), port_));
    if (!access_.localSockets) return;
    try {
        startLocalSockets();
    } catch (const ListenError&) {
        shutdown();
        throw;
    }
}

namespace {

std::string reason(int error) { return std::strerror(error); }

// A folder of this process's own, 0700, inside the sockets' folder: the
// sockets are bound there, given their rights, and only then moved to their
// names, so nobody connects while a socket still has the rights the umask
// gave it. Removed with what is left in it at the end of the scope.
class PrivateFolder {
public:
    explicit PrivateFolder(const std::filesystem::path& parent) {
        std::string pattern = (parent / ".VqSrvKt64-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw ListenError("cannot make the local sockets in " + parent.string() + ": " + reason(errno) +
                              " (the folder must exist and be writable by the link server: root:kt64, mode 3775)");
        path_ = pattern;
    }
    ~PrivateFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace

void RpcServer::startLocalSockets() {
    const auto folder = rpc::localSocketFolder();
    struct Socket {
        rpc::LocalSocket which;
        RpcService* service;
        mode_t mode;
    };
    const Socket sockets[] = {
        {rpc::LocalSocket::Control, &controlSocket_, 0660},
        {rpc::LocalSocket::Read, &readSocket_, 0666},
    };
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) ::mkdir(folder.c_str(), 0755);
    const PrivateFolder scratch(folder);
    const struct group* operators = ::getgrnam("kt64");
    for (const Socket& socket : sockets) {
        const auto path = rpc::localSocketPath(socket.which, static_cast<std::uint16_t>(boundPort_));
        const auto bindPath = scratch.path() / (socket.which == rpc::LocalSocket::Control ? "c" : "r");
        if (path.string().size() > rpc::kLongestSocketPath || bindPath.string().size() > rpc::kLongestSocketPath)
            throw ListenError("cannot make the local socket " + path.string() + ": the path is longer than " +
                              std::to_string(rpc::kLongestSocketPath) +
                              " bytes (set KT64_RUNTIME_DIR to a shorter folder)");
        auto server = build(*socket.service, {"unix:" + bindPath.string()});
        if (!server) throw ListenError("cannot listen on the local socket " + bindPath.string());
        socketServers_.push_back(std::move(server));
        // The operators' group owns the control socket where it exists (a
        // set-group-id folder gives it anyway); elsewhere (tests) the
        // process's group does.
        if (operators != nullptr) (void)::lchown(bindPath.c_str(), static_cast<uid_t>(-1), operators->gr_gid);
        if (::chmod(bindPath.c_str(), socket.mode) != 0)
            throw ListenError("cannot set the rights of the local socket " + path.string() + ": " + reason(errno));
        struct stat made {};
        if (::lstat(bindPath.c_str(), &made) != 0)
            throw ListenError("cannot read the local socket " + path.string() + ": " + reason(errno));
        // rename replaces a socket left by a server that ended without
        // removing it; in the sticky folder it cannot replace another
        // user's file.
        if (::rename(bindPath.c_str(), path.c_str()) != 0) {
            const int error = errno;
            throw ListenError("cannot make the local socket " + path.string() + ": " + reason(error) +
                              (error == EPERM || error == EACCES
                                   ? " (a file of that name belongs to another user: remove it as root)"
                                   : ""));
        }
        sockets_.push_back(
            {path.string(), static_cast<unsigned long>(made.st_dev), static_cast<unsigned long>(made.st_ino)});
    }
}

void RpcServer::shutdown() {
    for (auto& server : socketServers_) server->Shutdown(std::chrono::system_clock::now() + kShutdownGrace);
    if (server_) server_->Shutdown(std::chrono::system_clock::now() + kShutdownGrace);
    for (auto& server : socketServers_) server->Wait();
    if (server_) server_->Wait();
    socketServers_.clear();
    server_.reset();
    // Only the sockets still ours: a server started since may have put its
    // own in their place.
    for (const auto& socket : sockets_) {
        struct stat now {};
        if (::lstat(socket.path.c_str(), &now) == 0 && static_cast<unsigned long>(now.st_dev) == socket.device &&
            static_cast<unsigned long>(now.st_ino) == socket.inode)
            ::unlink(socket.path.c_str());
    }
    sockets_.clear();
}

}  // namespace kt64::server
