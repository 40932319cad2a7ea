// The service's metrics file.
#include "SyncMetrics.h"

#include <sys/mman.h>
#include <unistd.h>

#include <charconv>

#include "FileCopy.h"
#include "UniqueFd.h"

namespace kt64::sync {

namespace {

std::string number(double v) {
    std::array<char, 32> buf{};
    const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    return ec == std::errc() ? std::string(buf.data(), end) : std::string("NaN");
}

std::int64_t unixSeconds(std::chrono::system_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
}

void family(std::string& out, std::string_view name, std::string_view type, std::string_view help) {
    out += "# HELP " + std::string(name) + ' ' + std::string(help) + '\n';
    out += "# TYPE " + std::string(name) + ' ' + std::string(type) + '\n';
}

}  // namespace

void SyncMetricsState::add(const CycleReport& report, std::chrono::system_clock::time_point at) {
    if (report.synchronised) lastSuccessUnix = unixSeconds(at);
    if (report.deviationSeconds) deviationSeconds = report.deviationSeconds;
    if (const auto label = failureLabel(report)) ++failures[*label];
}

std::string renderSyncMetrics(const SyncMetricsState& s) {
    std::string out;
    family(out, "kt64_sync_started_timestamp_seconds", "gauge", "When the synchronisation service started.");
    out += "kt64_sync_started_timestamp_seconds " + std::to_string(s.startedUnix) + '\n';
    if (s.lastSuccessUnix) {
        family(out, "kt64_sync_last_success_timestamp_seconds", "gauge",
               "When the service last set this computer's clock from the centre.");
        out += "kt64_sync_last_success_timestamp_seconds " + std::to_string(*s.lastSuccessUnix) + '\n';
    }
    if (s.deviationSeconds) {
        family(out, "kt64_sync_deviation_seconds", "gauge",
               "The centre's time minus this computer's, as the last cycle found it.");
        out += "kt64_sync_deviation_seconds " + number(*s.deviationSeconds) + '\n';
    }
    family(out, "kt64_sync_cycles_failed_total", "counter",
           "Synchronisation cycles that failed, by the number of the message they logged.");
    for (const auto& [message, count] : s.failures)
        out += "kt64_sync_cycles_failed_total{message=\"" + message + "\"} " + std::to_string(count) + '\n';
    return out;
}

SyncMetricsFile::SyncMetricsFile(std::filesystem::path folder, std::function<void(const std::string&)> note,
                                 std::chrono::system_clock::time_point started)
    : folder_(std::move(folder)), note_(std::move(note)) {
    state_.startedUnix = unixSeconds(started);
}

void SyncMetricsFile::record(const CycleReport& report, std::chrono::system_clock::time_point at) {
    state_.add(report, at);
    write();
}

void SyncMetricsFile::write() {
    // The text goes through an anonymous memory file to the program files'
    // atomic replacement, which already flushes the file and its folder.
    const std::string text = renderSyncMetrics(state_);
    std::optional<std::string> failure;
    UniqueFd memory(::memfd_create("kt64-sync-metrics", MFD_CLOEXEC));
    if (!memory || ::write(memory.get(), text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        failure = std::system_category().message(errno);
    } else {
        failure = program::replaceFileAtomically("/proc/self/fd/" + std::to_string(memory.get()), path(),
                                                 program::LinkAtTarget::Refuse);
    }
    const std::string said = failure.value_or(std::string());
    if (failure && said != lastFailure_ && note_)
        note_("metrics not written to " + path().string() + ": " + said + " (MetricsFolder)");
    lastFailure_ = said;
}

}  // namespace kt64::sync
