// The link server's Unix sockets on this computer, where the file's rights
// decide who may do what (as a time daemon's or a container engine's
// control socket does):
//   VqSrvKt64-<RpcPort>.sock       control: 0660, the operators' group
//                                  (kt64) and root may connect;
//   VqSrvKt64-<RpcPort>-read.sock  read: 0666, every local user.
// Local clients use them; TCP is for other computers. The port in the name
// keeps two servers of one folder apart, as their TCP ports do.
//
// The folder: $KT64_RUNTIME_DIR when set; else, for a private installation
// (KT64_REGISTRY set: tests, scripts/run), the registry's own folder; else
// /run/kt64 (root:kt64, set-group-id and sticky, made at boot).
#pragma once

#include <cstdint>
#include <filesystem>

namespace kt64::rpc {

std::filesystem::path localSocketFolder();

enum class LocalSocket { Control, Read };

std::filesystem::path localSocketPath(LocalSocket which, std::uint16_t rpcPort);

// sun_path holds 107 bytes and a NUL; a longer path cannot be bound or
// reached, so both ends check it and say so.
inline constexpr std::size_t kLongestSocketPath = 107;

}  // namespace kt64::rpc
