// The service control's pure parts: unit states and process lookup.
#include <gtest/gtest.h>

#include <algorithm>

#include "ProgramProcesses.h"
#include "SyncTestSupport.h"
#include "UnitState.h"

namespace kt64::test {
namespace {

using namespace kt64::servicecontrol;

TEST(UnitState, ActiveStatesToCodes) {
    const std::pair<const char*, int> rows[] = {
        {"active", 4},   {"reloading", 4}, {"refreshing", 4},  {"activating", 2}, {"deactivating", 3},
        {"inactive", 1}, {"failed", 1},    {"maintenance", 1}, {"", 1},
    };
    for (const auto& [state, code] : rows) EXPECT_EQ(stateOfActiveState(state), code) << state;
}

TEST(ProgramProcesses, NamesFromProcEntries) {
    EXPECT_EQ(executableFileName("/usr/bin/HoralService9x"), "HoralService9x");
    EXPECT_EQ(executableFileName("/opt/kt64/bin/HoralService9x (deleted)"), "HoralService9x");
    EXPECT_EQ(executableFileName("HoralService9x"), "HoralService9x");

    std::string_view name;
    char state = 0;
    ASSERT_TRUE(parseStat("4242 (Horal (x) 9x) S 1 4242", name, state));
    EXPECT_EQ(name, "Horal (x) 9x");
    EXPECT_EQ(state, 'S');
    EXPECT_FALSE(parseStat("4242 Horal S", name, state));
    EXPECT_FALSE(parseStat("4242 (Horal)", name, state));
}

TEST(ProgramProcesses, SkipsZombiesAndUsesCommandNameWithoutExeLink) {
    TempFolder proc;
    auto entry = [&](const char* pid, const char* stat) {
        std::filesystem::create_directory(proc.path() / pid);
        writeFile(proc.path() / pid / "stat", stat);
    };
    entry("100", "100 (HoralService9x) S 1 100");  // no exe link: command name
    entry("101", "101 (HoralService9x) Z 1 101");  // zombie
    entry("102", "102 (other) S 1 102");
    std::filesystem::create_symlink("/usr/bin/HORALSERVICE9X", proc.path() / "102" / "exe");
    entry("self", "1 (HoralService9x) S 1 1");  // not a process number
    // Ended while the folder was listed: stat gone, or failing to read.
    std::filesystem::create_directories(proc.path() / "103" / "stat");
    std::filesystem::create_directory(proc.path() / "104");
    auto pids = findProgramProcesses("HoralService9x", proc.path());
    std::sort(pids.begin(), pids.end());
    EXPECT_EQ(pids, (std::vector<pid_t>{100, 102}));
}

}  // namespace
}  // namespace kt64::test
