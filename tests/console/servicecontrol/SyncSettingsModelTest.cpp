// The settings form's conversions and registry writes, without the form.
#include <gtest/gtest.h>

#include "Registry.h"
#include "SyncSettingsModel.h"
#include "SyncSettings.h"
#include "SyncTestSupport.h"

namespace kt64::test {
namespace {

using namespace kt64::servicecontrol;

using reg::Hive;
using reg::Key;

TEST(SyncFormPeriod, LoadAndSaveConversions) {
    struct Row {
        std::uint32_t freqSync;
        SyncPeriod loaded;
        std::uint32_t saved;
    };
    const Row rows[] = {
        {90, {1, PeriodUnit::Hours}, 60},  // loses its half hour when saved unchanged
        {1440, {24, PeriodUnit::Hours}, 1440}, {45, {45, PeriodUnit::Minutes}, 45}, {60, {1, PeriodUnit::Hours}, 60},
        {59, {59, PeriodUnit::Minutes}, 59},   {24, {24, PeriodUnit::Minutes}, 24}, {0, {0, PeriodUnit::Minutes}, 0},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(periodOfFreqSync(row.freqSync), row.loaded) << row.freqSync;
        EXPECT_EQ(freqSyncOfPeriod(periodOfFreqSync(row.freqSync)), row.saved) << row.freqSync;
    }
    EXPECT_EQ(unitText(PeriodUnit::Hours), "h");
    EXPECT_EQ(unitText(PeriodUnit::Minutes), "m");
}

TEST(SyncFormPeriod, Ranges) {
    EXPECT_EQ(*rangeMessage(25, periodRange(PeriodUnit::Hours)), "Wprowadź liczbę całkowitą z zakresu od 1 do 24.");
    EXPECT_FALSE(rangeMessage(24, periodRange(PeriodUnit::Hours)));
    EXPECT_TRUE(rangeMessage(60, periodRange(PeriodUnit::Minutes)));
    EXPECT_FALSE(rangeMessage(59, periodRange(PeriodUnit::Minutes)));
    EXPECT_TRUE(rangeMessage(0, periodRange(PeriodUnit::Minutes)));

    SyncFormValues form;
    EXPECT_FALSE(validateSyncForm(form));
    form.deviationTo = 100;
    EXPECT_TRUE(validateSyncForm(form));
    form.deviationTo = 0;
    form.period = {30, PeriodUnit::Hours};
    EXPECT_TRUE(validateSyncForm(form));
    form.period = {1, PeriodUnit::Hours};
    form.compName = "ABCDEFGHIJKLMNOP";  // 16 characters: the service would replace it
    EXPECT_EQ(validateSyncForm(form), std::string(kCompNameTooLongText));
    form.compName = "ŁÓDŹŻÓŁĆĘŚĄŃ123";
    EXPECT_FALSE(validateSyncForm(form));
    // Od 99, Do 5 permits no synchronisation; Do 0 has no upper bound.
    form.deviationFrom = 99;
    form.deviationTo = 5;
    EXPECT_EQ(validateSyncForm(form), std::string(kWindowReversedText));
    form.deviationTo = 0;
    EXPECT_FALSE(validateSyncForm(form));
}

class SyncFormRegistryTest : public ::testing::Test {
protected:
    TempFolder dir;
    ScopedEnv registry{"KT64_REGISTRY", (dir.path() / "registry.db").string()};
    Key key() { return Key::create(Hive::LocalMachine, sync::kSettingsKey); }
};

TEST_F(SyncFormRegistryTest, LoadWritesTheConsoleDefaults) {
    const auto loaded = loadSyncForm();
    EXPECT_TRUE(loaded.keyAvailable);
    EXPECT_EQ(loaded.settings.period, (SyncPeriod{24, PeriodUnit::Hours}));
    EXPECT_EQ(loaded.settings.compName, sync::defaultCompName());
    auto k = key();
    EXPECT_EQ(k.dword("FreqSync"), 1440u);
    EXPECT_EQ(k.binary("HourSync"), sync::dateBytes(0.0));
    for (const char* name : {"SyncOd", "SyncDo", "OpenMin", "SyncSnd"}) EXPECT_EQ(k.dword(name), 0u) << name;
    EXPECT_EQ(k.string("CompName"), sync::defaultCompName());
}

TEST_F(SyncFormRegistryTest, EqualNonZeroBoundsKeepScheduleButSaveTheRest) {
    auto k = key();
    k.setDword("FreqSync", 45);
    SyncFormValues form = loadSyncForm().settings;
    EXPECT_EQ(form.period, (SyncPeriod{45, PeriodUnit::Minutes}));

    form.hourSync = *makeDate(1899, 12, 30, 3, 0, 0);
    form.period = {2, PeriodUnit::Hours};
    form.deviationFrom = form.deviationTo = 5;
    form.compName = "CENTRALA";
    form.syncSnd = true;
    EXPECT_EQ(saveSyncForm(form), SaveOutcome::WindowBoundsEqual);
    EXPECT_EQ(k.dword("FreqSync"), 45u);
    EXPECT_EQ(k.dword("SyncOd"), 0u);
    EXPECT_EQ(k.binary("HourSync"), sync::dateBytes(0.0));
    EXPECT_EQ(k.string("CompName"), "CENTRALA");
    EXPECT_EQ(k.dword("SyncSnd"), 1u);

    form.deviationFrom = form.deviationTo = 0;
    EXPECT_EQ(saveSyncForm(form), SaveOutcome::Saved);
    EXPECT_EQ(k.dword("FreqSync"), 120u);
    EXPECT_EQ(k.binary("HourSync"), sync::dateBytes(form.hourSync));

    form.deviationFrom = 2;
    form.deviationTo = 10;
    EXPECT_EQ(saveSyncForm(form), SaveOutcome::Saved);
    EXPECT_EQ(k.dword("SyncOd"), 2u);
    EXPECT_EQ(k.dword("SyncDo"), 10u);

    // The service reads what the form wrote.
    const auto service = sync::loadSyncSettings();
    EXPECT_EQ(service->freqSync, 120u);
    EXPECT_EQ(service->deviationFrom, 2);
    EXPECT_EQ(service->compName, "CENTRALA");

    EXPECT_TRUE(saveSyncFormOnClose(true, false));
    EXPECT_EQ(k.dword("OpenMin"), 1u);
    EXPECT_EQ(k.dword("SyncSnd"), 0u);
    EXPECT_TRUE(loadSyncForm().settings.openMin);
}

TEST_F(SyncFormRegistryTest, LastSyncText) {
    EXPECT_EQ(lastSyncText(), "Data: xxxx-xx-xx            Godz: xx:xx:xx");
    EXPECT_EQ(key().binary("LastSync"), sync::dateBytes(0.0));  // written when missing
    sync::recordLastSync(*makeDate(2007, 2, 16, 2, 0, 5));
    EXPECT_EQ(lastSyncText(), "Data: 2007-02-16            Godz: 02:00:05");
}

TEST(SyncFormStore, UnavailableKey) {
    TempFolder dir;
    writeFile(dir.path() / "file", "");
    ScopedEnv registry("KT64_REGISTRY", (dir.path() / "file" / "registry.db").string());
    const auto loaded = loadSyncForm();
    EXPECT_FALSE(loaded.keyAvailable);
    EXPECT_EQ(loaded.settings.period, (SyncPeriod{24, PeriodUnit::Hours}));
    EXPECT_EQ(saveSyncForm(loaded.settings), SaveOutcome::KeyUnavailable);
    EXPECT_FALSE(saveSyncFormOnClose(false, false));
    EXPECT_EQ(lastSyncText(), std::string(kNoLastSyncText));
}

}  // namespace
}  // namespace kt64::test
