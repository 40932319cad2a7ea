// Counting of leases and waits, and the quiet refusal log; see the header.
#include "CallerLimits.h"

#include <algorithm>

namespace kt64::server {

std::optional<std::string> CallerLimits::takeLease(const std::string& caller, const std::string& shownAs) {
    std::lock_guard lock(mutex_);
    if (leases_ >= caps_.leases)
        return "Serwer obsługuje już najwięcej połączeń klientów (" + std::to_string(caps_.leases) +
               "); spróbuj ponownie później.";
    auto& mine = leasesOf_[caller];
    if (mine >= caps_.leasesPerCaller)
        return "Za dużo połączeń klientów z " + shownAs + " (najwyżej " + std::to_string(caps_.leasesPerCaller) +
               "); zamknij programy, które ich nie zwalniają.";
    ++mine;
    ++leases_;
    return std::nullopt;
}

void CallerLimits::leaseEnded(const std::string& caller) {
    std::lock_guard lock(mutex_);
    auto it = leasesOf_.find(caller);
    if (it == leasesOf_.end()) return;
    if (--it->second == 0) leasesOf_.erase(it);
    if (leases_ > 0) --leases_;
}

std::optional<std::string> CallerLimits::takeWait() {
    std::lock_guard lock(mutex_);
    if (waits_ >= caps_.waits)
        return "Za dużo jednoczesnych oczekiwań na odczyt centrali (najwyżej " + std::to_string(caps_.waits) +
               "); spróbuj ponownie później.";
    ++waits_;
    return std::nullopt;
}

void CallerLimits::waitEnded() {
    std::lock_guard lock(mutex_);
    if (waits_ > 0) --waits_;
}

std::size_t CallerLimits::leases() const {
    std::lock_guard lock(mutex_);
    return leases_;
}

void RefusalLog::refused(const std::string& key, const std::string& text) {
    if (!log_) return;
    const auto now = clock_();
    {
        std::lock_guard lock(mutex_);
        auto it = lastLogged_.find(key);
        if (it != lastLogged_.end() && now - it->second < kQuiet) return;
        if (it == lastLogged_.end() && lastLogged_.size() >= kRemembered) {
            auto oldest = std::min_element(lastLogged_.begin(), lastLogged_.end(),
                                           [](const auto& a, const auto& b) { return a.second < b.second; });
            lastLogged_.erase(oldest);
        }
        lastLogged_[key] = now;
    }
    log_(LogLevel::Warning, text);
}

}  // namespace kt64::server
