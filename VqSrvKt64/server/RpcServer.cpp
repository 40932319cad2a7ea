// Building and shutting down the gRPC server.
#include "RpcServer.h"

#include <grpcpp/ext/proto_server_reflection_plugin.h>

#include <chrono>

#include "ChannelSettings.h"
#include "UndecodableCalls.h"

namespace kt64::server {

namespace {
// Calls still running at shutdown are cancelled after this.
constexpr std::chrono::milliseconds kShutdownGrace{1000};
}  // namespace

RpcServer::RpcServer(Kt64Srv& srv, ShutdownMonitor& leases, std::string host, std::uint16_t port)
    : service_(srv, leases), host_(std::move(host)), port_(port) {}

RpcServer::~RpcServer() { shutdown(); }

void RpcServer::start() {
    if (server_) return;
    grpc::reflection::InitProtoReflectionServerBuilderPlugin();
    // "[::]" listens on IPv6 and IPv4 alike; a host without IPv6 gets
    // "0.0.0.0" instead.
    std::vector<std::string> hosts;
    if (host_.empty())
        hosts = {"[::]", "0.0.0.0"};
    else
        hosts = {host_};
    for (const auto& host : hosts) {
        grpc::ServerBuilder builder;
        int bound = 0;
        builder.AddListeningPort(host + ":" + std::to_string(port_), grpc::InsecureServerCredentials(), &bound);
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
    throw ListenError("cannot listen on TCP port " + std::to_string(port_));
}

void RpcServer::shutdown() {
    if (!server_) return;
    server_->Shutdown(std::chrono::system_clock::now() + kShutdownGrace);
    server_->Wait();
    server_.reset();
}

}  // namespace kt64::server
