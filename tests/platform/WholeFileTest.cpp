// Whole-file reads: the limit against what a file says of itself, and
// file names in messages.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "TestEnvironment.h"
#include "WholeFile.h"

namespace kt64::test {
namespace {

// The kinds of file a program refuses are in each program's own table
// (tests/support/WrongFiles.h); here what those do not reach.
TEST(WholeFile, ReadsUpToTheLimitWhateverTheFileSaysItsSizeIs) {
    TempDir dir;
    const auto image = dir.path() / "image.bin", longer = dir.path() / "long.bin";
    std::ofstream(image, std::ios::binary) << std::string(2905, '\x5A');
    std::ofstream(longer, std::ios::binary) << std::string(2906, 'x');
    std::filesystem::create_symlink(image, dir.path() / "link.bin");
    const FileSize size{2905, 2905, "a command list has 2905"};
    EXPECT_EQ(readWholeFile(dir.path() / "link.bin", size), std::string(2905, '\x5A'));
    try {
        readWholeFile(longer, size);
        ADD_FAILURE() << "one byte too many read";
    } catch (const FileError& e) {
        EXPECT_EQ(e.what(), longer.string() + ": 2906 bytes, a command list has 2905");
    }

    // Files of /proc say they hold nothing: read to their end, and still
    // only up to the limit.
    const std::string stat = readWholeFile("/proc/self/stat", {1, 4096, "too long"});
    EXPECT_EQ(stat.rfind(std::to_string(::getpid()) + " (", 0), 0u) << stat;
    EXPECT_THROW(readWholeFile("/proc/self/stat", {0, 8, "too long"}), FileError);
}

TEST(WholeFile, NamesAreShownOnOneLineInUtf8) {
    const struct {
        std::string name, shown;
    } rows[] = {
        {"/tmp/plan szkoły.dsk", "/tmp/plan szkoły.dsk"},
        {"/tmp/a\tb\xC3.dsk", "/tmp/a\\tb\\xC3.dsk"},                              // a tab, a sequence cut short
        {"/tmp/\xC0\xAF\xED\xA0\x80\x1B", "/tmp/\\xC0\\xAF\\xED\\xA0\\x80\\x1B"},  // overlong, surrogate, ESC
        {"\xF0\x9F\x94\x94", "\xF0\x9F\x94\x94"},
    };
    for (const auto& row : rows) EXPECT_EQ(displayName(row.name), row.shown) << row.shown;
}

}  // namespace
}  // namespace kt64::test
