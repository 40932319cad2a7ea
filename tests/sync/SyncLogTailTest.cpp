// The log view's tail of the synchronisation log against a real file.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "SyncLogTail.h"
#include "SyncTestSupport.h"

namespace kt64::test {
namespace {

using namespace kt64::sync;

// Numbered lines "line NNNN xxxx...\r\n" of exactly width bytes each.
std::string lines(int first, int count, std::size_t width = 50) {
    std::string out;
    for (int i = first; i < first + count; ++i) {
        std::string line = "line " + std::to_string(10000 + i).substr(1) + " ";
        line.resize(width - 2, 'x');
        out += line + "\r\n";
    }
    return out;
}

class SyncLogTailTest : public ::testing::Test {
protected:
    TempFolder dir;
    std::filesystem::path path = dir.path() / "VqSync.log";
};

TEST_F(SyncLogTailTest, MissingFileShowsErrorOnEveryTickUntilCreated) {
    SyncLogTail tail(path);
    const std::string error = std::string(std::strerror(ENOENT)) + "\r\n";
    EXPECT_EQ(tail.poll(), error);
    EXPECT_EQ(tail.poll(), error);
    EXPECT_FALSE(tail.isOpen());

    writeFile(path, lines(1, 3));
    EXPECT_EQ(tail.poll(), lines(2, 2));
    EXPECT_TRUE(tail.isOpen());
}

TEST_F(SyncLogTailTest, FirstDisplay) {
    struct Row {
        const char* name;
        std::string content;
        std::string shown;
    };
    const std::string big = lines(1, 100);  // 5,000 bytes
    const Row rows[] = {
        // 500 bytes, all of it read: every line but the first.
        {"short log", lines(1, 10), lines(2, 9)},
        // The last 1,000 bytes begin exactly at a line: that line is dropped too.
        {"long log, aligned", big, lines(82, 19)},
        // The last 1,000 bytes begin inside a line: its rest is dropped.
        {"long log, unaligned", big + "tail\r\n", lines(82, 19) + "tail\r\n"},
        {"no line feed", "only a partial line", ""},
        {"empty", "", ""},
        // The part after the last carriage return is not shown.
        {"partial last line", lines(1, 3) + "being writ", lines(2, 2)},
    };
    for (const auto& row : rows) {
        writeFile(path, row.content);
        SyncLogTail tail(path);
        EXPECT_EQ(tail.poll(), row.shown) << row.name;
        EXPECT_EQ(tail.readPosition(), row.content.size()) << row.name;
    }
}

TEST_F(SyncLogTailTest, GrowthIsShownUpTo1020BytesPerTick) {
    writeFile(path, lines(1, 4));
    SyncLogTail tail(path);
    tail.poll();

    EXPECT_EQ(tail.poll(), "");  // nothing new

    writeFile(path, lines(5, 2), true);
    EXPECT_EQ(tail.poll(), lines(5, 2));

    // 3,000 bytes at once: the first 1,020 bytes hold 20 whole lines and 20
    // bytes of the 21st, which is cut off at the last carriage return; the
    // rest is skipped for good.
    writeFile(path, lines(7, 60), true);
    EXPECT_EQ(tail.poll(), lines(7, 20));
    EXPECT_EQ(tail.poll(), "");

    writeFile(path, lines(67, 1), true);
    EXPECT_EQ(tail.poll(), lines(67, 1));
}

// A log made anew (removed, or rotated away by its writer) is read from its
// start; one cut in place shows what is written after the cut.
TEST_F(SyncLogTailTest, ARecreatedLogIsReadFromItsStartACutOneFromTheCut) {
    writeFile(path, lines(1, 10));  // 500 bytes
    SyncLogTail tail(path);
    tail.poll();
    ASSERT_EQ(tail.readPosition(), 500u);

    std::filesystem::remove(path);
    EXPECT_EQ(tail.poll(), "");
    writeFile(path, lines(101, 4));  // 200 bytes, a new file
    EXPECT_EQ(tail.poll(), lines(101, 4));
    writeFile(path, lines(105, 5), true);
    EXPECT_EQ(tail.poll(), lines(105, 5));
    EXPECT_EQ(tail.readPosition(), 450u);

    // The writer's rotation: the old name moves aside, a new file takes it.
    std::filesystem::rename(path, path.string() + ".1");
    writeFile(path, lines(200, 2));
    EXPECT_EQ(tail.poll(), lines(200, 2));

    std::filesystem::resize_file(path, 0);
    EXPECT_EQ(tail.poll(), "");
    writeFile(path, lines(300, 1), true);
    EXPECT_EQ(tail.poll(), lines(300, 1));
}

}  // namespace
}  // namespace kt64::test
