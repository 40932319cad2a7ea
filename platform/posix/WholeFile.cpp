// Whole-file reads (see WholeFile.h): stat, a non-blocking open, fstat
// again and read(2) up to the limit.
#include "WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

namespace kt64 {

namespace {

std::string systemText(int error) { return std::system_category().message(error); }

// The length of the valid UTF-8 sequence of two to four bytes at text[i],
// or 0 when there is none.
std::size_t utf8SequenceAt(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return length;
}

FileRefusal::Kind kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return FileRefusal::Directory;
    if (S_ISFIFO(mode)) return FileRefusal::Fifo;
    if (S_ISCHR(mode) || S_ISBLK(mode)) return FileRefusal::Device;
    if (S_ISSOCK(mode)) return FileRefusal::Socket;
    return FileRefusal::OtherKind;
}

const char* kindText(FileRefusal::Kind kind) {
    switch (kind) {
    case FileRefusal::Directory:
        return "a directory";
    case FileRefusal::Fifo:
        return "a FIFO (named pipe)";
    case FileRefusal::Device:
        return "a device";
    case FileRefusal::Socket:
        return "a socket";
    default:
        return "not a plain file";
    }
}

void requireRegular(const std::filesystem::path& file, mode_t mode) {
    if (S_ISREG(mode)) return;
    FileRefusal refusal;
    refusal.kind = kindOf(mode);
    throw FileError(file, std::string(kindText(refusal.kind)) + ", not a file", refusal);
}

[[noreturn]] void refuseSize(const std::filesystem::path& file, std::uint64_t bytes, bool moreThan,
                             const FileSize& size) {
    const FileRefusal refusal{bytes < size.least ? FileRefusal::TooSmall : FileRefusal::TooLarge, bytes, moreThan,
                              size.least, size.most};
    throw FileError(file, (moreThan ? "more than " : "") + std::to_string(bytes) + " bytes, " + std::string(size.rule),
                    refusal);
}

}  // namespace

FileError::FileError(const std::filesystem::path& file, const std::string& reason, int systemError)
    : std::runtime_error(displayName(file) + ": " + reason),
      reason_(reason),
      shownName_(displayName(file)),
      systemError_(systemError) {}

FileError::FileError(const std::filesystem::path& file, const std::string& reason, const FileRefusal& refusal)
    : FileError(file, reason) {
    refusal_ = refusal;
}

std::string displayName(const std::filesystem::path& file) {
    const std::string& name = file.native();
    std::string shown;
    shown.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c >= 0x20 && c < 0x7F) {
            shown += name[i++];
        } else if (const std::size_t length = c >= 0x80 ? utf8SequenceAt(name, i) : 0; length > 0) {
            shown.append(name, i, length);
            i += length;
        } else {
            if (c == '\n') {
                shown += "\\n";
            } else if (c == '\t') {
                shown += "\\t";
            } else {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
                shown += escaped;
            }
            ++i;
        }
    }
    return shown;
}

UniqueFd openRegularFile(const std::filesystem::path& file) {
    // Looked at before the open: opening a FIFO would wait for a writer,
    // opening a device may act on it.
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) throw FileError(file, systemText(errno), errno);
    requireRegular(file, st.st_mode);
    // Non-blocking and looked at again, in case another file took its
    // place in between.
    UniqueFd fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) throw FileError(file, systemText(errno), errno);
    if (::fstat(fd.get(), &st) != 0) throw FileError(file, systemText(errno), errno);
    requireRegular(file, st.st_mode);
    return fd;
}

std::string readWholeFile(const std::filesystem::path& file, const FileSize& size) {
    const UniqueFd fd = openRegularFile(file);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throw FileError(file, systemText(errno), errno);
    const auto stated = static_cast<std::size_t>(std::max<off_t>(st.st_size, 0));
    if (stated > size.most) refuseSize(file, stated, false, size);

    // The stated size is only a hint: files of /proc say 0, and a file may
    // grow while it is read. One byte more than allowed tells a file too
    // long.
    std::string bytes;
    char buffer[16384];
    for (;;) {
        const std::size_t want = std::min(sizeof buffer, size.most + 1 - bytes.size());
        const ssize_t n = ::read(fd.get(), buffer, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw FileError(file, systemText(errno), errno);
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
        if (bytes.size() > size.most) refuseSize(file, size.most, true, size);
    }
    if (bytes.size() < size.least) refuseSize(file, bytes.size(), false, size);
    return bytes;
}

}  // namespace kt64
