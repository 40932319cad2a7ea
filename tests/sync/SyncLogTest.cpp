// The synchronisation log's lines, byte for byte, and its file handling.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iostream>

#include "SyncLog.h"
#include "SyncTestSupport.h"

namespace kt64::test {
namespace {

using namespace kt64::sync;

std::tm stamp(int y, int mo, int d, int h, int mi, int s) {
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    return tm;
}

TEST(SyncLogLine, Format) {
    const std::tm t = stamp(2007, 2, 16, 2, 0, 5);
    struct Row {
        const char* name;
        std::string text;
        std::string expected;
    };
    const Row rows[] = {
        {"message 108", "Synchronizację czasu przeprowadzono pomyślnie.\n",
         "2007-02-16 02:00:05 Synchronizację czasu przeprowadzono pomyślnie.\r\n"},
        {"description without line feed", "Centrala nie zsynchronizowana od ponad 240h",
         "2007-02-16 02:00:05 Centrala nie zsynchronizowana od ponad 240h\r\n"},
        {"line feed inside, none at the end", "a\nb", "2007-02-16 02:00:05 a\r\nb\r\n"},
        {"CR LF kept as it is", "a\r\n", "2007-02-16 02:00:05 a\r\n"},
        {"empty text", "", "2007-02-16 02:00:05 \r\n"},
    };
    for (const auto& row : rows) EXPECT_EQ(formatLogLine(t, row.text), row.expected) << row.name;

    EXPECT_EQ(formatLogLine(stamp(999, 1, 2, 3, 4, 5), "x\n").substr(0, 20), "0999-01-02 03:04:05 ");
}

TEST(SyncLogLine, LongTextIsCutAtCharacterBoundaryKeepingLineFeed) {
    const std::tm t = stamp(2024, 1, 1, 0, 0, 0);
    // 20-byte stamp + 1,002 bytes + line feed = 1,023 bytes: fits whole.
    const std::string fits(1002, 'a');
    EXPECT_EQ(formatLogLine(t, fits + "\n").size(), 1023u + 1u);  // + the CR

    // One byte more and the text loses its last byte.
    const std::string line = formatLogLine(t, fits + "b\n");
    EXPECT_EQ(line.size(), 1024u);
    EXPECT_EQ(line.substr(line.size() - 3), "a\r\n");

    // A two-byte letter straddling the limit goes whole.
    const std::string polish = std::string(1001, 'a') + "ą" + "z";
    const std::string cut = formatLogLine(t, polish);
    EXPECT_EQ(cut, formatLogLine(t, std::string(1001, 'a')));

    // A very long description: no partial UTF-8 sequence, line feed at the end.
    std::string longPolish;
    for (int i = 0; i < 800; ++i) longPolish += "ł";
    const std::string longLine = formatLogLine(t, longPolish);
    EXPECT_LE(longLine.size() - 1, kMaxLogLine);
    EXPECT_EQ(longLine.substr(longLine.size() - 2), "\r\n");
    EXPECT_EQ((longLine.size() - 22) % 2, 0u);
}

TEST(SyncLogFile, AppendsOneLinePerEventCreatingTheFolder) {
    TempFolder dir;
    const auto path = dir.path() / "nested" / "log" / "VqSync.log";
    CountingSpeaker speaker;
    SyncLog log(path, ProgramVariant::Service, speaker, [] { return stamp(2007, 2, 16, 2, 0, 5); });
    // The group writes the log too, whatever the writer's umask.
    const mode_t umask = ::umask(022);
    log.message(MessageId::Started);
    ::umask(umask);
    log.text("Centrala jest wlaśnie ustawiana ręcznie");
    log.message(MessageId::ServerError);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
    EXPECT_EQ(fileText(path),
              "2007-02-16 02:00:05 Uruchomiono usługę synchronizacji czasu.\r\n"
              "2007-02-16 02:00:05 Centrala jest wlaśnie ustawiana ręcznie\r\n"
              "2007-02-16 02:00:05 Wystąpił wewnętrzny błąd serwera DCOM.\r\n");
    EXPECT_TRUE(speaker.tones.empty());

    // Appends to what another writer left.
    SyncLog other(path, ProgramVariant::Standalone, speaker, [] { return stamp(2007, 2, 16, 2, 0, 6); });
    other.message(MessageId::ServerError);
    EXPECT_TRUE(fileText(path).ends_with("2007-02-16 02:00:06 Wystąpił wewnętrzny błąd serwera DCOM\r\n"));
}

TEST(SyncLogFile, UnopenableFileBeepsAndDropsTheLine) {
    TempFolder dir;
    const auto path = dir.path() / "VqSync.log";
    std::filesystem::create_directory(path);  // a folder where the file should be
    CountingSpeaker speaker;
    SyncLog log(path, ProgramVariant::Service, speaker);
    log.message(MessageId::Synchronised);
    log.message(MessageId::OutsideWindow);
    EXPECT_EQ(speaker.tones, (std::vector<std::pair<unsigned, unsigned>>{{750, 500}, {750, 500}}));
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

// The log's folder is the group's: whatever a member puts in the log's
// place (a link to one of root's files, a FIFO, a stranger's file) is never
// written through; the line is dropped with the warning sound and the
// journal says why.
TEST(SyncLogFile, ALinkOrAStrangersFileInTheLogsPlaceIsRefused) {
    struct Row {
        const char* name;
        std::function<bool(const std::filesystem::path& log, const std::filesystem::path& target)> plant;
        const char* reason;
    };
    const Row rows[] = {
        {"symbolic link",
         [](const auto& log, const auto& target) {
             std::filesystem::create_symlink(target, log);
             return true;
         },
         "a symbolic link, not a file; refused"},
        {"hard link",
         [](const auto& log, const auto& target) {
             std::error_code ec;
             std::filesystem::create_hard_link(target, log, ec);
             return !ec;
         },
         "has 2 names (a hard link); refused"},
        {"FIFO", [](const auto& log, const auto&) { return ::mkfifo(log.c_str(), 0666) == 0; },
         "No such device or address"},
        {"stranger's file",
         [](const auto& log, const auto&) {
             std::ofstream(log) << "";
             return ::geteuid() == 0 && ::chown(log.c_str(), 65534, 65534) == 0;
         },
         "owned by uid 65534 and group 65534, neither root's, the writer's nor the folder's group; refused"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder dir;
        const auto path = dir.path() / "VqSync.log";
        const auto target = dir.path() / "shadow";
        std::ofstream(target) << "root:secret\n";
        if (!row.plant(path, target)) {
            // Only root can give a file to another user.
            std::cout << "not tried here: " << row.name << "\n";
            continue;
        }
        CountingSpeaker speaker;
        std::vector<std::string> journal;
        SyncLog log(path, ProgramVariant::Service, speaker);
        log.setJournal([&](int, std::string_view text) { journal.emplace_back(text); });
        log.message(MessageId::Synchronised);
        EXPECT_EQ(speaker.tones, (std::vector<std::pair<unsigned, unsigned>>{{750, 500}}));
        EXPECT_EQ(fileText(target), "root:secret\n");
        const std::string said = "log line not written: " + path.string() + ": " + row.reason;
        ASSERT_FALSE(journal.empty());
        EXPECT_EQ(journal.back(), said);
    }
}

}  // namespace
}  // namespace kt64::test
