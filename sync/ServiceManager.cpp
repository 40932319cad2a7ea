// Detection of a running systemd.
#include "ServiceManager.h"

#include <cstdlib>
#include <system_error>

namespace kt64::sync {

std::filesystem::path serviceManagerMarker() {
    const char* dir = std::getenv("KT64_SYSTEMD_RUNDIR");
    return (dir && *dir) ? std::filesystem::path(dir) : std::filesystem::path("/run/systemd/system");
}

bool serviceManagerRunning() {
    std::error_code ec;
    return std::filesystem::is_directory(serviceManagerMarker(), ec);
}

}  // namespace kt64::sync
