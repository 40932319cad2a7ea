// The log view's tail algorithm over a file descriptor kept open.
#include "SyncLogTail.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace kt64::sync {
namespace {

std::string_view asText(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Text before the last carriage return; empty when there is none.
std::string_view beforeLastCarriageReturn(std::string_view text) {
    const auto cr = text.rfind('\r');
    return cr == std::string_view::npos ? std::string_view{} : text.substr(0, cr);
}

std::string withLineEnd(std::string_view text) {
    if (text.empty()) return {};
    std::string out(text);
    out += "\r\n";
    return out;
}

std::vector<std::uint8_t> readAt(int fd, std::uint64_t offset, std::size_t count) {
    std::vector<std::uint8_t> buffer(count);
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = ::pread(fd, buffer.data() + got, count - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    buffer.resize(got);
    return buffer;
}

std::string systemText(int error) {
    char buffer[256];
    // GNU strerror_r returns the text, which need not be in buffer.
    return strerror_r(error, buffer, sizeof buffer);
}

}  // namespace

std::string firstTailText(std::span<const std::uint8_t> bytes) {
    std::string_view text = asText(bytes);
    const auto lf = text.find('\n');
    if (lf == std::string_view::npos) return {};
    return withLineEnd(beforeLastCarriageReturn(text.substr(lf + 1)));
}

std::string incrementTailText(std::span<const std::uint8_t> bytes) {
    return withLineEnd(beforeLastCarriageReturn(asText(bytes)));
}

SyncLogTail::SyncLogTail(std::filesystem::path path) : path_(std::move(path)) {}

void SyncLogTail::followRecreatedFile() {
    struct stat byName {
    }, held{};
    if (::stat(path_.c_str(), &byName) != 0 || ::fstat(fd_.get(), &held) != 0) return;
    if (byName.st_dev == held.st_dev && byName.st_ino == held.st_ino) return;
    UniqueFd fresh(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fresh) return;
    fd_ = std::move(fresh);
    // Every line of a new file is new: the old read position belongs to
    // the old file and would hide the new one's first lines (after the
    // monthly rotation, for a month).
    position_ = 0;
}

std::string SyncLogTail::poll() {
    if (!fd_) {
        fd_.reset(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
        if (!fd_) {
            openError_ = errno;
            return systemText(openError_) + "\r\n";
        }
        openError_ = 0;
        struct stat st {};
        if (::fstat(fd_.get(), &st) != 0) return {};
        const auto length = static_cast<std::uint64_t>(st.st_size);
        const std::uint64_t start = length > kFirstTailBytes ? length - kFirstTailBytes : 0;
        const auto bytes = readAt(fd_.get(), start, kFirstTailBytes);
        position_ = length;
        return firstTailText(bytes);
    }

    followRecreatedFile();
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0) return {};
    const auto length = static_cast<std::uint64_t>(st.st_size);
    if (length <= position_) {
        // Cut in place: what is written from here on is new.
        position_ = length;
        return {};
    }
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(length - position_, kMaxTailIncrement));
    const auto bytes = readAt(fd_.get(), position_, count);
    position_ = length;
    return incrementTailText(bytes);
}

}  // namespace kt64::sync
