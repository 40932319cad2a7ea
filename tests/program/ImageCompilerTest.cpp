// Compiling a program file into the command list and loading a received list
// into a new program: the database side, the documented round trip and a
// property test over random programs.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "ImageCompiler.h"
#include "ProgramFixture.h"
#include "ProgramTexts.h"

namespace kt64::test {
namespace {

using namespace kt64::program;

CommandImage build(OpenProgram& p) {
    CommandImage image = blankImage();
    const auto outcome = buildImage(p.document.database(), image, p.messages);
    EXPECT_TRUE(outcome.built) << outcome.fault;
    return image;
}

// Builds p's image, loads it into a new program and builds that.
CommandImage rebuild(const CommandImage& image) {
    OpenProgram received;
    EXPECT_TRUE(loadImage(received.document.database(), image, received.messages));
    return build(received);
}

TEST(ImageCompiler, DocumentedRecordsFromTheProgramFile) {
    OpenProgram p;
    const auto second = p.addBlock(2);
    insertDate(p.db(), dateRow(second, {2024, 5, 1}, {2024, 5, 1}, true));
    insertDate(p.db(), dateRow(second, {2023, 12, 20}, {2024, 1, 6}, false));
    insertCommand(p.db(), commandRow(second, 2, kCyclePlus, 7, 45, kMondayToFriday, 5, false, 2, true));
    const CommandImage image = build(p);
    const std::vector<std::uint8_t> expected = {
        0x81, 20, 12, 0xFF, 6,    1,    0xFF,  // slot 0: DataOd 2023-12-20 sorts first
        0x81, 1,  5,  24,   0xFF, 0xFF, 0xFF,  // slot 1
    };
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), image.begin()));
    const std::vector<std::uint8_t> command = {1, 0x1F, 7, 45, 0x22, 0x82, 0x05};
    EXPECT_TRUE(std::equal(command.begin(), command.end(), image.begin() + 2793));
    EXPECT_EQ(image[2800], 0);  // the template's block 1
    EXPECT_EQ(image[2801], 2);
    EXPECT_EQ(std::count(image.begin(), image.end(), 0xFF), 2905 - 14 - 7 - 2 + 5);
}

TEST(ImageCompiler, RefusalsNameTheRecordAndAClosedProgramFailsQuietly) {
    OpenProgram p;
    CommandRow c = commandRow(1, 1, kImpulsePlus, 7, 0, kAllWeek, 150);
    const auto id = insertCommand(p.db(), c);
    CommandImage image = blankImage();
    const auto outcome = buildImage(p.document.database(), image, p.messages);
    EXPECT_FALSE(outcome.built);
    EXPECT_EQ(outcome.fault, "Rozkaz " + std::to_string(id) + ": czas impulsu 150 poza zakresem 0-127.");
    EXPECT_EQ(image, blankImage());
    EXPECT_TRUE(p.messages.entries.empty());

    // A time that is not a time, written by another program.
    p.db().execute("UPDATE Rozkazy SET CzasImp=5, CzasRozk='25:99'");
    EXPECT_NE(buildImage(p.document.database(), image, p.messages).fault.find("brak poprawnego czasu"),
              std::string::npos);

    EXPECT_FALSE(buildImage(nullptr, image, p.messages).built);
    EXPECT_FALSE(loadImage(nullptr, image, p.messages));
    EXPECT_FALSE(hasRelay2Commands(nullptr, p.messages));
    EXPECT_TRUE(p.messages.entries.empty());

    p.db().execute("DROP TABLE Rozkazy");
    EXPECT_FALSE(buildImage(p.document.database(), image, p.messages).built);
    EXPECT_FALSE(hasRelay2Commands(p.document.database(), p.messages));
    ASSERT_EQ(p.messages.entries.size(), 2u);
    EXPECT_EQ(p.messages.entries[0].text, "Błąd bazy danych: no such table: Rozkazy");
    EXPECT_EQ(p.messages.entries[0].icon, MessageIcon::None);
}

TEST(ImageCompiler, RelayTwoIsToldByItsCommands) {
    OpenProgram p;
    EXPECT_FALSE(hasRelay2Commands(p.document.database(), p.messages));
    insertCommand(p.db(), commandRow(1, 1, kOn, 7, 0));
    EXPECT_FALSE(hasRelay2Commands(p.document.database(), p.messages));
    insertCommand(p.db(), commandRow(5, 2, kOff, 8, 0));  // even in a missing block
    EXPECT_TRUE(hasRelay2Commands(p.document.database(), p.messages));
}

TEST(ImageCompiler, ReceivedProgramComesBackRenumberedWithItsRecords) {
    OpenProgram p;
    // Blocks 2..4 with a gap in the numbers (block 3 was deleted).
    const auto b2 = p.addBlock(4);
    p.db().execute("DELETE FROM Bloki WHERE LP=" + std::to_string(p.addBlock(9)));
    const auto b4 = p.addBlock(0);
    insertDate(p.db(), dateRow(b4, {2023, 12, 20}, {2024, 1, 6}, false));
    insertDate(p.db(), dateRow(b2, {2024, 9, 1}, {2025, 6, 30}, true));
    insertCommand(p.db(), commandRow(b4, 1, kImpulseMinus, 8, 15, 0x60, 10, true));
    insertCommand(p.db(), commandRow(1, 2, kCycleMinus, 9, 0, kAllWeek, 30, false, 90, false));
    insertCommand(p.db(), commandRow(99, 1, kOn, 10, 0));  // missing block: not received
    insertDate(p.db(), dateRow(99, {2024, 1, 1}, {2024, 1, 2}, true));
    const CommandImage image = build(p);

    OpenProgram r;
    ASSERT_TRUE(loadImage(r.document.database(), image, r.messages));
    auto blocks = readBlocks(r.db());
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].priority, 0);  // block 1 keeps the template's priority
    EXPECT_EQ(blocks[1].id, 2);
    EXPECT_EQ(blocks[1].priority, 4);
    EXPECT_EQ(blocks[1].description, "Blok odczytany nr 1");
    EXPECT_EQ(blocks[2].id, 3);
    EXPECT_EQ(blocks[2].priority, 0);
    EXPECT_EQ(blocks[2].description, "Blok odczytany nr 2");

    const auto dates = readDatesByBlock(r.db());
    ASSERT_EQ(dates.size(), 2u);
    EXPECT_EQ(dates[0].block, 2);
    EXPECT_EQ(*dates[0].from, (CivilDate{2024, 9, 1}));
    EXPECT_EQ(*dates[0].to, (CivilDate{2025, 6, 30}));
    EXPECT_TRUE(dates[0].inItsYearOnly);
    EXPECT_EQ(dates[1].block, 3);
    EXPECT_EQ(*dates[1].from, (CivilDate{2255, 12, 20}));
    EXPECT_EQ(*dates[1].to, (CivilDate{2255, 1, 6}));
    EXPECT_FALSE(dates[1].inItsYearOnly);
    EXPECT_EQ(dates[0].description, "Data odczytana nr 1");  // in slot order
    EXPECT_EQ(dates[1].description, "Data odczytana nr 2");

    const auto commands = readCommandsByBlock(r.db());
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].block, 1);
    EXPECT_EQ(commands[0].operation, kCycleMinus);
    EXPECT_EQ(commands[0].relay, 2);
    EXPECT_EQ(commands[0].cycle, 90);
    EXPECT_EQ(commands[0].description, "Rozkaz odczytany nr 1");  // slot 399 first
    EXPECT_EQ(commands[1].block, 3);
    EXPECT_EQ(commands[1].weekdays, 0x60);
    EXPECT_EQ(*commands[1].time, (TimeOfDay{8, 15, 0}));
    EXPECT_EQ(commands[1].operation, kImpulseMinus);
    EXPECT_EQ(commands[1].impulse, 10);
    EXPECT_TRUE(commands[1].impulseInMinutes);

    CommandImage again = build(r);
    // Only block 1's priority and the records of the missing block differ.
    CommandImage expected = image;
    expected[2800] = 0;
    std::fill_n(expected.begin() + 14, 7, 0xFF);    // date of block 99 (sorted last)
    std::fill_n(expected.begin() + 2779, 7, 0xFF);  // third command
    EXPECT_EQ(again, expected);
}

// Random programs the centre can hold: up to 100 blocks with gaps in their
// numbers, up to 400 dates and commands of any kind.
void fillRandomProgram(OpenProgram& p, std::mt19937& rng) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::vector<std::int64_t> blocks{1};
    Transaction t(p.db());
    p.db().execute("UPDATE Bloki SET Priorytet=" + std::to_string(pick(0, 9)));
    const int blockCount = pick(1, 100);
    for (int i = 1; i < blockCount; ++i) {
        const auto id = p.addBlock(pick(0, 9));
        if (pick(0, 9) == 0) {
            p.db().execute("DELETE FROM Bloki WHERE LP=" + std::to_string(id));
        } else {
            blocks.push_back(id);
        }
    }
    auto anyBlock = [&] { return blocks[static_cast<std::size_t>(pick(0, static_cast<int>(blocks.size()) - 1))]; };
    auto anyDate = [&](int year) { return CivilDate{year, pick(1, 12), pick(1, 28)}; };
    const int records = pick(0, 400);
    for (int i = 0; i < records; ++i) {
        if (pick(0, 2) == 0) {
            const bool yearBound = pick(0, 1) == 1;
            const CivilDate from = anyDate(pick(2000, 2254));
            CivilDate to = pick(0, 3) == 0 ? from : anyDate(pick(from.year, 2254));
            if (pick(0, 20) == 0) to = CivilDate{2000, 2, 29};
            insertDate(p.db(), dateRow(anyBlock(), from, to, yearBound));
        } else {
            const int op = pick(0, 5);
            insertCommand(p.db(), commandRow(anyBlock(), pick(1, 2), op, pick(0, 23), pick(0, 59), pick(0, 127),
                                             pick(1, 127), pick(0, 1) == 1, pick(1, 127), pick(0, 1) == 1));
        }
    }
    t.commit();
}

// Date records of a block may come back in another order (a range without
// year is received in the year 2255 and sorts anew): compare them as a set.
std::vector<SlotBytes> dateSlots(const CommandImage& image) {
    std::vector<SlotBytes> out;
    for (std::size_t s = 0; s < kSlotCount; ++s) {
        SlotBytes b;
        std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(s * kSlotSize), kSlotSize, b.begin());
        if (b[0] != 0xFF && (b[0] & 0x80)) out.push_back(b);
    }
    std::sort(out.begin(), out.end());
    return out;
}

TEST(ImageCompiler, RandomProgramsSurviveCompileDecodeCompile) {
    const unsigned seed = testSeed("random programs");
    std::mt19937 rng(seed);
    for (int round = 0; round < 12; ++round) {
        OpenProgram p;
        fillRandomProgram(p, rng);
        const CommandImage first = build(p);
        const CommandImage second = rebuild(first);
        const CommandImage third = rebuild(second);
        ASSERT_EQ(second, third) << "seed " << seed << " round " << round;

        CommandImage a = first, b = second;
        a[2800] = b[2800] = 0;
        EXPECT_EQ(dateSlots(a), dateSlots(b)) << "seed " << seed << " round " << round;
        for (std::size_t s = 0; s < kSlotCount; ++s) {
            if (a[s * kSlotSize] != 0xFF && (a[s * kSlotSize] & 0x80)) std::fill_n(a.begin() + s * kSlotSize, 7, 0);
            if (b[s * kSlotSize] != 0xFF && (b[s * kSlotSize] & 0x80)) std::fill_n(b.begin() + s * kSlotSize, 7, 0);
        }
        ASSERT_EQ(a, b) << "seed " << seed << " round " << round;
    }
}

}  // namespace
}  // namespace kt64::test
