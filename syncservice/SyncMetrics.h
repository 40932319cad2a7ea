// The synchronisation service's state for a site's monitoring: when it last
// set the clock, the deviation it found, and the cycles that failed, by the
// number of the message they logged. Every PC that keeps its clock in step
// runs the service, and most of them run no link server, so the numbers go
// where the monitoring agent that every such PC already runs reads them:
// one file, kt64-sync.prom, in the folder of its text-file collector
// (MetricsFolder), replaced whole after every cycle so that the agent never
// reads half of it. A time daemon's feed has no cycles: it reports a minute
// of samples at a time (SyncWorker.h).
//
// The text is the classic exposition format (the collector reads no
// other): a pure function of the state, so it is tested without a file.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "SyncMessages.h"

namespace kt64::sync {

// How one cycle ended, as the worker reports it.
struct CycleReport {
    bool synchronised = false;
    // Centre minus PC, in seconds, when the cycle came as far as comparing.
    std::optional<double> deviationSeconds;
    // The numbered message a failed cycle logged; a link server's own
    // description counts as 111, a zone mismatch as no number ("zone").
    std::optional<MessageId> failure;
    bool zoneMismatch = false;
    // A sample the time daemon's socket did not take: no number ("feed").
    bool feedFailed = false;
    // When the outcome was found, where the worker knows it on its clock
    // (the feed's samples); none: when it is reported.
    std::optional<std::chrono::system_clock::time_point> at;

    static CycleReport succeeded(double deviation) {
        CycleReport r;
        r.synchronised = true;
        r.deviationSeconds = deviation;
        return r;
    }
    static CycleReport failed(MessageId id, std::optional<double> deviation = std::nullopt) {
        CycleReport r;
        r.failure = id;
        r.deviationSeconds = deviation;
        return r;
    }
    static CycleReport zoneDiffers() {
        CycleReport r;
        r.zoneMismatch = true;
        return r;
    }
    static CycleReport notFed(double deviation) {
        CycleReport r;
        r.feedFailed = true;
        r.deviationSeconds = deviation;
        return r;
    }
};

// The message label a failed cycle is counted under ("107", "zone",
// "feed"); none for a success.
inline std::optional<std::string> failureLabel(const CycleReport& report) {
    if (report.failure) return std::to_string(static_cast<int>(*report.failure));
    if (report.zoneMismatch) return "zone";
    if (report.feedFailed) return "feed";
    return std::nullopt;
}

struct SyncMetricsState {
    std::int64_t startedUnix = 0;
    std::optional<std::int64_t> lastSuccessUnix;
    std::optional<double> deviationSeconds;
    // "107", "zone" ... to the cycles that failed so.
    std::map<std::string, std::uint64_t> failures;

    void add(const CycleReport& report, std::chrono::system_clock::time_point at);
};

std::string renderSyncMetrics(const SyncMetricsState& state);

inline constexpr std::string_view kSyncMetricsFile = "kt64-sync.prom";

class SyncMetricsFile {
public:
    // note: where a failed write is told (the journal), once until its
    // reason changes.
    SyncMetricsFile(std::filesystem::path folder, std::function<void(const std::string&)> note,
                    std::chrono::system_clock::time_point started = std::chrono::system_clock::now());

    // Adds the cycle and replaces the file.
    void record(const CycleReport& report, std::chrono::system_clock::time_point at = std::chrono::system_clock::now());
    // Writes the state as it is (at start, so the collector sees the
    // service before its first cycle ends).
    void write();
    std::filesystem::path path() const { return folder_ / kSyncMetricsFile; }

private:
    std::filesystem::path folder_;
    std::function<void(const std::string&)> note_;
    SyncMetricsState state_;
    std::string lastFailure_;
};

}  // namespace kt64::sync
