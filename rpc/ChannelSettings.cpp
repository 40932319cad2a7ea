// Client channel arguments, server keepalive policy and the TLS files of
// IKt64Srv.
#include "ChannelSettings.h"

#include <grpc/grpc.h>

#include <stdexcept>

#include "WholeFile.h"

namespace kt64::rpc {

grpc::ChannelArguments clientChannelArguments() {
    grpc::ChannelArguments args;
    args.SetInt(GRPC_ARG_MAX_METADATA_SIZE, kMaxMetadataBytes);
    args.SetInt(GRPC_ARG_KEEPALIVE_TIME_MS, static_cast<int>(kClientPingInterval.count()));
    args.SetInt(GRPC_ARG_KEEPALIVE_TIMEOUT_MS, static_cast<int>(kClientPingTimeout.count()));
    args.SetInt(GRPC_ARG_KEEPALIVE_PERMIT_WITHOUT_CALLS, 0);
    args.SetInt(GRPC_ARG_HTTP2_MAX_PINGS_WITHOUT_DATA, 0);
    args.SetInt(GRPC_ARG_INITIAL_RECONNECT_BACKOFF_MS, 100);
    // gRPC takes this "minimum backoff" as the time one connection attempt
    // (TCP, TLS, the server's first frame) may take: 100 ms failed every
    // attempt to a server that answers slower (a loaded computer, a slow
    // link), and calls failed at once while it did.
    args.SetInt(GRPC_ARG_MIN_RECONNECT_BACKOFF_MS, static_cast<int>(kClientConnectAttempt.count()));
    args.SetInt(GRPC_ARG_MAX_RECONNECT_BACKOFF_MS, 1000);
    // Each client object gets its own connection: a lease is tied to the
    // connection that carries it, not shared with other objects.
    args.SetInt(GRPC_ARG_USE_LOCAL_SUBCHANNEL_POOL, 1);
    return args;
}

void applyServerChannelSettings(grpc::ServerBuilder& builder) {
    builder.AddChannelArgument(GRPC_ARG_KEEPALIVE_TIME_MS, static_cast<int>(kServerPingInterval.count()));
    builder.AddChannelArgument(GRPC_ARG_KEEPALIVE_TIMEOUT_MS, static_cast<int>(kServerPingTimeout.count()));
    builder.AddChannelArgument(GRPC_ARG_KEEPALIVE_PERMIT_WITHOUT_CALLS, 1);
    builder.AddChannelArgument(GRPC_ARG_HTTP2_MAX_PINGS_WITHOUT_DATA, 0);
    builder.AddChannelArgument(GRPC_ARG_HTTP2_MIN_RECV_PING_INTERVAL_WITHOUT_DATA_MS, 5000);
    builder.AddChannelArgument(GRPC_ARG_HTTP2_MAX_PING_STRIKES, 0);
    builder.AddChannelArgument(GRPC_ARG_MAX_METADATA_SIZE, kMaxMetadataBytes);
    // One server per port: without SO_REUSEPORT a second server on the same
    // computer fails to listen instead of silently taking half the clients
    // (to a process that cannot own the serial port).
    builder.AddChannelArgument(GRPC_ARG_ALLOW_REUSEPORT, 0);
}

std::string readPemFile(const char* what, const std::string& file) {
    std::string text;
    try {
        text = readWholeFile(file, {0, 1 << 20, "more than a file of certificates or a key holds (1 MiB)"});
    } catch (const FileError& e) {
        throw std::runtime_error(std::string(what) + " " + displayName(file) + ": cannot be read: " + e.reason());
    }
    if (text.find("-----BEGIN ") == std::string::npos)
        throw std::runtime_error(std::string(what) + " " + displayName(file) + ": holds no PEM data");
    return text;
}

}  // namespace kt64::rpc
