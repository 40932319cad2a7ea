// The service's metrics file: its text for the monitoring's text-file
// collector, and its replacement in the collector's folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "SyncMetrics.h"
#include "TestEnvironment.h"
#include "WholeFile.h"

namespace kt64::test {
namespace {

using namespace kt64::sync;

using std::chrono::system_clock;

system_clock::time_point unixTime(std::int64_t s) { return system_clock::time_point(std::chrono::seconds(s)); }

TEST(SyncMetrics, CyclesAddUpToTheText) {
    const std::string head =
        "# HELP kt64_sync_started_timestamp_seconds When the synchronisation service started.\n"
        "# TYPE kt64_sync_started_timestamp_seconds gauge\n"
        "kt64_sync_started_timestamp_seconds 1700000000\n";
    const std::string failedHead =
        "# HELP kt64_sync_cycles_failed_total Synchronisation cycles that failed, by the number of the message they "
        "logged.\n"
        "# TYPE kt64_sync_cycles_failed_total counter\n";
    struct Row {
        const char* what;
        std::vector<CycleReport> cycles;
        std::string text;
    };
    const Row rows[] = {
        {"no cycle yet", {}, head + failedHead},
        {"set after failures",
         {CycleReport::failed(MessageId::NoConnection), CycleReport::failed(MessageId::OutsideWindow, -90.25),
          CycleReport::failed(MessageId::NoConnection), CycleReport::zoneDiffers(), CycleReport::succeeded(0.012)},
         head +
             "# HELP kt64_sync_last_success_timestamp_seconds When the service last set this computer's clock from "
             "the centre.\n"
             "# TYPE kt64_sync_last_success_timestamp_seconds gauge\n"
             "kt64_sync_last_success_timestamp_seconds 1700000500\n"
             "# HELP kt64_sync_deviation_seconds The centre's time minus this computer's, as the last cycle found "
             "it.\n"
             "# TYPE kt64_sync_deviation_seconds gauge\n"
             "kt64_sync_deviation_seconds 0.012\n" +
             failedHead +
             "kt64_sync_cycles_failed_total{message=\"107\"} 2\n"
             "kt64_sync_cycles_failed_total{message=\"109\"} 1\n"
             "kt64_sync_cycles_failed_total{message=\"zone\"} 1\n"},
        // A failure after a success keeps the success's time but shows the
        // deviation it found.
        {"failure after success",
         {CycleReport::succeeded(1), CycleReport::failed(MessageId::ClockNotSet, 3)},
         head +
             "# HELP kt64_sync_last_success_timestamp_seconds When the service last set this computer's clock from "
             "the centre.\n"
             "# TYPE kt64_sync_last_success_timestamp_seconds gauge\n"
             "kt64_sync_last_success_timestamp_seconds 1700000100\n"
             "# HELP kt64_sync_deviation_seconds The centre's time minus this computer's, as the last cycle found "
             "it.\n"
             "# TYPE kt64_sync_deviation_seconds gauge\n"
             "kt64_sync_deviation_seconds 3\n" +
             failedHead + "kt64_sync_cycles_failed_total{message=\"113\"} 1\n"},
    };
    for (const Row& row : rows) {
        SyncMetricsState state;
        state.startedUnix = 1700000000;
        std::int64_t at = 1700000000;
        for (const CycleReport& cycle : row.cycles) state.add(cycle, unixTime(at += 100));
        EXPECT_EQ(renderSyncMetrics(state), row.text) << row.what;
    }
}

TEST(SyncMetrics, FileIsReplacedWholeAndFailuresAreToldOnce) {
    TempDir dir;
    std::vector<std::string> notes;
    SyncMetricsFile file(
        dir.path(), [&](const std::string& text) { notes.push_back(text); }, unixTime(1700000000));
    file.write();
    file.record(CycleReport::failed(MessageId::NoConnection), unixTime(1700000100));
    SyncMetricsState expected;
    expected.startedUnix = 1700000000;
    expected.add(CycleReport::failed(MessageId::NoConnection), unixTime(1700000100));
    EXPECT_EQ(readWholeFile(dir.path() / "kt64-sync.prom", {0, 4096, ""}), renderSyncMetrics(expected));
    // Only the file itself: the collector reads every *.prom there.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    struct stat st {};
    ASSERT_EQ(::stat((dir.path() / "kt64-sync.prom").c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IROTH, 0u) << "the collector runs under an account of its own";
    EXPECT_TRUE(notes.empty());

    // A folder that is not there (the collector not installed): told once.
    SyncMetricsFile missing(dir.path() / "none", [&](const std::string& text) { notes.push_back(text); });
    missing.write();
    missing.record(CycleReport::succeeded(0));
    EXPECT_EQ(notes,
              std::vector<std::string>{"metrics not written to " + (dir.path() / "none" / "kt64-sync.prom").string() +
                                       ": No such file or directory (MetricsFolder)"});

    // A link in the file's place (MetricsFolder is the operators' to set,
    // the service is root): refused, the file it points to untouched.
    TempDir linked;
    const auto prom = linked.path() / "kt64-sync.prom";
    std::filesystem::create_symlink(dir.path() / "kt64-sync.prom", prom);
    const std::string before = readWholeFile(dir.path() / "kt64-sync.prom", {0, 4096, ""});
    notes.clear();
    SyncMetricsFile throughLink(linked.path(), [&](const std::string& text) { notes.push_back(text); });
    throughLink.write();
    EXPECT_EQ(notes, std::vector<std::string>{"metrics not written to " + prom.string() +
                                              ": a symbolic link, not a file; refused (MetricsFolder)"});
    EXPECT_EQ(readWholeFile(dir.path() / "kt64-sync.prom", {0, 4096, ""}), before);
}

}  // namespace
}  // namespace kt64::test
