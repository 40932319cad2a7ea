// kt64prog: its command line, and its commands run against program files in
// a scratch folder and a fake link server.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <sstream>

#include "ImageCompiler.h"
#include "ProgCommand.h"
#include "ProgRunner.h"
#include "ProgramFixture.h"
#include "WrongFiles.h"

namespace kt64::test {
namespace {

using namespace kt64::prog;

using program::CommandImage;

TEST(ProgTool, CommandLines) {
    const auto add = parseCommandLine({"add-command", "a.dsk", "3", "7:05", "cycle+", "--relay", "2", "--days",
                                       "pn,śr,nd", "--impulse", "5s", "--cycle", "2m", "--desc", "Przerwa"});
    EXPECT_EQ(add.verb, Verb::AddCommand);
    EXPECT_EQ(add.command.block, 3);
    EXPECT_EQ(*add.command.time, (program::TimeOfDay{7, 5, 0}));
    EXPECT_EQ(add.command.operation, program::kCyclePlus);
    EXPECT_EQ(add.command.relay, 2);
    EXPECT_EQ(add.command.weekdays, 0x01 | 0x04 | 0x40);
    EXPECT_EQ(add.command.impulse, 5);
    EXPECT_FALSE(add.command.impulseInMinutes);
    EXPECT_EQ(add.command.cycle, 2);
    EXPECT_TRUE(add.command.cycleInMinutes);
    EXPECT_EQ(add.command.description, "Przerwa");
    EXPECT_EQ(parseCommandLine({"add-command", "a.dsk", "1", "12:00", "Impuls-"}).command.cycle, 99);

    const auto date = parseCommandLine({"--yes", "add-date", "a.dsk", "2", "2024-12-20", "2025-01-06", "--every-year"});
    EXPECT_TRUE(date.yes);
    EXPECT_FALSE(date.date.inItsYearOnly);
    EXPECT_EQ(*date.date.to, (program::CivilDate{2025, 1, 6}));
    const auto chart =
        parseCommandLine({"chart", "a.dsk", "--days", "7", "--resolution", "20", "--start", "2024-05-10"});
    EXPECT_EQ(chart.days, 7);
    EXPECT_EQ(chart.resolution, 20);
    EXPECT_EQ(parseCommandLine({"--computer", "szkola:7000", "send", "a.dsk"}).computer, "szkola:7000");
    EXPECT_EQ(parseCommandLine({}).verb, Verb::Help);
    const auto import =
        parseCommandLine({"import-calendar", "a.dsk", "3", "k.ics", "--zone", "Europe/London", "--timed-events"});
    EXPECT_EQ(import.zone, "Europe/London");
    EXPECT_TRUE(import.shortTimedEvents);

    const std::vector<std::vector<std::string>> bad = {
        {"frobnicate"},
        {"send"},
        {"send", "a", "b"},
        {"compile", "a.dsk"},
        {"add-block", "a.dsk", "10"},
        {"add-command", "a.dsk", "1", "24:00", "on"},
        {"add-command", "a.dsk", "1", "7:00", "toggle"},
        {"add-command", "a.dsk", "1", "7:00", "on", "--days", "pn,xx"},
        {"add-command", "a.dsk", "1", "7:00", "on", "--impulse", "200"},
        {"chart", "a.dsk", "--days", "8"},
        {"list", "a.dsk", "--relay", "1"},
        {"send", "a.dsk", "--bogus"},
        {"add-date", "a.dsk", "2", "2024-02-30"},
        {"send", "a.dsk", "--computer"},
        {"add-holidays", "a.dsk"},
        {"add-holidays", "a.dsk", "2", "--from", "1999"},
        {"import-calendar", "a.dsk", "2", "x.ics", "--from", "2027", "--to", "2026"},
        {"add-holidays", "a.dsk", "2", "--timed-events"},
        {"add-holidays", "a.dsk", "0"},
        {"add-holidays", "a.dsk", "2", "--zone", "UTC"},
        {"add-date", "a.dsk", "2", "2024-05-10", "--from", "2024"},
        {"export", "a.dsk", "--from", "2024-05-10"},
        {"export", "a.dsk", "--from", "2024-05-10", "--to", "2024-05-09"},
        {"export", "a.dsk", "--from", "2024-01-01", "--to", "2025-02-04"},
        {"export", "a.dsk", "--from", "2024-05-10", "--to", "2024-05-10", "--format", "xml"},
        {"chart", "a.dsk", "--format", "csv"},
        {"plan", "a.dsk", "--week", "2021-W53"},
        {"plan", "a.dsk", "--from", "2024-05-10"},
        {"plan", "a.dsk", "--week", "2024-W19", "--from", "2024-05-06", "--to", "2024-05-12"},
        {"add-date", "a.dsk", "2", "2027-06-30", "2026-09-01"},
        {"add-date", "a.dsk", "2", "2026-09-01", "2027-06-30", "--split"},
    };
    for (const auto& args : bad) EXPECT_THROW(parseCommandLine(args), UsageError) << args[0] << " " << args.size();
}

// A centre whose transfers run to their end, or stall.
class ScriptedCentre : public program::CentreLink {
public:
    bool Connected() const override { return true; }
    std::string BuildType() override { return "KT-64/GPS/2/232"; }
    void PutRozkazy(std::span<const std::uint8_t> image) override { sent.assign(image.begin(), image.end()); }
    std::uint32_t RozkazPos() override {
        if (failSend) throw program::LinkError(hresultOf(0x80040203u), std::string("Bledna suma kontrolna."));
        return 2905 - next();
    }
    void StartGetRozkazy() override {}
    std::uint32_t RozkazRxPos() override { return next(); }
    program::ReceivedList GetRozkazy() override { return {program::kByteArrayType, stored}; }

    std::vector<std::uint32_t> positions = {1000, 2905, 2905};
    bool failSend = false;  // RozkazPos reports a failed upload
    std::vector<std::uint8_t> sent, stored;

private:
    std::uint32_t next() {
        const auto p = positions[std::min(reads, positions.size() - 1)];
        ++reads;
        return p;
    }
    std::size_t reads = 0;
};

struct Tool {
    ScratchFolder folder;
    std::ostringstream out, err;
    std::istringstream in;
    ScriptedCentre centre;
    bool linked = true;
    program::CivilDate today{2024, 5, 10};

    int run(std::vector<std::string> args) {
        out.str("");
        err.str("");
        for (auto& a : args)
            if (a.find(".dsk") != std::string::npos || a.find(".bin") != std::string::npos)
                a = (folder.path / a).string();
        ProgEnvironment env(out, err, in);
        env.templatePath = templatePath();
        env.connect = [this](const std::optional<std::string>&) -> std::unique_ptr<program::CentreLink> {
            if (!linked) return nullptr;
            return std::make_unique<Forward>(centre);
        };
        env.sleep = [](std::chrono::milliseconds) {};
        env.today = [this] { return today; };
        return runCommand(parseCommandLine(args), env);
    }

    // Passes every call on to the test's centre, which outlives it.
    struct Forward : program::CentreLink {
        explicit Forward(ScriptedCentre& centre) : c(centre) {}
        bool Connected() const override { return c.Connected(); }
        std::string BuildType() override { return c.BuildType(); }
        void PutRozkazy(std::span<const std::uint8_t> i) override { c.PutRozkazy(i); }
        std::uint32_t RozkazPos() override { return c.RozkazPos(); }
        void StartGetRozkazy() override { c.StartGetRozkazy(); }
        std::uint32_t RozkazRxPos() override { return c.RozkazRxPos(); }
        program::ReceivedList GetRozkazy() override { return c.GetRozkazy(); }
        ScriptedCentre& c;
    };
};

std::vector<std::uint8_t> bytesOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(ProgTool, ProgramFilesFromTheCommandLine) {
    Tool t;
    ASSERT_EQ(t.run({"new", "a.dsk"}), 0) << t.err.str();
    EXPECT_EQ(t.run({"new", "a.dsk"}), 1);
    EXPECT_NE(t.err.str().find("already exists"), std::string::npos);
    ASSERT_EQ(t.run({"add-block", "a.dsk", "3", "--desc", "Ferie"}), 0);
    EXPECT_EQ(t.out.str(), "2\n");
    ASSERT_EQ(t.run({"add-date", "a.dsk", "2", "2024-05-10"}), 0);
    ASSERT_EQ(t.run({"add-command", "a.dsk", "2", "7:45", "impulse+", "--impulse", "3m", "--days", "31", "--desc",
                     "Dzwonek – lekcja 1"}),
              0);
    ASSERT_EQ(t.run({"list", "a.dsk"}), 0);
    EXPECT_NE(t.out.str().find("Ferie"), std::string::npos);
    EXPECT_NE(t.out.str().find("2024-05-10"), std::string::npos);
    EXPECT_NE(t.out.str().find("7:45   Impuls+"), std::string::npos) << t.out.str();

    ASSERT_EQ(t.run({"chart", "a.dsk"}), 0);
    EXPECT_NE(t.out.str().find("2024-05-10 07:45  on  Impuls+  (Rozkaz 1, Blok 2)"), std::string::npos) << t.out.str();
    EXPECT_NE(t.out.str().find("2024-05-10 07:49  off Impuls+"), std::string::npos) << t.out.str();

    ASSERT_EQ(t.run({"export", "a.dsk", "--from", "2024-05-10", "--to", "2024-05-10"}), 0) << t.err.str();
    EXPECT_EQ(t.out.str(),
              "Przekaźnik,Początek,Koniec,Operacja,Rozkaz,Blok,Opis bloku,Opis rozkazu\r\n"
              "1,2024-05-10 07:45:00,2024-05-10 07:48:00,Impuls+,1,2,Ferie,Dzwonek – lekcja 1\r\n");

    ASSERT_EQ(t.run({"plan", "a.dsk"}), 0) << t.err.str();
    EXPECT_NE(t.out.str().find(
                  "Piątek 10.05: Ferie\n  Przekaźnik 1:  7:45  3 min  Dzwonek – lekcja 1;\nSobota 11.05: Blok 1\n"),
              std::string::npos)
        << t.out.str();

    ASSERT_EQ(t.run({"compile", "a.dsk", "a.bin"}), 0) << t.err.str();
    const auto image = bytesOf(t.folder.path / "a.bin");
    ASSERT_EQ(image.size(), 2905u);
    EXPECT_EQ(std::vector<std::uint8_t>(image.begin() + 2793, image.begin() + 2800),
              (std::vector<std::uint8_t>{1, 31, 7, 45, 0x11, 0, 0x83}));
    ASSERT_EQ(t.run({"decode", "a.bin", "b.dsk"}), 0) << t.err.str();
    ASSERT_EQ(t.run({"compile", "b.dsk", "b.bin"}), 0);
    EXPECT_EQ(bytesOf(t.folder.path / "b.bin"), image);

    std::ofstream(t.folder.path / "short.bin") << "abc";
    EXPECT_EQ(t.run({"decode", "short.bin", "c.dsk"}), 1);
    EXPECT_NE(t.err.str().find("3 bytes"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(t.folder.path / "c.dsk"));

    // Each refusal is one message naming the file and what is wrong.
    std::ofstream(t.folder.path / "x.dsk") << "not a program";
    {
        sqlite3* other = nullptr;
        ASSERT_EQ(sqlite3_open((t.folder.path / "other.dsk").c_str(), &other), SQLITE_OK);
        sqlite3_exec(other, "CREATE TABLE Klienci(id INTEGER)", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    }
    {
        // As full as the centre's list: 100 blocks, 400 dates and commands.
        OpenProgram full;
        program::Transaction transaction(full.db());
        for (int i = 0; i < 99; ++i) full.addBlock(1);
        for (int i = 0; i < 400; ++i) program::insertCommand(full.db(), commandRow(1, 1, program::kOn, 6, 0));
        transaction.commit();
        ASSERT_TRUE(full.document.saveDocument(t.folder.path / "full.dsk"));
    }
    const std::string dir = t.folder.path.string() + "/";
    struct Refusal {
        std::vector<std::string> args;
        std::string err;
    };
    const Refusal refusals[] = {
        {{"list", "x.dsk"},
         "Błąd bazy danych: " + dir + "x.dsk: to nie jest program przekaźników (plik nie jest bazą danych)\n"},
        {{"chart", "other.dsk"},
         "Błąd bazy danych: " + dir +
             "other.dsk: to nie jest program przekaźników (baza danych bez tabel Bloki, Daty, Rozkazy i "
             "KodOp)\n"},
        {{"add-date", "a.dsk", "7", "2024-05-10"},
         "kt64prog: " + dir + "a.dsk has no block 7 (add-block makes one; list shows them)\n"},
        {{"add-command", "a.dsk", "9", "6:00", "on"},
         "kt64prog: " + dir + "a.dsk has no block 9 (add-block makes one; list shows them)\n"},
        {{"add-command", "full.dsk", "1", "6:00", "on"},
         "kt64prog: " + dir + "full.dsk: Nie mogę dodać kolejnego rozkazu, w bazie istnieje zbyt wiele rozkazów.\n"},
        {{"add-date", "full.dsk", "2", "2024-05-10"},
         "kt64prog: " + dir + "full.dsk: Nie mogę dodać kolejnego rozkazu, w bazie istnieje zbyt wiele rozkazów.\n"},
        {{"add-block", "full.dsk", "3"},
         "kt64prog: " + dir + "full.dsk: Nie mogę dodać kolejnego bloku, w bazie istnieje zbyt wiele bloków.\n"},
        {{"add-holidays", "full.dsk", "5", "--from", "2026", "--to", "2026"},
         "kt64prog: " + dir +
             "full.dsk: Nie mogę dodać zakresów dat: potrzeba 11, a wolnych miejsc na daty i rozkazy jest 0 (centrala "
             "mieści najwyżej 400).\n"},
        {{"add-holidays", "a.dsk", "1"},
         "kt64prog: block 1 holds the commands of every day and has no dates: name another block or a new one\n"},
        {{"import-calendar", "a.dsk", "2", "x.dsk"},
         "kt64prog: Błąd w pliku kalendarza x.dsk, wiersz 1: to nie jest plik iCalendar (brak BEGIN:VCALENDAR)\n"},
        // In one language: the sentence, the file's size or kind, the system's reason.
        {{"import-calendar", "a.dsk", "Dni wolne", dir + "big.ics"},
         "kt64prog: Nie można odczytać pliku kalendarza " + dir +
             "big.ics: 16777217 bajtów, a ten plik może mieć najwyżej 16 MiB\n"},
        {{"import-calendar", "a.dsk", "Dni wolne", dir + "ferie"},
         "kt64prog: Nie można odczytać pliku kalendarza " + dir + "ferie: to katalog, nie plik\n"},
        {{"import-calendar", "a.dsk", "Dni wolne", dir + "missing.ics"},
         "kt64prog: Nie można odczytać pliku kalendarza " + dir + "missing.ics: nie ma takiego pliku ani katalogu\n"},
        {{"add-date", "a.dsk", "2", "2026-09-01", "2027-06-30", "--every-year"},
         "kt64prog: " + dir +
             "a.dsk: Zakres dat bez roku od 1 września do 30 czerwca kończy się w roku wcześniej, niż się zaczyna, "
             "więc nie obowiązuje w żadnym dniu. Nie zapisano go. Z opcją --split zostanie zapisany jako dwa "
             "zakresy: od 1 września do 31 grudnia i od 1 stycznia do 30 czerwca.\n"},
        // Block 2 holds a bell: its days off would ring.
        {{"add-holidays", "a.dsk", "2"},
         "kt64prog: " + dir +
             "a.dsk: Blok 2 ma rozkazy, więc w dni wolne dodane do niego dzwonki nadal by dzwoniły. Dni wolne należą "
             "do bloku bez rozkazów, o priorytecie wyższym niż każdy blok z rozkazami: użyj nowego bloku „Dni wolne”, "
             "który powstanie z priorytetem 9.\n"},
        {{"import-calendar", "a.dsk", "Ferie", std::string(KT64_TEST_CALENDARS) + "/school-year.ics"},
         "kt64prog: " + dir +
             "a.dsk: Blok 2 ma rozkazy, więc w dni wolne dodane do niego dzwonki nadal by dzwoniły. Dni wolne należą "
             "do bloku bez rozkazów, o priorytecie wyższym niż każdy blok z rozkazami: użyj nowego bloku „Dni wolne”, "
             "który powstanie z priorytetem 9.\n"},
        {{"add-holidays", "a.dsk", "7"},
         "kt64prog: " + dir +
             "a.dsk: Program nie ma bloku 7. Dni wolne należą do bloku bez rozkazów, o priorytecie wyższym niż każdy "
             "blok z rozkazami: użyj nowego bloku „Dni wolne”, który powstanie z priorytetem 9.\n"},
    };
    std::ofstream(t.folder.path / "big.ics");
    std::filesystem::resize_file(t.folder.path / "big.ics", (16 << 20) + 1);
    std::filesystem::create_directory(t.folder.path / "ferie");
    const auto programBefore = bytesOf(t.folder.path / "a.dsk");
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.args[0] + " " + r.args[1]);
        const auto before = bytesOf(t.folder.path / r.args[1]);
        EXPECT_EQ(t.run(r.args), 1);
        EXPECT_EQ(t.err.str(), r.err);
        EXPECT_EQ(t.out.str(), "");
        EXPECT_EQ(bytesOf(t.folder.path / r.args[1]), before);
    }
    EXPECT_EQ(bytesOf(t.folder.path / "a.dsk"), programBefore);
    // Split as the date dialog splits it: two ranges that hold the school year.
    ASSERT_EQ(t.run({"add-date", "a.dsk", "2", "2026-09-01", "2027-06-30", "--every-year", "--split"}), 0)
        << t.err.str();
    EXPECT_EQ(t.out.str(), "2\n3\n");
    ASSERT_EQ(t.run({"list", "a.dsk"}), 0);
    EXPECT_NE(t.out.str().find("2    ****-09-01  ****-12-31  2"), std::string::npos) << t.out.str();
    EXPECT_NE(t.out.str().find("3    ****-01-01  ****-06-30  2"), std::string::npos) << t.out.str();
    // Operations by the names list and chart print, in any case.
    for (const char* name : {"Wyłączony", "ZAŁĄCZONY", "Impuls-", "CYKL+", "off", "On"})
        EXPECT_EQ(t.run({"add-command", "a.dsk", "1", "6:00", name}), 0) << name << ": " << t.err.str();
}

// Days off from the command line: after a calendar and the holidays go
// into one holiday block, no bell rings on those days and the others ring
// as before.
TEST(ProgTool, DaysOffSilenceTheBells) {
    Tool t;
    ASSERT_EQ(t.run({"new", "a.dsk"}), 0);
    ASSERT_EQ(t.run({"add-command", "a.dsk", "1", "7:45", "on"}), 0);
    ASSERT_EQ(t.run({"add-command", "a.dsk", "1", "8:30", "off"}), 0);
    const std::string calendar = std::string(KT64_TEST_CALENDARS) + "/school-year.ics";
    ASSERT_EQ(t.run({"import-calendar", "a.dsk", "Dni wolne", calendar, "--from", "2026", "--to", "2030"}), 0)
        << t.err.str();
    EXPECT_EQ(t.out.str().substr(0, 2), "2\n");
    EXPECT_NE(t.out.str().find("nowy blok 2 „Dni wolne”: priorytet 9, bez rozkazów\n"), std::string::npos);
    EXPECT_NE(t.out.str().find("+ 2027-01-18  2027-01-31  Ferie zimowe [kalendarz: Rok szkolny 2026/2027]"),
              std::string::npos)
        << t.out.str();
    EXPECT_NE(t.out.str().find("pominięto 11.06.2027 1:00–3:00 Egzamin ósmoklasisty (sala gimnastyczna)\n"),
              std::string::npos)
        << t.out.str();
    // The same block, found by its description; Easter 2027 is 28 March.
    ASSERT_EQ(t.run({"add-holidays", "a.dsk", "Dni wolne", "--from", "2027", "--to", "2027"}), 0) << t.err.str();
    EXPECT_EQ(t.out.str().substr(0, 2), "2\n");
    const auto saved = bytesOf(t.folder.path / "a.dsk");
    ASSERT_EQ(t.run({"add-holidays", "a.dsk", "2", "--from", "2027", "--to", "2027"}), 0);
    EXPECT_EQ(t.out.str(), "2\nBez zmian: blok ma już wszystkie te dni.\n");
    EXPECT_EQ(bytesOf(t.folder.path / "a.dsk"), saved);

    // The calendar changed: the event moved from 14 to 16 October 2026 and
    // the winter break is gone; imported again, its old days go.
    std::string moved;
    {
        std::ifstream in(calendar);
        moved.assign(std::istreambuf_iterator<char>(in), {});
    }
    const auto replace = [&](const std::string& from, const std::string& to) {
        moved.replace(moved.find(from), from.size(), to);
    };
    replace("DTSTART;VALUE=DATE:20261014\r\nDTEND;VALUE=DATE:20261015\r\nRRULE:FREQ=YEARLY\r\n",
            "DTSTART;VALUE=DATE:20261016\r\nDTEND;VALUE=DATE:20261017\r\n");
    replace("DTEND;VALUE=DATE:20270201", "DTEND;VALUE=DATE:20270119");
    std::ofstream(t.folder.path / "changed.ics") << moved;
    ASSERT_EQ(t.run({"import-calendar", "a.dsk", "Dni wolne", (t.folder.path / "changed.ics").string(), "--from",
                     "2026", "--to", "2030"}),
              0)
        << t.err.str();
    EXPECT_EQ(t.out.str(),
              "2\n"
              "+ 2026-10-16  2026-10-16  Dzień Edukacji Narodowej [kalendarz: Rok szkolny 2026/2027]\n"
              "+ 2027-01-18  2027-01-18  Ferie zimowe [kalendarz: Rok szkolny 2026/2027]\n"
              "- 2027-01-18  2027-01-31  Ferie zimowe [kalendarz: Rok szkolny 2026/2027]\n"
              "- ****-10-14  ****-10-14  Dzień Edukacji Narodowej [kalendarz: Rok szkolny 2026/2027]\n"
              "pominięto 30.04.2027 18:00–24:00 Dzień wolny od zajęć dydaktycznych\n"
              "pominięto 11.06.2027 1:00–3:00 Egzamin ósmoklasisty (sala gimnastyczna)\n"
              "(wydarzenia z godziną krótsze niż dzień lekcji, 8:00-15:00; --timed-events je dodaje)\n");

    // A calendar with nothing in the years asked for changes nothing.
    std::ofstream(t.folder.path / "empty.ics") << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nEND:VCALENDAR\r\n";
    const auto before = bytesOf(t.folder.path / "a.dsk");
    ASSERT_EQ(t.run({"import-calendar", "a.dsk", "Pusty", (t.folder.path / "empty.ics").string()}), 0);
    EXPECT_EQ(t.out.str(),
              "Nic do zaimportowania: kalendarz „empty.ics” nie ma dni wolnych w latach 2023-2028. "
              "Program bez zmian.\n");
    EXPECT_EQ(bytesOf(t.folder.path / "a.dsk"), before);

    struct Day {
        const char* date;
        bool rings;
    };
    const Day days[] = {
        {"2027-01-17", true},  {"2027-01-18", false}, {"2027-01-31", true},  {"2027-02-01", true},
        {"2027-03-27", true},  {"2027-03-28", false}, {"2027-03-29", false}, {"2027-03-30", true},
        {"2027-05-27", false}, {"2026-10-14", true},  {"2026-10-16", false}, {"2027-01-19", true},
    };
    for (const auto& d : days) {
        ASSERT_EQ(t.run({"chart", "a.dsk", "--start", d.date}), 0) << d.date;
        const bool rings = t.out.str().find(std::string(d.date) + " 07:45  on") != std::string::npos;
        EXPECT_EQ(rings, d.rings) << d.date << "\n" << t.out.str();
    }
}

// The program itself, given files that are not what it expects: each run
// ends by itself with one line naming the file and exit status 1, within
// the time and memory a wrong file is allowed.
TEST(ProgTool, WrongFilesAreRefusedByName) {
    ScratchFolder folder;
    const auto out = (folder.path / "out.dsk").string();
    std::vector<std::pair<std::vector<std::string>, WrongFile>> rows;
    for (const auto& f : wrongImageFiles(folder.path, "a command list has 2905"))
        rows.push_back({{"decode", f.file.string(), out}, f});
    // A program file that is no file: refused before the engine (or a
    // blocking open) sees it.
    const std::string fifo = (folder.path / "fifo.bin").string();
    for (const auto& args : {std::vector<std::string>{"list", fifo}, {"chart", fifo}, {"add-block", fifo, "3"}})
        rows.push_back({args, {fifo, fifo + ": a FIFO (named pipe), not a file"}});
    rows.push_back({{"list", "/dev/zero"}, {"/dev/zero", "/dev/zero: a device, not a file"}});
    for (auto& [args, wrong] : rows) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        std::vector<std::string> words{KT64PROG_PATH};
        words.insert(words.end(), args.begin(), args.end());
        const auto run =
            runProgram(wrong.unreadable ? withoutReadOverride(words) : words, folder.path, kWrongFileLimits);
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.err, "kt64prog: " + wrong.shown + "\n");
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

TEST(ProgTool, SendAndReceive) {
    Tool t;
    ASSERT_EQ(t.run({"new", "a.dsk"}), 0);
    ASSERT_EQ(t.run({"add-command", "a.dsk", "1", "6:30", "on"}), 0);

    // Without --yes and without a terminal the question is answered No.
    EXPECT_EQ(t.run({"send", "a.dsk"}), 1);
    EXPECT_TRUE(t.centre.sent.empty());
    EXPECT_NE(t.err.str().find("cancelled"), std::string::npos);

    ASSERT_EQ(t.run({"send", "a.dsk", "--yes"}), 0) << t.err.str();
    EXPECT_EQ(t.centre.sent.size(), 2905u);
    EXPECT_NE(t.err.str().find("Wysyłanie/Odbieranie rozkazów: 2905/2905 (100%)"), std::string::npos) << t.err.str();

    t.centre.positions = {700, 700};
    EXPECT_EQ(t.run({"send", "a.dsk", "--yes"}), 1);
    EXPECT_NE(t.err.str().find("kt64prog: Wysyłanie zatrzymane po 700 z 2905 bajtów\n"), std::string::npos)
        << t.err.str();
    // An upload the server reports failed: the centre's program is
    // incomplete, where it stopped and the server's text.
    t.centre.failSend = true;
    EXPECT_EQ(t.run({"send", "a.dsk", "--yes"}), 1);
    EXPECT_NE(t.err.str().find("Błąd! Wysyłanie rozkazów zostało przerwane. Program w centrali jest teraz niekompletny "
                               "i trzeba go wysłać ponownie.\nPrzyczyna: Bledna suma kontrolna.\n"),
              std::string::npos)
        << t.err.str();
    EXPECT_NE(t.err.str().find("kt64prog: Wysyłanie przerwane po 0 z 2905 bajtów: Bledna suma kontrolna.\n"),
              std::string::npos)
        << t.err.str();
    t.centre.failSend = false;

    t.centre.stored = t.centre.sent;
    t.centre.positions = {1000, 2905, 2905};
    ASSERT_EQ(t.run({"receive", "r.dsk", "--yes"}), 0) << t.err.str();
    ASSERT_EQ(t.run({"compile", "r.dsk", "r.bin"}), 0);
    EXPECT_EQ(bytesOf(t.folder.path / "r.bin"), t.centre.stored);

    t.centre.stored.resize(100);
    EXPECT_EQ(t.run({"receive", "s.dsk", "--yes"}), 1);
    EXPECT_FALSE(std::filesystem::exists(t.folder.path / "s.dsk"));

    t.linked = false;
    EXPECT_EQ(t.run({"send", "a.dsk", "--yes"}), 1);
    EXPECT_NE(t.err.str().find("no link-server client"), std::string::npos);
}

}  // namespace
}  // namespace kt64::test
