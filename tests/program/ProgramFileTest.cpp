// The document's file operations: the template, working copies, refusing
// files that are not programs, and saves that either replace the program
// file whole or leave it as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "ProgramFixture.h"
#include "ProgramTexts.h"

namespace kt64::test {
namespace {

using namespace kt64::program;

std::string contentOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::int64_t count(Database& db, const char* sql) {
    auto q = db.query(sql);
    q.next();
    return q.integer("n");
}

std::int64_t countIn(const std::filesystem::path& file, const char* sql) {
    Database db = Database::open(file);
    return count(db, sql);
}

// A saved program with one block of priority 5 ("saved") at path.
void writeProgram(const std::filesystem::path& path) {
    RecordedMessages messages;
    ProgramDocument doc(messages, templatePath());
    ASSERT_TRUE(doc.newDocument());
    insertBlock(*doc.database(), BlockRow{0, 5, "saved"});
    ASSERT_TRUE(doc.saveDocument(path));
}

TEST(ProgramFile, NewProgramIsTheTemplateWithBlockOneAndTheOperationNames) {
    ScratchFolder folder;
    RecordedMessages messages;
    ProgramDocument doc(messages, templatePath());
    ASSERT_TRUE(doc.newDocument());
    EXPECT_TRUE(doc.freshDocument);
    EXPECT_FALSE(doc.isModified());
    EXPECT_EQ(doc.workingCopyPath().parent_path(), folder.workFolder);
    EXPECT_EQ(doc.workingCopyPath().filename().string().substr(0, 3), "Vqe");

    Database& db = *doc.database();
    EXPECT_EQ(count(db, "SELECT COUNT(*) AS n FROM Bloki WHERE LP=1"), 1);
    EXPECT_EQ(count(db, "SELECT COUNT(*) AS n FROM Daty"), 0);
    EXPECT_EQ(count(db, "SELECT COUNT(*) AS n FROM Rozkazy"), 0);
    auto names = db.query("SELECT Operacja,Opis FROM KodOp ORDER BY Operacja");
    for (const auto name : kOperationNames) {
        ASSERT_TRUE(names.next());
        EXPECT_EQ(names.text("Opis"), name);
    }
    // The counter goes on after block 1, and the command list's own statement runs.
    EXPECT_EQ(insertBlock(db, BlockRow{0, 3, "x"}), 2);
    auto list = db.query(
        "SELECT LP,DzienTyg,KodOp.Opis,NrPrzek,CzasRozk,Rozkazy.Opis,Blok FROM KodOp,Rozkazy "
        "WHERE KodOp.Operacja=Rozkazy.Operacja ORDER BY CzasRozk");
    EXPECT_EQ(list.columnIndex("Opis2"), 5);
    EXPECT_EQ(messages.entries.size(), 0u);
}

TEST(ProgramFile, MissingTemplateKeepsThePreviousProgram) {
    ScratchFolder folder;
    RecordedMessages messages;
    ProgramDocument doc(messages, folder.path / "nowhere" / "default.mkk");
    EXPECT_FALSE(doc.newDocument());
    ASSERT_EQ(messages.entries.size(), 1u);
    EXPECT_EQ(messages.entries[0].text, text::kNoTemplate);
    EXPECT_EQ(messages.entries[0].icon, MessageIcon::Stop);
    EXPECT_FALSE(doc.isOpen());

    writeProgram(folder.path / "a.dsk");
    ProgramDocument second(messages, folder.path / "nowhere" / "default.mkk");
    ASSERT_TRUE(second.openDocument(folder.path / "a.dsk"));
    const auto copy = second.workingCopyPath();
    EXPECT_FALSE(second.newDocument());
    EXPECT_EQ(second.workingCopyPath(), copy);
    EXPECT_EQ(count(*second.database(), "SELECT COUNT(*) AS n FROM Bloki WHERE Opis='saved'"), 1);
    EXPECT_EQ(folder.filesIn(folder.workFolder).size(), 1u);  // no stray working copy
}

TEST(ProgramFile, FilesThatAreNotProgramsAreRefusedByNameAndChangeNothing) {
    ScratchFolder folder;
    const auto text = folder.path / "notes.dsk";
    std::ofstream(text) << "to nie jest program, tylko zwykły tekst, dość długi, by nie był pusty ....";
    std::ofstream(folder.path / "empty.dsk");
    const auto otherDb = folder.path / "other.dsk";
    Database::create(otherDb).execute("CREATE TABLE Bloki(LP INTEGER PRIMARY KEY, Priorytet INTEGER)");
    const auto noColumn = folder.path / "nocolumn.dsk";
    std::filesystem::copy_file(templatePath(), noColumn);
    Database::open(noColumn).execute("ALTER TABLE Rozkazy RENAME COLUMN NrPrzek TO Przekaznik");
    const auto damaged = folder.path / "damaged.dsk";
    writeProgram(damaged);
    const std::string whole = contentOf(damaged);
    {
        std::string bytes = whole;
        for (std::size_t i = 4096 + 100; i < bytes.size(); i += 7) bytes[i] = static_cast<char>(0xA5);
        std::ofstream(damaged, std::ios::binary | std::ios::trunc) << bytes;
    }
    std::ofstream(folder.path / "cut.dsk", std::ios::binary) << whole.substr(0, 5000);
    // Sparse: a program's header, then nothing but a size far beyond any
    // program's.
    const auto huge = folder.path / "huge.dsk";
    std::filesystem::copy_file(templatePath(), huge);
    std::filesystem::resize_file(huge, kMaxProgramFileBytes + 1);
    std::filesystem::create_directory(folder.path / "folder.dsk");
    ASSERT_EQ(::mkfifo((folder.path / "fifo.dsk").c_str(), 0600), 0);
    const std::string dir = folder.path.string() + "/";
    struct Case {
        std::filesystem::path file;
        std::string failure;   // failureText(), or the start of it
        bool databaseMessage;  // shown as "Błąd bazy danych: " + failure
    } cases[] = {
        {text, dir + "notes.dsk: to nie jest program przekaźników (plik nie jest bazą danych)", true},
        {folder.path / "empty.dsk", dir + "empty.dsk: pusty plik, a nie program przekaźników", true},
        {otherDb,
         dir + "other.dsk: to nie jest program przekaźników (baza danych bez tabel Bloki, Daty, Rozkazy i KodOp)",
         true},
        {noColumn, dir + "nocolumn.dsk: to nie jest program przekaźników (no such column: NrPrzek)", true},
        {damaged, dir + "damaged.dsk: uszkodzony program przekaźników (", true},
        {folder.path / "cut.dsk",
         dir + "cut.dsk: uszkodzony program przekaźników: plik urwany po 5000 z " + std::to_string(whole.size()) +
             " bajtów",
         true},
        // Refused by its size before it is copied.
        {huge, dir + "huge.dsk: to nie jest program przekaźników (67108865 bajtów, a program ma najwyżej 64 MiB)",
         true},
        // Never opened for reading, so nothing waits for a writer.
        {folder.path / "folder.dsk", dir + "folder.dsk: a directory, not a file", false},
        {folder.path / "fifo.dsk", dir + "fifo.dsk: a FIFO (named pipe), not a file", false},
        {"/dev/zero", "/dev/zero: a device, not a file", false},
        {folder.path / "missing.dsk", dir + "missing.dsk: No such file or directory", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        RecordedMessages messages;
        ProgramDocument doc(messages, templatePath());
        ASSERT_TRUE(doc.newDocument());
        const auto copy = doc.workingCopyPath();
        insertBlock(*doc.database(), BlockRow{0, 2, "kept"});
        doc.setModified();
        const bool regular = std::filesystem::is_regular_file(c.file) && c.file != huge;
        const std::string before = regular ? contentOf(c.file) : "";

        EXPECT_FALSE(doc.openDocument(c.file));
        EXPECT_EQ(doc.failureText().substr(0, c.failure.size()), c.failure);
        ASSERT_EQ(messages.entries.size(), c.databaseMessage ? 1u : 0u);
        if (c.databaseMessage) {
            EXPECT_EQ(messages.entries[0].text, std::string(text::kDatabaseError) + doc.failureText());
        }
        EXPECT_EQ(doc.workingCopyPath(), copy);
        EXPECT_TRUE(doc.isModified());
        EXPECT_EQ(count(*doc.database(), "SELECT COUNT(*) AS n FROM Bloki WHERE Opis='kept'"), 1);
        EXPECT_EQ(folder.filesIn(folder.workFolder).size(), 1u);
        if (regular) {
            EXPECT_EQ(contentOf(c.file), before);
        }
    }
}

TEST(ProgramFile, SaveReplacesTheFileAndCloseRemovesTheWorkingCopy) {
    ScratchFolder folder;
    const auto file = folder.path / "szkola.dsk";
    writeProgram(file);
    // A read-only program file can be opened and edited; its copy is writable.
    ASSERT_EQ(chmod(file.c_str(), 0444), 0);
    RecordedMessages messages;
    {
        ProgramDocument doc(messages, templatePath());
        ASSERT_TRUE(doc.openDocument(file));
        EXPECT_TRUE(doc.freshDocument);
        const auto copy = doc.workingCopyPath();
        insertBlock(*doc.database(), BlockRow{0, 7, "edited"});
        doc.setModified();
        // Leaving without saving leaves the file as it was.
        EXPECT_EQ(countIn(file, "SELECT COUNT(*) AS n FROM Bloki"), 2);

        // Saving over the read-only file is refused (even for root) and
        // changes nothing; the program stays modified and editable.
        EXPECT_FALSE(doc.saveDocument(file));
        EXPECT_FALSE(doc.failureText().empty());
        EXPECT_TRUE(doc.isModified());
        EXPECT_EQ(countIn(file, "SELECT COUNT(*) AS n FROM Bloki"), 2);
        EXPECT_EQ(folder.filesIn(folder.path).size(), 2u) << "a temporary file was left beside the target";
        EXPECT_EQ(count(*doc.database(), "SELECT COUNT(*) AS n FROM Bloki"), 3);

        // Once writable again the save replaces it and keeps its permissions.
        ASSERT_EQ(chmod(file.c_str(), 0640), 0);
        ASSERT_TRUE(doc.saveDocument(file)) << doc.failureText();
        EXPECT_FALSE(doc.isModified());
        EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms(0640));
        EXPECT_EQ(count(*doc.database(), "SELECT COUNT(*) AS n FROM Bloki"), 3);  // still editable
        insertBlock(*doc.database(), BlockRow{0, 1, "after save"});

        // Opening another program drops the first working copy.
        ASSERT_TRUE(doc.openDocument(file));
        EXPECT_FALSE(std::filesystem::exists(copy));
        doc.closeDocument();
        EXPECT_FALSE(doc.isOpen());
        EXPECT_TRUE(folder.filesIn(folder.workFolder).empty());
    }
    Database saved = Database::open(file);
    EXPECT_EQ(count(saved, "SELECT COUNT(*) AS n FROM Bloki WHERE Opis IN ('saved','edited')"), 2);
    EXPECT_EQ(count(saved, "SELECT COUNT(*) AS n FROM Bloki WHERE Opis='after save'"), 0);
    EXPECT_EQ(folder.filesIn(folder.path).size(), 2u);  // the program and tmp/: no leftovers
}

TEST(ProgramFile, FailedSavesLeaveTheOldFileWholeAndTheProgramEditable) {
    ScratchFolder folder;
    const auto file = folder.path / "plan.dsk";
    writeProgram(file);
    const std::string before = contentOf(file);

    RecordedMessages messages;
    ProgramDocument doc(messages, templatePath());
    ASSERT_TRUE(doc.openDocument(file));
    // Enough rows that the file is far larger than the old one.
    Transaction t(*doc.database());
    for (int i = 0; i < 3000; ++i) insertBlock(*doc.database(), BlockRow{0, i % 10, std::string(40, 'x')});
    t.commit();
    doc.setModified();

    // A disk that fills up midway: writes beyond 64 KiB fail (EFBIG).
    {
        struct rlimit old {};
        getrlimit(RLIMIT_FSIZE, &old);
        const auto previous = signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 64 * 1024;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool saved = doc.saveDocument(file);
        setrlimit(RLIMIT_FSIZE, &old);
        signal(SIGXFSZ, previous);
        EXPECT_FALSE(saved);
        EXPECT_FALSE(doc.failureText().empty());
    }
    EXPECT_EQ(contentOf(file), before);
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(folder.filesIn(folder.path).size(), 2u) << "a temporary file was left beside the target";

    // A folder that does not exist, and a target that is a folder.
    EXPECT_FALSE(doc.saveDocument(folder.path / "missing" / "plan.dsk"));
    std::filesystem::create_directory(folder.path / "dir.dsk");
    EXPECT_FALSE(doc.saveDocument(folder.path / "dir.dsk"));
    EXPECT_TRUE(std::filesystem::is_empty(folder.path / "dir.dsk"));
    EXPECT_EQ(folder.filesIn(folder.path).size(), 3u);

    // Still editable, and a good save then works.
    insertBlock(*doc.database(), BlockRow{0, 1, "later"});
    ASSERT_TRUE(doc.saveDocument(file)) << doc.failureText();
    EXPECT_EQ(countIn(file, "SELECT COUNT(*) AS n FROM Bloki"), 3003);
}

}  // namespace
}  // namespace kt64::test
