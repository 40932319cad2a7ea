// Line format and append-per-line writing of the synchronisation log.
#include "SyncLog.h"

#include "SharedFolderFile.h"
#include "UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace kt64::sync {
namespace {

constexpr unsigned kWarningHz = 750;
constexpr unsigned kWarningMs = 500;
constexpr mode_t kLogMode = 0664;

// The journal's priority of a message: failures warn, a refused condition
// is a notice, the rest is information.
int priorityOf(MessageId id) {
    switch (id) {
    case MessageId::Started:
    case MessageId::Stopped:
    case MessageId::Synchronised:
        return LOG_INFO;
    case MessageId::OutsideWindow:
        return LOG_NOTICE;
    default:
        return LOG_WARNING;
    }
}

// Opens the log for appending; a file made here gets kLogMode, which the
// umask would otherwise narrow (the log is shared with the group). The
// folder is the group's: a link or a stranger's file in the log's place is
// refused (FileError), never followed.
UniqueFd openForAppend(const std::filesystem::path& path) {
    // Non-blocking: a FIFO in the log's place would otherwise hold the open.
    const int flags = O_WRONLY | O_APPEND | O_NONBLOCK;
    for (;;) {
        try {
            return openSharedFolderFile(path, flags);
        } catch (const FileError& e) {
            if (e.systemError() != ENOENT) throw;
        }
        UniqueFd fd(::open(path.c_str(), flags | O_CLOEXEC | O_CREAT | O_EXCL, kLogMode));
        if (fd) {
            ::fchmod(fd.get(), kLogMode);
            return fd;
        }
        // Made by another writer meanwhile: open that one.
        if (errno != EEXIST) throw FileError(path, std::system_category().message(errno), errno);
    }
}

std::tm localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return tm;
}

// Largest prefix of text not longer than limit that does not end inside a
// UTF-8 sequence.
std::string_view cutAtCharacter(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return text.substr(0, cut);
}

// Writes the whole buffer; O_APPEND makes each write land at the end.
bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

std::filesystem::path syncLogPath() {
    const char* dir = std::getenv("KT64_LOGDIR");
    std::filesystem::path folder = (dir && *dir) ? dir : "/var/log/kt64";
    return folder / "VqSync.log";
}

std::string formatLogLine(const std::tm& localTime, std::string_view text) {
    // Four-digit year whatever the year (strftime's %Y would not pad).
    char stamp[64];
    const int written =
        std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d ", localTime.tm_year + 1900,
                      localTime.tm_mon + 1, localTime.tm_mday, localTime.tm_hour, localTime.tm_min, localTime.tm_sec);
    const std::size_t stampLength =
        written > 0 ? std::min<std::size_t>(static_cast<std::size_t>(written), sizeof stamp - 1) : 0;

    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    const std::size_t room = kMaxLogLine - 1 - std::min(stampLength, kMaxLogLine - 1);
    std::string line(stamp, stampLength);
    line += cutAtCharacter(text, room);
    line += '\n';

    std::string stored;
    stored.reserve(line.size() + 8);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\n' && (i == 0 || line[i - 1] != '\r')) stored += '\r';
        stored += line[i];
    }
    return stored;
}

SyncLog::SyncLog(std::filesystem::path path, ProgramVariant variant, Speaker& speaker, StampSource stamp)
    : path_(std::move(path)), variant_(variant), speaker_(speaker), stamp_(stamp ? std::move(stamp) : localNow) {}

void SyncLog::message(MessageId id) { append(messageText(id, variant_), priorityOf(id)); }

void SyncLog::text(std::string_view text) { append(text, LOG_WARNING); }

void SyncLog::note(std::string_view text) {
    if (journal_) journal_(LOG_WARNING, text);
}

void SyncLog::append(std::string_view text, int priority) {
    if (journal_) journal_(priority, text.substr(0, text.find_last_not_of('\n') + 1));
    const std::string line = formatLogLine(stamp_(), text);
    // A line that cannot be written sounds the warning; the journal learns
    // why (a refused link says more than a beep).
    UniqueFd fd;
    try {
        try {
            fd = openForAppend(path_);
        } catch (const FileError& e) {
            if (e.systemError() != ENOENT || !path_.has_parent_path()) throw;
            std::error_code ec;
            std::filesystem::create_directories(path_.parent_path(), ec);
            fd = openForAppend(path_);
        }
    } catch (const FileError& e) {
        note(std::string("log line not written: ") + e.what());
        speaker_.tone(kWarningHz, kWarningMs);
        return;
    }
    writeAll(fd.get(), line);
}

}  // namespace kt64::sync
