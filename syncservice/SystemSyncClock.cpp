// timerfd, localtime_r/mktime, clock_settime and the RTC behind the clock
// seam.
#include "SystemSyncClock.h"

#include "UniqueFd.h"

#include <fcntl.h>
#include <linux/rtc.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace kt64::sync {
namespace {

class RealtimeTimer final : public SyncTimer {
public:
    explicit RealtimeTimer(UniqueFd fd) : fd_(std::move(fd)) {}

    WaitResult waitUntil(LocalSeconds due, const StopSignal& stop) override {
        const auto utc = utcOfLocal(calendar::civilFromSeconds(due));
        if (!utc) return WaitResult::Failed;
        itimerspec spec{};
        spec.it_value.tv_sec = *utc;
        // An absolute time of 0 would disarm the timer; the instant has long passed anyway.
        if (spec.it_value.tv_sec <= 0) spec.it_value.tv_nsec = 1;
        if (::timerfd_settime(fd_.get(), TFD_TIMER_ABSTIME, &spec, nullptr) != 0) return WaitResult::Failed;

        pollfd fds[2] = {{fd_.get(), POLLIN, 0}, {stop.fd(), POLLIN, 0}};
        for (;;) {
            if (stop.requested()) return WaitResult::Stopped;
            const int rc = ::poll(fds, 2, -1);
            if (rc < 0) {
                if (errno == EINTR) continue;
                return WaitResult::Failed;
            }
            if (fds[1].revents & POLLIN) return WaitResult::Stopped;
            if (fds[0].revents & POLLIN) {
                std::uint64_t expirations = 0;
                if (::read(fd_.get(), &expirations, sizeof expirations) == sizeof expirations) return WaitResult::Due;
                if (errno == EINTR || errno == EAGAIN) continue;
                return WaitResult::Failed;
            }
            if (fds[0].revents & (POLLERR | POLLNVAL)) return WaitResult::Failed;
        }
    }

private:
    UniqueFd fd_;
};

// The calendar fields of a reading, with nothing said about summer time.
std::tm fieldsOf(const calendar::CivilTime& local) {
    std::tm tm{};
    tm.tm_year = local.year - 1900;
    tm.tm_mon = local.month - 1;
    tm.tm_mday = local.day;
    tm.tm_hour = local.hour;
    tm.tm_min = local.minute;
    tm.tm_sec = local.second;
    return tm;
}

}  // namespace

std::optional<std::time_t> utcOfLocal(const calendar::CivilTime& local) {
    std::tm tm = fieldsOf(local);
    tm.tm_isdst = -1;
    errno = 0;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) && errno != 0) return std::nullopt;
    return t;
}

std::optional<std::time_t> utcOfReading(const calendar::CivilTime& local, std::time_t readAt) {
    std::tm tm = fieldsOf(local);
    // The fields as if they were UTC; timegm normalises out-of-range fields,
    // which then no longer match what was asked.
    const std::time_t asUtc = ::timegm(&tm);
    if (tm.tm_year != local.year - 1900 || tm.tm_mon != local.month - 1 || tm.tm_mday != local.day ||
        tm.tm_hour != local.hour || tm.tm_min != local.minute || tm.tm_sec != local.second)
        return std::nullopt;
    std::tm zone{};
    if (localtime_r(&readAt, &zone) == nullptr) return std::nullopt;
    return asUtc - zone.tm_gmtoff;
}

HardwareClockResult setHardwareClock(std::time_t utc, const char* device) {
    const UniqueFd fd(::open(device, O_RDONLY | O_CLOEXEC));
    if (!fd)
        return (errno == ENOENT || errno == ENODEV || errno == ENXIO) ? HardwareClockResult::NoDevice
                                                                      : HardwareClockResult::Failed;
    std::tm tm{};
    gmtime_r(&utc, &tm);
    rtc_time rtc{};
    rtc.tm_sec = tm.tm_sec;
    rtc.tm_min = tm.tm_min;
    rtc.tm_hour = tm.tm_hour;
    rtc.tm_mday = tm.tm_mday;
    rtc.tm_mon = tm.tm_mon;
    rtc.tm_year = tm.tm_year;
    return ::ioctl(fd.get(), RTC_SET_TIME, &rtc) == 0 ? HardwareClockResult::Set : HardwareClockResult::Failed;
}

LocalSeconds SystemSyncClock::nowLocal() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return calendar::secondsFromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::unique_ptr<SyncTimer> SystemSyncClock::createTimer() {
    UniqueFd fd(::timerfd_create(CLOCK_REALTIME, TFD_CLOEXEC));
    if (!fd) return nullptr;
    return std::make_unique<RealtimeTimer>(std::move(fd));
}

std::error_code SystemSyncClock::setLocalTime(const calendar::CivilTime& local) {
    const auto utc = utcOfReading(local, std::time(nullptr));
    if (!utc) return std::make_error_code(std::errc::invalid_argument);
    const timespec ts{*utc, 0};
    if (::clock_settime(CLOCK_REALTIME, &ts) != 0) return {errno, std::system_category()};
    // The system clock is set: a machine without an RTC, or one that refuses,
    // keeps the new time until the next start all the same.
    setHardwareClock(*utc, kHardwareClockDevice);
    return {};
}

ClockReading SystemSyncClock::readClock() {
    ClockReading reading;
    reading.steady = std::chrono::steady_clock::now();
    reading.utc = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(reading.utc);
    std::tm zone{};
    localtime_r(&seconds, &zone);
    reading.local = std::chrono::duration_cast<std::chrono::nanoseconds>(reading.utc.time_since_epoch()) +
                    std::chrono::seconds(zone.tm_gmtoff);
    return reading;
}

std::optional<timespec> settingOf(const CentreEstimate& centre, SteadyTime now, std::time_t readAt) {
    constexpr std::int64_t kNsPerSecond = 1'000'000'000;
    const auto local = centre.local + (now - centre.at);
    std::int64_t whole = local.count() / kNsPerSecond;
    std::int64_t fraction = local.count() % kNsPerSecond;
    if (fraction < 0) {
        fraction += kNsPerSecond;
        --whole;
    }
    const auto utc = utcOfReading(calendar::civilFromSeconds(whole), readAt);
    if (!utc) return std::nullopt;
    return timespec{*utc, static_cast<long>(fraction)};
}

std::error_code SystemSyncClock::setLocalTime(const CentreEstimate& centre) {
    const auto ts = settingOf(centre, std::chrono::steady_clock::now(), std::time(nullptr));
    if (!ts) return std::make_error_code(std::errc::invalid_argument);
    if (::clock_settime(CLOCK_REALTIME, &*ts) != 0) return {errno, std::system_category()};
    setHardwareClock(ts->tv_sec, kHardwareClockDevice);
    return {};
}

PcZone SystemSyncClock::zoneAt(std::time_t utc) { return pcZoneAt(utc); }

PcZone pcZoneAt(std::time_t utc) {
    // A zone changed while the service runs (timedatectl set-timezone) is
    // read anew: localtime_r alone keeps the rules it loaded first.
    ::tzset();
    std::tm tm{};
    localtime_r(&utc, &tm);
    PcZone zone{{}, static_cast<std::int32_t>(tm.tm_gmtoff)};
    if (const char* tz = std::getenv("TZ"); tz && *tz) {
        zone.name = tz[0] == ':' ? tz + 1 : tz;
        return zone;
    }
    std::error_code ec;
    const std::string target = std::filesystem::read_symlink("/etc/localtime", ec).string();
    if (const auto at = target.find("zoneinfo/"); !ec && at != std::string::npos) {
        zone.name = target.substr(at + 9);
        return zone;
    }
    std::ifstream file("/etc/timezone");
    if (std::getline(file, zone.name) && !zone.name.empty()) return zone;
    zone.name = tm.tm_zone ? tm.tm_zone : "UTC";
    return zone;
}

bool SystemSyncClock::pause(std::chrono::milliseconds length, const StopSignal& stop) { return !stop.waitFor(length); }

}  // namespace kt64::sync
