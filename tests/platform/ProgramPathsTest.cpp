// Program and data locations and the computer name.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "ProgramPaths.h"

namespace kt64::test {
namespace {

TEST(ProgramPaths, ExecutableAndDataFolderFollowTheBuildLayout) {
    const auto exe = executablePath();
    EXPECT_TRUE(exe.is_absolute());
    EXPECT_TRUE(std::filesystem::is_regular_file(exe));
    EXPECT_EQ(exe.filename(), "platform_tests");
    EXPECT_EQ(executableDirectory(), exe.parent_path());

    // The build tree puts programs in bin/ and data in share/kt64 beside it.
    ::unsetenv("KT64_DATADIR");
    EXPECT_TRUE(std::filesystem::equivalent(dataDirectory(), KT64_TEST_BUILD_DATADIR)) << dataDirectory();
    ::setenv("KT64_DATADIR", "/opt/kt64/data", 1);
    EXPECT_EQ(dataDirectory(), "/opt/kt64/data");
    ::setenv("KT64_DATADIR", "", 1);
    EXPECT_TRUE(std::filesystem::equivalent(dataDirectory(), KT64_TEST_BUILD_DATADIR));
    ::unsetenv("KT64_DATADIR");
}

TEST(ProgramPaths, ComputerNameIsTheHostName) {
    std::string expected;
    std::getline(std::ifstream("/proc/sys/kernel/hostname"), expected);
    EXPECT_FALSE(computerName().empty());
    EXPECT_EQ(computerName(), expected);
}

}  // namespace
}  // namespace kt64::test
