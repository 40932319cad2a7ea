// Program and data locations from /proc/self/exe and $KT64_DATADIR; the
// computer name from gethostname.
#include "ProgramPaths.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <system_error>

namespace kt64 {

std::filesystem::path executablePath() {
    // Throws std::filesystem::filesystem_error with errno's text when /proc
    // is not mounted.
    return std::filesystem::read_symlink("/proc/self/exe");
}

std::filesystem::path executableDirectory() { return executablePath().parent_path(); }

std::filesystem::path dataDirectory() {
    if (const char* env = std::getenv("KT64_DATADIR"); env != nullptr && *env != '\0')
        return std::filesystem::path(env);
    return (executableDirectory() / ".." / "share" / "kt64").lexically_normal();
}

std::string computerName() {
    // HOST_NAME_MAX excludes the terminator; gethostname may leave the name
    // unterminated when it is truncated, hence the extra zeroed byte.
    char name[HOST_NAME_MAX + 2] = {};
    if (::gethostname(name, HOST_NAME_MAX + 1) != 0)
        throw std::system_error(errno, std::generic_category(), "gethostname");
    return std::string(name);
}

}  // namespace kt64
