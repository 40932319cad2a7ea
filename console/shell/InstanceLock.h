// The console runs once per user: the first instance holds an exclusive
// lock on a file named by the console's GUID in the user's runtime folder.
// The kernel drops the lock when the process ends, however it ends, so a
// crashed console never blocks the next start; the file itself may stay.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "UniqueFd.h"

namespace kt64::console {

inline constexpr const char* kInstanceGuid = "{46234ECA-20A0-48e4-82FA-749CE5B858DF}";

class InstanceLock {
public:
    enum class Result { Acquired, HeldByOther, Failed };

    // Tries to take the lock in folder (created when missing).
    explicit InstanceLock(const std::filesystem::path& folder);

    Result result() const { return result_; }
    // Why the lock could not be tried (Failed): the file and the system's text.
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
