// Opening a file in a folder others may write (see SharedFolderFile.h).
#include "SharedFolderFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace kt64 {

UniqueFd openSharedFolderFile(const std::filesystem::path& file, int flags, mode_t mode, uid_t writer) {
    UniqueFd fd(::open(file.c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode));
    if (!fd) {
        const int error = errno;
        if (error == ELOOP) throw FileError(file, "a symbolic link, not a file; refused", error);
        throw FileError(file, std::system_category().message(error), error);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throw FileError(file, std::system_category().message(errno), errno);
    if (!S_ISREG(st.st_mode)) throw FileError(file, "not a regular file; refused");
    if (st.st_nlink != 1) throw FileError(file, "has " + std::to_string(st.st_nlink) + " names (a hard link); refused");
    if (st.st_uid == 0 || st.st_uid == writer) return fd;
    struct stat folder {};
    const std::filesystem::path parent = file.has_parent_path() ? file.parent_path() : ".";
    if (::stat(parent.c_str(), &folder) == 0 && folder.st_gid == st.st_gid) return fd;
    throw FileError(file, "owned by uid " + std::to_string(st.st_uid) + " and group " + std::to_string(st.st_gid) +
                              ", neither root's, the writer's nor the folder's group; refused");
}

}  // namespace kt64
