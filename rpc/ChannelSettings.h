// The channel settings both ends of IKt64Srv must agree on.
//
// The server pings every client about once a second and drops a connection
// whose pings go unanswered for 2 s, so a frozen or vanished client loses its
// lease within about 3 s. Those pings carry no data while a lease is idle,
// so the server must be allowed unlimited pings without data; clients ping
// the server every 10 s and the server accepts pings down to 5 s apart.
// Clients raise the metadata limit so that a long error description (it
// travels in the status metadata) is never cut off, and reconnect within a
// second, so that a server started on demand is reached quickly; one
// connection attempt may take up to 5 s. The
// server listens without SO_REUSEPORT, so a second server on the same port
// fails to start instead of sharing the clients with the first.
#pragma once

#include <grpcpp/server_builder.h>
#include <grpcpp/support/channel_arguments.h>

#include <chrono>
#include <string>

namespace kt64::rpc {

inline constexpr std::chrono::milliseconds kServerPingInterval{1000};
inline constexpr std::chrono::milliseconds kServerPingTimeout{2000};
inline constexpr std::chrono::milliseconds kClientPingInterval{10000};
inline constexpr std::chrono::milliseconds kClientPingTimeout{5000};
inline constexpr std::chrono::milliseconds kClientConnectAttempt{5000};
inline constexpr int kMaxMetadataBytes = 1 << 20;

// Arguments of every client channel.
grpc::ChannelArguments clientChannelArguments();

// Applies the server's keepalive and ping policy to a server builder.
void applyServerChannelSettings(grpc::ServerBuilder& builder);

// The text of a PEM file (certificates or a key) that the registry value
// what names. Throws std::runtime_error "<what> <file>: cannot be read:
// <reason>" (a directory, a FIFO, a file over 1 MiB among the reasons) or
// "<what> <file>: holds no PEM data".
std::string readPemFile(const char* what, const std::string& file);

}  // namespace kt64::rpc
