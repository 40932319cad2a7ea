// SyncLogTail: what the console's log view appends on each of its 5-second
// ticks while it follows VqSync.log. GUI-free; the view only appends the
// returned text at its end.
//
// As long as the file has not been opened, each poll tries to open it; on
// failure it returns the system's text for the failure followed by CR LF.
// On the first successful open it shows the tail: the last 1,000 bytes (the
// whole file when shorter), without everything up to and including their
// first line feed (nothing when there is none), cut at their last carriage
// return, followed by CR LF. Afterwards each poll shows what the file grew
// by since the read position: at most 1,020 bytes of it, cut at their last
// carriage return, followed by CR LF; the read position then moves to the
// file's length in every case, even when more was written than shown, and
// also when the file was cut shorter, so what is written after a cut shows.
//
// The file stays open for the tail's life. When the name is re-created as a
// new file (the writer's rotation, or a removed log made anew) the tail
// changes over to it (on Linux an open descriptor would otherwise keep
// reading the old file) and reads it from its start: keeping the old read
// position would hide the new file's lines until it outgrew the old one.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "UniqueFd.h"

namespace kt64::sync {

inline constexpr std::size_t kFirstTailBytes = 1000;
inline constexpr std::size_t kMaxTailIncrement = 1020;

// The text shown for the first display, from the bytes read; empty when
// nothing is to be shown.
std::string firstTailText(std::span<const std::uint8_t> bytes);
// The text shown for bytes the file grew by; empty when nothing is shown.
std::string incrementTailText(std::span<const std::uint8_t> bytes);

class SyncLogTail {
public:
    explicit SyncLogTail(std::filesystem::path path);
    SyncLogTail(const SyncLogTail&) = delete;
    SyncLogTail& operator=(const SyncLogTail&) = delete;

    // One tick: the text to append to the view (lines end in CR LF), empty
    // when there is nothing new.
    std::string poll();

    bool isOpen() const { return static_cast<bool>(fd_); }
    // The errno of the last failed open (0 once the file is open), for a
    // caller that words the failure itself.
    int openError() const { return openError_; }
    std::uint64_t readPosition() const { return position_; }

private:
    void followRecreatedFile();

    std::filesystem::path path_;
    UniqueFd fd_;
    std::uint64_t position_ = 0;
    int openError_ = 0;
};

}  // namespace kt64::sync
