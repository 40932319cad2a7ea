// Temporary files, plain copies and the atomic replace of a program file
// (see FileCopy.h). POSIX calls, each descriptor owned by a UniqueFd; the
// file written is closed explicitly, since a failed close loses the save.
#include "FileCopy.h"

#include "UniqueFd.h"
#include "WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

namespace kt64::program {

namespace {

std::string systemText(int error) { return std::system_category().message(error); }

// A failed copy: errno and which side failed.
struct CopyFailure {
    int error = 0;
    bool reading = false;
    explicit operator bool() const { return error != 0; }
};

// Copies everything from in to out.
CopyFailure copyAll(int in, int out) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n == 0) return {};
        if (n < 0) {
            if (errno == EINTR) continue;
            return {errno, true};
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer.data() + done, static_cast<std::size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                return {errno, false};
            }
            done += w;
        }
    }
}

std::string failureOf(const std::filesystem::path& file, int error) {
    return FileError(file, systemText(error)).what();
}

}  // namespace

std::optional<std::filesystem::path> makeTemporaryFile(const std::filesystem::path& folder, const std::string& prefix) {
    std::string pattern = (folder / (prefix + "XXXXXX.tmp")).string();
    UniqueFd fd(::mkstemps(pattern.data(), 4));
    if (!fd) return std::nullopt;
    return std::filesystem::path(pattern);
}

std::optional<std::string> copyFileOver(const std::filesystem::path& source, const std::filesystem::path& target) {
    UniqueFd in;
    try {
        in = openRegularFile(source);
    } catch (const FileError& e) {
        return e.what();
    }
    UniqueFd out(::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (!out) return failureOf(target, errno);
    if (const CopyFailure failed = copyAll(in.get(), out.get()))
        return failureOf(failed.reading ? source : target, failed.error);
    if (!out.close()) return failureOf(target, errno);
    return std::nullopt;
}

std::optional<std::string> replaceFileAtomically(const std::filesystem::path& source,
                                                 const std::filesystem::path& requested, LinkAtTarget link) {
    // Saving through a symbolic link replaces the file it points to. A link
    // that appears after this check is not followed either way: the rename
    // below replaces the link itself.
    std::error_code ec;
    std::filesystem::path target = requested;
    if (std::filesystem::is_symlink(requested, ec)) {
        if (link == LinkAtTarget::Refuse) return "a symbolic link, not a file; refused";
        target = std::filesystem::canonical(requested, ec);
        if (ec) return ec.message();
    }
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";

    // A program file marked read-only is not replaced: the rename below would
    // get past the file's own permissions (and root past every permission),
    // so a file without any write bit, or one this user may not write, is
    // refused as a copy over it would be.
    struct stat old {};
    const bool exists = ::lstat(target.c_str(), &old) == 0;
    if (exists && S_ISREG(old.st_mode) && ((old.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0))
        return systemText(EACCES);

    UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in) return systemText(errno);

    std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    UniqueFd out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!out) return systemText(errno);

    const auto abandon = [&](int error) -> std::optional<std::string> {
        out.close();
        ::unlink(temporary.c_str());
        return systemText(error);
    };

    // The new file gets the old one's permissions, or the usual ones for a
    // new file (mkstemp makes it private).
    mode_t mode = 0;
    if (exists) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(out.get(), mode) != 0) return abandon(errno);

    if (const CopyFailure failed = copyAll(in.get(), out.get())) return abandon(failed.error);
    if (::fsync(out.get()) != 0) return abandon(errno);
    if (!out.close()) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return systemText(error);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return systemText(error);
    }
    // The rename itself is made durable by flushing the folder.
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) ::fsync(dir.get());
    return std::nullopt;
}

}  // namespace kt64::program
