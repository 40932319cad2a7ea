// The console runs once per user: the first instance holds an exclusive
// lock on a file named by the console's GUID in the user's runtime folder.
// The kernel drops the lock when the process ends, however it ends, so a
// crashed console never blocks the next start; the file itself may stay.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "UniqueFd.h"

namespace kt64::console {

inline constexpr const char* kInstanceGuid = "{46234ECA-20A0-48e4-82FA-749CE5B858DF}";

class InstanceLock {
public:
    // FolderNotPrivate: the folder is a link, not a folder, another user's,
    // or open to others; the console must not start on it.
    enum class Result { Acquired, HeldByOther, Failed, FolderNotPrivate };

    // Tries to take the lock in folder (made 0700 when missing), which must
    // be owner's own.
    explicit InstanceLock(const std::filesystem::path& folder, uid_t owner = ::geteuid());

    Result result() const { return result_; }
    // Why the lock could not be tried: for Failed the file and the system's
    // text; for FolderNotPrivate what is wrong with the folder, in Polish.
    const std::string& failureText() const { return failureText_; }
    const std::filesystem::path& path() const { return path_; }

    // $XDG_RUNTIME_DIR, else a private folder under the temporary folder.
    static std::filesystem::path runtimeFolder();

private:
    std::filesystem::path path_;
    // The lock lives with the open file: closing this descriptor (and only
    // this one: it is never duplicated) gives the lock up.
    UniqueFd fd_;
    Result result_ = Result::Failed;
    std::string failureText_;
};

}  // namespace kt64::console
