// The ownership and mode checks of a file and its folders (TrustedPath.h).
#include "TrustedPath.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "WholeFile.h"

namespace kt64 {

namespace {

std::string octal(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// what: "plik X" or "folder X".
std::optional<std::string> ownerOrModeFault(const struct stat& st, const std::string& what,
                                            const std::vector<uid_t>& owners, bool stickyAllowed) {
    if (std::find(owners.begin(), owners.end(), st.st_uid) == owners.end())
        return what + " należy do użytkownika o uid " + std::to_string(st.st_uid);
    const bool othersWrite = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    if (othersWrite && !(stickyAllowed && (st.st_mode & S_ISVTX)))
        return what + " mogą zmieniać inni użytkownicy (prawa " + octal(st.st_mode) + ")";
    return std::nullopt;
}

std::optional<std::string> fileFault(const std::filesystem::path& file, const std::vector<uid_t>& owners,
                                     bool mustExist) {
    const std::string what = "plik " + displayName(file);
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0) {
        if (!mustExist && errno == ENOENT) return std::nullopt;
        return what + ": " + std::strerror(errno);
    }
    if (S_ISLNK(st.st_mode)) return what + " jest dowiązaniem symbolicznym";
    if (!S_ISREG(st.st_mode)) return what + " nie jest zwykłym plikiem";
    return ownerOrModeFault(st, what, owners, false);
}

}  // namespace

std::optional<std::string> whyUntrusted(const std::filesystem::path& file, std::vector<uid_t> trustedOwners) {
    trustedOwners.push_back(0);
    if (auto fault = fileFault(file, trustedOwners, true)) return fault;
    for (const char* suffix : {"-wal", "-shm"})
        if (auto fault = fileFault(file.string() + suffix, trustedOwners, false)) return fault;
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::canonical(std::filesystem::absolute(file).parent_path(), ec);
    if (ec) return "folder " + displayName(file.parent_path()) + ": " + ec.message();
    for (std::filesystem::path at = folder;; at = at.parent_path()) {
        struct stat st {};
        if (::stat(at.c_str(), &st) != 0) return "folder " + displayName(at) + ": " + std::strerror(errno);
        if (auto fault = ownerOrModeFault(st, "folder " + displayName(at), trustedOwners, true)) return fault;
        if (at == at.root_path()) break;
    }
    return std::nullopt;
}

}  // namespace kt64
