// Whole-file copies of program files. A working copy is made by copying a
// program file (or the template) into a fresh temporary file; a program is
// saved by replacing its file atomically: the bytes go to a temporary file
// in the target's own folder, are flushed to disk, and the temporary file is
// renamed over the target, so the target is at every moment either the old
// program or the new one, never a half-written file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kt64::program {

// A new, empty, uniquely named file "<prefix>XXXXXX.tmp" in folder; empty
// when it cannot be made.
std::optional<std::filesystem::path> makeTemporaryFile(const std::filesystem::path& folder, const std::string& prefix);

// Copies source over an existing target (truncating it). A source that is
// not a regular file (a directory, a FIFO, a device) is refused before it is
// opened for reading. On failure returns "<file>: <reason>", the file being
// the one that failed (see WholeFile.h).
std::optional<std::string> copyFileOver(const std::filesystem::path& source, const std::filesystem::path& target);

// Replaces target (made when missing) with a copy of source as described
// above. A target marked read-only (no write bit, or not writable by this
// user) is refused and stays as it is. On failure the target is untouched,
// no temporary file is left behind, and the system's text is returned.
// Through a symbolic link the file it points to is replaced, unless
// followLink is false: then a link in target's place is refused (a writer in
// a folder others may write must not be sent elsewhere by one).
enum class LinkAtTarget { Follow, Refuse };
std::optional<std::string> replaceFileAtomically(const std::filesystem::path& source,
                                                 const std::filesystem::path& requested,
                                                 LinkAtTarget link = LinkAtTarget::Follow);

}  // namespace kt64::program
