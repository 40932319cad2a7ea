// TrustedPath: whether a file that says what root will run (a program to
// execute) can have been changed by someone else than root. A file is
// trusted when it is a regular file, not a link, owned by one of the
// trusted owners and writable by no one else, and every folder above it
// is likewise owned by a trusted owner and writable by no one else, or
// sticky (as /tmp: others may add names there but not replace those of
// the owners). SQLite's -wal and -shm files beside it hold its newest
// content and must pass the same test when present.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kt64 {

// nullopt when file is trusted; otherwise why not, in Polish, naming the
// file or folder at fault ("folder /var/lib/kt64/system należy do
// użytkownika o uid 1000"). Root is always among the trusted owners.
std::optional<std::string> whyUntrusted(const std::filesystem::path& file, std::vector<uid_t> trustedOwners);

}  // namespace kt64
