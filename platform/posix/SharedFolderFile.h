// SharedFolderFile: opening a file that root writes in a folder others may
// write too (/var/log/kt64 and /var/lib/kt64 are the group kt64's). A
// member could put a symbolic link or a hard link to another file (one of
// root's) in the file's place, and root would write there. The open never
// follows a link, and what it opened is kept only when it is a regular file
// with one name, owned by root, by the writer, or by whoever made it in the
// folder (its group is the folder's, which the set-group-id folder gives
// every file made there). Anything else is refused before a byte is
// written, the file it points to untouched.
#pragma once

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <filesystem>

#include "UniqueFd.h"
#include "WholeFile.h"

namespace kt64 {

// open(2) of file with flags (O_NOFOLLOW added) and mode, then the checks
// above. writer: whose the program is (a test names another to see the
// owner refused). Throws FileError ("<file>: <reason>") when the file cannot
// be opened or is refused; with O_CREAT | O_EXCL a missing file is made.
UniqueFd openSharedFolderFile(const std::filesystem::path& file, int flags, mode_t mode = 0,
                              uid_t writer = ::geteuid());

}  // namespace kt64
