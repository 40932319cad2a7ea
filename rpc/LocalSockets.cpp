// Names of the link server's local sockets; see the header.
#include "LocalSockets.h"

#include <cstdlib>
#include <string>

namespace kt64::rpc {

std::filesystem::path localSocketFolder() {
    if (const char* dir = std::getenv("KT64_RUNTIME_DIR"); dir != nullptr && *dir != '\0') return dir;
    if (const char* registry = std::getenv("KT64_REGISTRY"); registry != nullptr && *registry != '\0')
        return std::filesystem::path(registry).parent_path();
    return "/run/kt64";
}

std::filesystem::path localSocketPath(LocalSocket which, std::uint16_t rpcPort) {
    const std::string name =
        "VqSrvKt64-" + std::to_string(rpcPort) + (which == LocalSocket::Read ? "-read.sock" : ".sock");
    return localSocketFolder() / name;
}

}  // namespace kt64::rpc
