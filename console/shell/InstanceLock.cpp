// InstanceLock: flock on the GUID-named file.
#include "InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kt64::console {

std::filesystem::path InstanceLock::runtimeFolder() {
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && *dir) return dir;
    return std::filesystem::temp_directory_path() / ("kt64-runtime-" + std::to_string(::getuid()));
}

InstanceLock::InstanceLock(const std::filesystem::path& folder)
    : path_(folder / (std::string(kInstanceGuid) + ".lock")) {
    std::error_code ec;
    if (!std::filesystem::exists(folder, ec)) {
        std::filesystem::create_directories(folder, ec);
        ::chmod(folder.c_str(), 0700);
    }
    fd_.reset(::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd_) {
        failureText_ = path_.string() + ": " + std::strerror(errno);
        return;
    }
    if (::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0) {
        result_ = Result::Acquired;
        return;
    }
    const int err = errno;
    if (err == EWOULDBLOCK) {
        result_ = Result::HeldByOther;
    } else {
        failureText_ = path_.string() + ": " + std::strerror(err);
    }
    fd_.reset();  // no lock taken: hold the file no longer
}

}  // namespace kt64::console
