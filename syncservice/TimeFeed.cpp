// Samples for the time daemon's SOCK reference clock.
#include "TimeFeed.h"

#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <algorithm>

#include <cerrno>
#include <cstring>

namespace kt64::sync {

SockSample sockSampleOf(std::chrono::system_clock::time_point measured, double offsetSeconds) {
    using namespace std::chrono;
    const auto us = duration_cast<microseconds>(measured.time_since_epoch()).count();
    SockSample s{};
    // Floor division: a time before the epoch still has 0 <= tv_usec < 1e6.
    auto sec = us / 1'000'000;
    auto usec = us % 1'000'000;
    if (usec < 0) {
        usec += 1'000'000;
        --sec;
    }
    s.tv.tv_sec = static_cast<time_t>(sec);
    s.tv.tv_usec = static_cast<suseconds_t>(usec);
    s.offset = offsetSeconds;
    s.pulse = 0;
    s.leap = 0;
    s._pad = 0;
    s.magic = kSockSampleMagic;
    return s;
}

double sampleOffsetOf(const ClockReading& pc, const CentreClocks& centre) {
    const auto gmt = centre.gmt + (pc.steady - centre.at);
    return std::chrono::duration<double>(gmt - pc.utc.time_since_epoch()).count();
}

std::vector<uid_t> timeDaemonOwners() {
    std::vector<uid_t> owners{0};
    for (const char* account : {"_chrony", "chrony"}) {
        passwd entry{};
        passwd* found = nullptr;
        char buffer[1024];
        if (::getpwnam_r(account, &entry, buffer, sizeof buffer, &found) == 0 && found) owners.push_back(found->pw_uid);
    }
    return owners;
}

SockTimeFeed::SockTimeFeed(std::string path, std::vector<uid_t> trustedOwners)
    : path_(std::move(path)), trustedOwners_(std::move(trustedOwners)) {
    fd_.reset(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd_) socketError_ = errno;
}

std::optional<std::string> SockTimeFeed::send(std::chrono::system_clock::time_point measured, double offsetSeconds) {
    auto failure = [&](int error) {
        return "Nie mogę przekazać próbki czasu do gniazda " + path_ + ": " + std::strerror(error) + "\n";
    };
    if (!fd_) return failure(socketError_);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path_.size() >= sizeof addr.sun_path) return failure(ENAMETOOLONG);
    std::memcpy(addr.sun_path, path_.c_str(), path_.size() + 1);
    struct stat st {};
    if (::lstat(path_.c_str(), &st) != 0) return failure(errno);
    if (!S_ISSOCK(st.st_mode)) return "Nie mogę przekazać próbki czasu do gniazda " + path_ + ": to nie jest gniazdo\n";
    if (std::find(trustedOwners_.begin(), trustedOwners_.end(), st.st_uid) == trustedOwners_.end())
        return "Nie mogę przekazać próbki czasu do gniazda " + path_ + ": gniazdo należy do użytkownika o uid " +
               std::to_string(st.st_uid) + ", a nie do roota ani do demona czasu\n";
    const SockSample sample = sockSampleOf(measured, offsetSeconds);
    // Never wait for a daemon that does not read: its queue holds a few
    // datagrams only, and a blocked send would hold the worker (and a stop)
    // up for good. A sample that finds the queue full is dropped.
    const auto sent = ::sendto(fd_.get(), &sample, sizeof sample, MSG_NOSIGNAL | MSG_DONTWAIT,
                               reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    if (sent != static_cast<ssize_t>(sizeof sample)) return failure(sent < 0 ? errno : EMSGSIZE);
    return std::nullopt;
}

}  // namespace kt64::sync
