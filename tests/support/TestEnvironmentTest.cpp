// The toolbox's promises that other tests lean on without checking: a
// temporary folder goes with everything in it, the environment is as it was
// after a scope, and a seed given in KT64_TEST_SEED is the one used.
#include <gtest/gtest.h>

#include <fstream>

#include "TestEnvironment.h"

namespace kt64::test {
namespace {

TEST(TempDir, GoesWithEverythingInIt) {
    std::filesystem::path kept;
    {
        TempDir dir;
        kept = dir.path();
        std::filesystem::create_directories(kept / "a" / "b");
        std::ofstream(kept / "a" / "b" / "file") << "x";
    }
    EXPECT_FALSE(std::filesystem::exists(kept));
}

TEST(ScopedEnv, LeavesTheVariableAsItWas) {
    const struct {
        const char* before;  // nullptr: not set
    } rows[] = {{nullptr}, {""}, {"/var/lib/kt64/registry.db"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.before ? row.before : "(not set)");
        if (row.before)
            ::setenv("KT64_REGISTRY", row.before, 1);
        else
            ::unsetenv("KT64_REGISTRY");
        {
            TempRegistry registry("var/registry.db");
            EXPECT_EQ(std::getenv("KT64_REGISTRY"), registry.file().string());
            EXPECT_EQ(registry.file(), registry.dir() / "var" / "registry.db");
        }
        const char* after = std::getenv("KT64_REGISTRY");
        EXPECT_EQ(after ? std::string(after) : "(not set)", row.before ? std::string(row.before) : "(not set)");
    }
    ::unsetenv("KT64_REGISTRY");
}

TEST(TestSeed, IsTheOneInKt64TestSeed) {
    const struct {
        const char* text;
        unsigned seed;
    } rows[] = {{"0", 0u}, {"17", 17u}, {"4294967295", 4294967295u}};
    for (const auto& row : rows) {
        ScopedEnv seed("KT64_TEST_SEED", row.text);
        EXPECT_EQ(testSeed("table"), row.seed) << row.text;
    }
}

}  // namespace
}  // namespace kt64::test
