// The synchronisation settings in the registry: defaults written over
// missing or wrongly typed values, and LastSync.
#include <gtest/gtest.h>

#include "Registry.h"
#include "SyncSettings.h"
#include "SyncTestSupport.h"

namespace kt64::test {
namespace {

using namespace kt64::sync;

using reg::Hive;
using reg::Key;
using reg::ValueType;

class SyncSettingsTest : public ::testing::Test {
protected:
    TempFolder dir;
    ScopedEnv registry{"KT64_REGISTRY", (dir.path() / "registry.db").string()};

    Key key() { return Key::create(Hive::LocalMachine, kSettingsKey); }
};

TEST_F(SyncSettingsTest, EmptyKeyGetsEveryDefaultWritten) {
    const auto s = loadSyncSettings();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->hourSync, 0.0);
    EXPECT_EQ(s->freqSync, 24u);
    EXPECT_EQ(s->deviationFrom, 0);
    EXPECT_EQ(s->deviationTo, 0);
    EXPECT_EQ(s->compName, defaultCompName());
    EXPECT_FALSE(s->syncSnd);

    auto k = key();
    EXPECT_EQ(k.query("HourSync"), (reg::Value{ValueType::Binary, std::vector<std::uint8_t>(8, 0)}));
    EXPECT_EQ(k.dword("FreqSync"), 24u);
    EXPECT_EQ(k.dword("SyncOd"), 0u);
    EXPECT_EQ(k.dword("SyncDo"), 0u);
    EXPECT_EQ(k.string("CompName"), defaultCompName());
    EXPECT_EQ(k.dword("SyncSnd"), 0u);
    EXPECT_FALSE(k.query("LastSync"));
    EXPECT_EQ(s->timedChanges, 20u);
    EXPECT_EQ(k.dword("SyncZmiany"), 20u);
    EXPECT_EQ(s->syncSock, "");
    EXPECT_EQ(k.string("SyncSock"), "");
    EXPECT_EQ(s->metricsFolder, "/var/lib/prometheus/node-exporter");
    EXPECT_EQ(k.string("MetricsFolder"), "/var/lib/prometheus/node-exporter");
}

TEST_F(SyncSettingsTest, ChangesToTimeAndDaemonSocket) {
    struct Row {
        const char* name;
        std::optional<std::uint32_t> stored;
        std::uint32_t used;
    };
    const Row rows[] = {
        {"whole-second setting", 0u, 0u},
        {"one change", 1u, 1u},
        {"the largest", kMaxTimedChanges, kMaxTimedChanges},
        {"beyond the largest: a cycle of hours", kMaxTimedChanges + 1, 20u},
        {"far beyond", 0xFFFFFFFFu, 20u},
    };
    for (const auto& row : rows) {
        auto k = key();
        k.setDword("SyncZmiany", *row.stored);
        const auto s = loadSyncSettings();
        ASSERT_TRUE(s) << row.name;
        EXPECT_EQ(s->timedChanges, row.used) << row.name;
        EXPECT_EQ(k.dword("SyncZmiany"), row.used) << row.name;
    }
    auto k = key();
    k.setString("SyncZmiany", "20");
    k.setString("SyncSock", "/run/chrony/kt64.sock");
    const auto s = loadSyncSettings();
    EXPECT_EQ(s->timedChanges, 20u);
    EXPECT_EQ(k.dword("SyncZmiany"), 20u);
    EXPECT_EQ(s->syncSock, "/run/chrony/kt64.sock");
    k.setDword("SyncSock", 1);
    EXPECT_EQ(loadSyncSettings()->syncSock, "");
    EXPECT_EQ(k.string("SyncSock"), "");
    // Empty switches the metrics off; it is not a missing value.
    k.setString("MetricsFolder", "");
    EXPECT_EQ(loadSyncSettings()->metricsFolder, "");
    EXPECT_EQ(k.string("MetricsFolder"), "");
}

TEST_F(SyncSettingsTest, StoredValuesAreRead) {
    auto k = key();
    const DATE hour = *makeDate(1899, 12, 30, 2, 30, 15);
    k.setBinary("HourSync", dateBytes(hour));
    k.setDword("FreqSync", 1440);
    k.setDword("SyncOd", static_cast<std::uint32_t>(-5));
    k.setDword("SyncDo", 60);
    k.setString("CompName", "ABCDEFGHIJKLMNO");  // 15 characters: read whole
    k.setDword("SyncSnd", 7);
    const auto s = loadSyncSettings();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->hourSync, hour);
    EXPECT_EQ(s->freqSync, 1440u);
    EXPECT_EQ(s->deviationFrom, -5);
    EXPECT_EQ(s->deviationTo, 60);
    EXPECT_EQ(s->compName, "ABCDEFGHIJKLMNO");
    EXPECT_TRUE(s->syncSnd);
    EXPECT_EQ(k.string("CompName"), "ABCDEFGHIJKLMNO");
}

TEST_F(SyncSettingsTest, WronglyTypedOrUnusableValuesAreReplaced) {
    auto k = key();
    k.setString("HourSync", "02:00");
    k.setString("FreqSync", "30");
    k.setBinary("SyncOd", std::vector<std::uint8_t>{1, 0, 0, 0});
    k.setDword("CompName", 1);
    k.setString("SyncSnd", "1");
    const auto s = loadSyncSettings();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->hourSync, 0.0);
    EXPECT_EQ(s->freqSync, 24u);
    EXPECT_EQ(s->deviationFrom, 0);
    EXPECT_EQ(s->compName, defaultCompName());
    EXPECT_FALSE(s->syncSnd);
    EXPECT_EQ(k.binary("HourSync"), dateBytes(0.0));
    EXPECT_EQ(k.dword("FreqSync"), 24u);
    EXPECT_EQ(k.dword("SyncOd"), 0u);
    EXPECT_EQ(k.string("CompName"), defaultCompName());
    EXPECT_EQ(k.dword("SyncSnd"), 0u);

    // HourSync of another length than 8 bytes, CompName of 16 characters.
    k.setBinary("HourSync", std::vector<std::uint8_t>{0, 0, 0, 0});
    k.setString("CompName", "ABCDEFGHIJKLMNOP");
    const auto again = loadSyncSettings();
    EXPECT_EQ(k.binary("HourSync"), dateBytes(0.0));
    EXPECT_EQ(again->compName, defaultCompName());
}

TEST_F(SyncSettingsTest, ExpandStringNameAndPolishLettersCount) {
    auto k = key();
    k.setString("CompName", "%HOST%", ValueType::ExpandSz);
    EXPECT_EQ(loadSyncSettings()->compName, "%HOST%");  // not expanded
    k.setString("CompName", "ŁÓDŹŻÓŁĆĘŚĄŃ123");         // 15 characters, 26 bytes
    EXPECT_EQ(loadSyncSettings()->compName, "ŁÓDŹŻÓŁĆĘŚĄŃ123");
}

TEST_F(SyncSettingsTest, LastSyncIsWrittenAsEightLittleEndianBytes) {
    key();
    const DATE reading = *makeDate(2007, 2, 16, 2, 0, 5);
    recordLastSync(reading);
    const auto bytes = key().binary("LastSync");
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, dateBytes(reading));
    EXPECT_EQ(dateFromBytes(*bytes), reading);
    // 2.0 = 1900-01-01: IEEE 0x4000000000000000, little-endian.
    EXPECT_EQ(dateBytes(2.0), (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0, 0x40}));
}

TEST(SyncSettingsStore, UnusableStoreMeansNoSettings) {
    TempFolder dir;
    writeFile(dir.path() / "file", "not a folder");
    ScopedEnv registry("KT64_REGISTRY", (dir.path() / "file" / "registry.db").string());
    EXPECT_FALSE(loadSyncSettings());
    recordLastSync(1.0);  // does nothing, throws nothing
}

}  // namespace
}  // namespace kt64::test
