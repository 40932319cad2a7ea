// What one caller, and all of them together, can make the link server hold,
// and how often a refusal reaches the journal.
//
// Every lease is a stream the server keeps open, and every WaitForDeviceRead
// a call it keeps until the next reading: without a cap a caller on the
// network could open them until the server's memory runs out (the centre
// then loses its link server). The caps are far above what a site needs
// (one lease per client object: a console, a synchronisation service, a
// tool; a few waits each) and far below what hurts. Past them the caller is
// refused with E_OUTOFMEMORY and a text saying which cap it reached.
//
// A caller is who the server can tell apart: the address of a caller from
// another computer; all users of the read socket are one caller (the socket
// cannot tell them apart). The operators on the control socket are held to
// no cap: they are trusted, and strangers who fill the caps must not lock
// them out of their own centre.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "WorkerJournal.h"

namespace kt64::server {

struct CallerCaps {
    std::size_t leasesPerCaller = 64;
    std::size_t leases = 1024;
    std::size_t waits = 256;  // WaitForDeviceRead calls waiting at once
};

// The longest holder name a lease may give (its log line is all it is for).
inline constexpr std::size_t kLongestClientName = 256;

class CallerLimits {
public:
    explicit CallerLimits(CallerCaps caps = {}) : caps_(caps) {}

    // Counts a lease of caller; the Polish refusal, naming the caller as
    // shownAs ("10.0.0.5", "tego komputera"), when a cap is reached (nothing
    // counted then).
    std::optional<std::string> takeLease(const std::string& caller, const std::string& shownAs);
    void leaseEnded(const std::string& caller);
    std::optional<std::string> takeWait();
    void waitEnded();

    std::size_t leases() const;

private:
    CallerCaps caps_;
    mutable std::mutex mutex_;
    std::map<std::string, std::size_t> leasesOf_;
    std::size_t leases_ = 0;
    std::size_t waits_ = 0;
};

// Refusals for the journal: at most one line a minute for each caller and
// kind of refusal, so that a client retrying in a loop (or an attacker)
// cannot flood the log. The clock is a seam for tests.
class RefusalLog {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    explicit RefusalLog(
        LogSink log, Clock clock = [] { return std::chrono::steady_clock::now(); })
        : log_(std::move(log)), clock_(std::move(clock)) {}

    // key: the caller and the kind ("10.0.0.5 control"); text: the line.
    void refused(const std::string& key, const std::string& text);

    static constexpr std::chrono::minutes kQuiet{1};
    // Callers remembered at most; the oldest are forgotten first.
    static constexpr std::size_t kRemembered = 4096;

private:
    LogSink log_;
    Clock clock_;
    std::mutex mutex_;
    std::map<std::string, std::chrono::steady_clock::time_point> lastLogged_;
};

}  // namespace kt64::server
