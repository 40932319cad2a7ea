// InstanceLock: flock on the GUID-named file.
#include "InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kt64::console {
namespace {

// Why a folder, fstat'ed through a descriptor opened without following a
// link, cannot hold the lock; empty when it can.
std::string privateFolderFault(const struct stat& st, uid_t owner) {
    if (!S_ISDIR(st.st_mode)) return "nie jest folderem";
    if (st.st_uid != owner) return "należy do innego użytkownika (uid " + std::to_string(st.st_uid) + ")";
    if ((st.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        return std::string("mają do niego dostęp inni użytkownicy (prawa ") + mode + ")";
    }
    return {};
}

}  // namespace

std::filesystem::path InstanceLock::runtimeFolder() {
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && *dir) return dir;
    return std::filesystem::temp_directory_path() / ("kt64-runtime-" + std::to_string(::getuid()));
}

InstanceLock::InstanceLock(const std::filesystem::path& folder, uid_t owner)
    : path_(folder / (std::string(kInstanceGuid) + ".lock")) {
    // The folder may sit in the shared temporary folder, where anyone could
    // have made it first: it is used only when it is this user's own and no
    // one else's to enter, so no other user can hold or replace the lock.
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        failureText_ = folder.string() + ": " + std::strerror(errno);
        return;
    }
    const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!dir) {
        const int err = errno;
        result_ = Result::FolderNotPrivate;
        failureText_ = err == ELOOP ? "jest dowiązaniem symbolicznym" : std::strerror(err);
        return;
    }
    struct stat st {};
    if (::fstat(dir.get(), &st) != 0) {
        failureText_ = folder.string() + ": " + std::strerror(errno);
        return;
    }
    if (std::string fault = privateFolderFault(st, owner); !fault.empty()) {
        result_ = Result::FolderNotPrivate;
        failureText_ = std::move(fault);
        return;
    }
    fd_.reset(::openat(dir.get(), path_.filename().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
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
