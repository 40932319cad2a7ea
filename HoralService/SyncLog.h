// SyncLog: the writer of the synchronisation log VqSync.log that both
// synchronisation programs append to and the console tails.
//
// One event is one line: the local time stamp "YYYY-MM-DD HH:MM:SS " (20
// bytes), the message text and CR LF, e.g.
//   2007-02-16 02:00:05 Synchronizację czasu przeprowadzono pomyślnie.\r\n
// Before the line end is translated a line holds at most 1,023 bytes, its
// line feed included; a longer text is cut at a UTF-8 character boundary and
// keeps its line feed, so the next event always starts a line of its own.
// Each line is written by one open-append-write-close sequence and with one
// write call, so writers in several processes and the console's reader need
// no locks. When the file cannot be opened the writer sounds 750 Hz for
// 500 ms and drops the line; the caller is not told.
#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "Speaker.h"
#include "SyncMessages.h"

namespace kt64::sync {

// Longest line before the line-end translation, line feed included.
inline constexpr std::size_t kMaxLogLine = 1023;

// $KT64_LOGDIR/VqSync.log when the variable is set and not empty, else
// /var/log/kt64/VqSync.log.
std::filesystem::path syncLogPath();

// One complete line as stored in the file: stamp, text cut to the limit,
// a line feed added when the text does not end in one, and every line feed
// not already preceded by a carriage return stored as CR LF.
std::string formatLogLine(const std::tm& localTime, std::string_view text);

class SyncLog {
public:
    // Local broken-down time for the stamp; the default reads the system
    // clock and converts it with the local time zone.
    using StampSource = std::function<std::tm()>;

    SyncLog(std::filesystem::path path, ProgramVariant variant, Speaker& speaker, StampSource stamp = {});

    // Appends a message of the program's string table.
    void message(MessageId id);
    // Appends a free text (a link server's error description).
    void text(std::string_view text);

    const std::filesystem::path& path() const { return path_; }
    ProgramVariant variant() const { return variant_; }

private:
    void append(std::string_view text);

    std::filesystem::path path_;
    ProgramVariant variant_;
    Speaker& speaker_;
    StampSource stamp_;
};

}  // namespace kt64::sync
