// TimeFeed: the synchronisation service's offset estimates handed to the
// site's time daemon instead of stepping the clock, so that the daemon can
// discipline the clock continuously. The real feed is SockTimeFeed: one
// datagram per sample on a Unix datagram socket that the daemon has bound
// (its SOCK reference clock), in the daemon's sample layout.
#pragma once

#include <sys/time.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SyncClock.h"
#include "UniqueFd.h"

namespace kt64::sync {

inline constexpr int kSockSampleMagic = 0x534f434b;

// One sample as the daemon reads it: the system time of the measurement,
// true time minus system time then (seconds), no pulse, no leap second.
struct SockSample {
    timeval tv;
    double offset;
    int pulse;
    int leap;
    int _pad;
    int magic;
};
#if defined(__x86_64__)
static_assert(sizeof(SockSample) == 40, "the daemon reads 40-byte samples on x86_64");
#endif

// The sample for a measurement at system time measured.
SockSample sockSampleOf(std::chrono::system_clock::time_point measured, double offsetSeconds);

// The centre's two clocks as estimated at one monotonic instant: its local
// time and its GMT (nanoseconds since the epoch of each count).
struct CentreClocks {
    LocalNanoseconds local{0};
    std::chrono::nanoseconds gmt{0};
    SteadyTime at{};
};

// A sample's offset in seconds: the centre's GMT less the PC's UTC, both at
// the PC's reading (the estimate carried forward to it). Neither clock's zone
// enters: a PC whose zone differs from the centre's local time is still
// told how far its clock is from true time.
double sampleOffsetOf(const ClockReading& pc, const CentreClocks& centre);

class TimeFeed {
public:
    virtual ~TimeFeed() = default;
    // Hands one sample over; the cause (Polish, with the path and the
    // system's text) when it could not be delivered.
    virtual std::optional<std::string> send(std::chrono::system_clock::time_point measured, double offsetSeconds) = 0;
};

// root, and the time daemon's account (_chrony or chrony) where there is one.
std::vector<uid_t> timeDaemonOwners();

class SockTimeFeed final : public TimeFeed {
public:
    // The socket is addressed anew with each sample, so a daemon that was
    // restarted (and bound its socket again) receives the next one. It sits
    // in a folder the group kt64 may write: a sample goes only to a socket
    // owned by one of trustedOwners (root and the time daemon's account),
    // never to one a member bound in the daemon's place.
    explicit SockTimeFeed(std::string path, std::vector<uid_t> trustedOwners = timeDaemonOwners());

    std::optional<std::string> send(std::chrono::system_clock::time_point measured, double offsetSeconds) override;

private:
    std::string path_;
    std::vector<uid_t> trustedOwners_;
    UniqueFd fd_;
    int socketError_ = 0;
};

}  // namespace kt64::sync
