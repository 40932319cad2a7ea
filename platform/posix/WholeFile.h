// WholeFile: reading a file a user or an administrator named (a
// command-list image, a certificate, a unit file) or one of /proc, whole,
// so that a wrong file can neither hang the program, nor crash it, nor make
// it read gigabytes. What is not a regular file (a directory, a FIFO, a
// device) is refused before it is opened for reading, and the open never
// waits for a writer; at most a stated number of bytes is read, and a
// larger file is refused by its size without being read; every failure is
// one FileError with the file's name and the system's reason. Streams are
// not used: libstdc++'s file streams throw from deep inside on a read error
// (a directory, a process gone from /proc), which no caller expects.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "UniqueFd.h"

namespace kt64 {

// Why a file was refused for its kind or its size, for a caller that words
// the refusal in its user's language.
struct FileRefusal {
    enum Kind { Directory, Fifo, Device, Socket, OtherKind, TooLarge, TooSmall };
    Kind kind = OtherKind;
    std::uint64_t bytes = 0;  // TooLarge, TooSmall: the size found
    bool moreThan = false;    // TooLarge: the file holds more than bytes
    std::uint64_t least = 0;  // the sizes allowed
    std::uint64_t most = 0;
};

class FileError : public std::runtime_error {
public:
    // what() is "<file>: <reason>", the name as displayName() writes it.
    FileError(const std::filesystem::path& file, const std::string& reason, int systemError = 0);
    FileError(const std::filesystem::path& file, const std::string& reason, const FileRefusal& refusal);
    const std::string& reason() const noexcept { return reason_; }
    // The file's name as displayName() writes it.
    const std::string& shownName() const noexcept { return shownName_; }
    // errno of the failed call; 0 when the file was refused for its kind or
    // size.
    int systemError() const noexcept { return systemError_; }
    // Set when the file was refused for its kind or size.
    const std::optional<FileRefusal>& refusal() const noexcept { return refusal_; }

private:
    std::string reason_;
    std::string shownName_;
    int systemError_;
    std::optional<FileRefusal> refusal_;
};

// A file's name fit for a one-line message in UTF-8: a control character
// (a newline, a tab) and a byte that is not part of valid UTF-8 are
// written as \n, \t or \xNN; other names are unchanged.
std::string displayName(const std::filesystem::path& file);

// The sizes a file may have: least to most bytes; rule says why, after
// "<N> bytes, " (e.g. "a command list has 2905").
struct FileSize {
    std::size_t least = 0;
    std::size_t most = 0;
    std::string_view rule;
};

// Opens file (following symbolic links) for reading when it is a regular
// file; throws FileError otherwise and when it cannot be opened.
UniqueFd openRegularFile(const std::filesystem::path& file);

// The whole content of the regular file, which must hold size.least to
// size.most bytes. Throws FileError.
std::string readWholeFile(const std::filesystem::path& file, const FileSize& size);

}  // namespace kt64
