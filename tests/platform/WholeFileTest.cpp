// Whole-file reads: what is read, what is refused and how the refusal
// reads; nothing may block or read more than the limit.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "TestEnvironment.h"
#include "WholeFile.h"

namespace kt64 {
namespace {

TEST(WholeFile, ReadsRegularFilesWithinTheLimitAndRefusesEverythingElseByName) {
    test::TempDir dir;
    const auto at = [&](const char* name) { return dir.path() / name; };
    std::ofstream(at("image.bin"), std::ios::binary) << std::string(2905, '\x5A');
    std::ofstream(at("short.bin"), std::ios::binary) << "abc";
    std::ofstream(at("long.bin"), std::ios::binary) << std::string(2906, 'x');
    std::filesystem::create_directory(at("folder"));
    ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
    {
        // 3 GiB that take no room: refused by its size, never read.
        std::ofstream sparse(at("sparse.bin"), std::ios::binary);
        sparse.seekp((std::streamoff{3} << 30) - 1);
        sparse.put('\0');
    }
    std::filesystem::create_symlink(at("image.bin"), at("link.bin"));

    const FileSize image{2905, 2905, "a command list has 2905"};
    const std::string prefix = dir.path().string() + "/";
    struct Row {
        std::filesystem::path file;
        std::string error;  // "" when read
    } rows[] = {
        {at("image.bin"), ""},
        {at("link.bin"), ""},
        {at("short.bin"), prefix + "short.bin: 3 bytes, a command list has 2905"},
        {at("long.bin"), prefix + "long.bin: 2906 bytes, a command list has 2905"},
        {at("sparse.bin"), prefix + "sparse.bin: 3221225472 bytes, a command list has 2905"},
        {at("folder"), prefix + "folder: a directory, not a file"},
        {at("fifo"), prefix + "fifo: a FIFO (named pipe), not a file"},
        {"/dev/zero", "/dev/zero: a device, not a file"},
        {at("missing.bin"), prefix + "missing.bin: No such file or directory"},
        {at("folder") / "x" / "y", prefix + "folder/x/y: No such file or directory"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        try {
            EXPECT_EQ(readWholeFile(row.file, image), std::string(2905, '\x5A'));
            EXPECT_EQ(row.error, "");
        } catch (const FileError& e) {
            EXPECT_EQ(e.what(), row.error);
        }
    }

    // Files that state no size (/proc) are read to their end, and still
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
        {"/tmp/a\nb\t.dsk", "/tmp/a\\nb\\t.dsk"},
        {"/tmp/\xFFz\xC3.dsk", "/tmp/\\xFFz\\xC3.dsk"},
        {"/tmp/\xC0\xAF\xED\xA0\x80\x1B", "/tmp/\\xC0\\xAF\\xED\\xA0\\x80\\x1B"},  // overlong, surrogate, ESC
        {"\xF0\x9F\x94\x94", "\xF0\x9F\x94\x94"},
    };
    for (const auto& row : rows) EXPECT_EQ(displayName(row.name), row.shown) << row.shown;
}

}  // namespace
}  // namespace kt64
