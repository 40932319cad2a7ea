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
// 500 ms and drops the line; the caller is not told. A file it makes is
// mode 0664 whatever the umask, so that the group (kt64) writes it too.
// Because the group writes the folder as well, a symbolic link, a hard link
// or a stranger's file in the log's place is refused the same way (and the
// journal told why): the writer, often root, never appends to what a link
// points to.
//
// A service also hands every line to the system journal, at a priority that
// follows the message, together with the lines for the journal alone (the
// system's reason behind a failure the log states in its own words).
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
    // Takes a syslog priority (LOG_INFO ...) and a line without its line feed.
    using Journal = std::function<void(int priority, std::string_view text)>;

    SyncLog(std::filesystem::path path, ProgramVariant variant, Speaker& speaker, StampSource stamp = {});

    // Appends a message of the program's string table.
    void message(MessageId id);
    // Appends a free text (a link server's error description, a refusal of
    // the service's own), a warning in the journal.
    void text(std::string_view text);
    // A line for the journal only, as a warning.
    void note(std::string_view text);
    void setJournal(Journal journal) { journal_ = std::move(journal); }

    const std::filesystem::path& path() const { return path_; }
    ProgramVariant variant() const { return variant_; }

private:
    void append(std::string_view text, int priority);

    std::filesystem::path path_;
    ProgramVariant variant_;
    Speaker& speaker_;
    StampSource stamp_;
    Journal journal_;
};

}  // namespace kt64::sync
