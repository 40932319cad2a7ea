// Byte rules of the command list: the documented records, the slot and
// priority layout, refusals before anything is written, and the loader's
// acceptance tests and operation decoding.
#include <gtest/gtest.h>

#include <algorithm>

#include "CommandImage.h"
#include "ProgramFixture.h"

namespace kt64::test {
namespace {

using namespace kt64::program;

std::vector<BlockRow> blocks(int n) {
    std::vector<BlockRow> out;
    for (int i = 0; i < n; ++i) out.push_back(BlockRow{i + 1, i % 10, {}});
    return out;
}

SlotBytes slotOf(const CommandImage& image, std::size_t slot) {
    SlotBytes s;
    std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(slot * kSlotSize), kSlotSize, s.begin());
    return s;
}

TEST(CommandImage, OnlyBlockOneLeavesEverythingButItsPriorityEmpty) {
    CommandImage image = blankImage();
    const std::vector<BlockRow> one{{1, 3, {}}};
    ASSERT_FALSE(compileImage(one, {}, {}, image));
    for (std::size_t i = 0; i < kImageSize; ++i) {
        if (i == kPriorityOffset) {
            EXPECT_EQ(image[i], 3);
        } else {
            ASSERT_EQ(image[i], 0xFF) << "offset " << i;
        }
    }
}

TEST(CommandImage, DocumentedDateRecords) {
    struct Row {
        DateRow date;
        SlotBytes bytes;
    } rows[] = {
        {dateRow(2, {2024, 5, 1}, {2024, 5, 1}, true), {0x81, 1, 5, 24, 0xFF, 0xFF, 0xFF}},
        {dateRow(2, {2024, 5, 1}, {2024, 5, 1}, false), {0x81, 1, 5, 0xFF, 0xFF, 0xFF, 0xFF}},
        {dateRow(1, {2023, 12, 20}, {2024, 1, 6}, false), {0x80, 20, 12, 0xFF, 6, 1, 0xFF}},
        // Without year, a single day is told by month and day alone.
        {dateRow(2, {2023, 3, 8}, {2031, 3, 8}, false), {0x81, 8, 3, 0xFF, 0xFF, 0xFF, 0xFF}},
        {dateRow(2, {2023, 3, 8}, {2024, 3, 8}, true), {0x81, 8, 3, 23, 8, 3, 24}},
        {dateRow(2, {2000, 1, 1}, {2254, 12, 31}, true), {0x81, 1, 1, 0, 31, 12, 254}},
        {dateRow(99, {2024, 5, 1}, {2024, 5, 1}, true), {0xE4, 1, 5, 24, 0xFF, 0xFF, 0xFF}},  // no such block
    };
    for (const auto& row : rows) {
        CommandImage image = blankImage();
        ASSERT_FALSE(compileImage(blocks(2), std::span(&row.date, 1), {}, image));
        EXPECT_EQ(slotOf(image, 0), row.bytes) << isoDate(*row.date.from) << " .. " << isoDate(*row.date.to);
    }
}

TEST(CommandImage, DocumentedCommandRecords) {
    struct Row {
        CommandRow command;
        SlotBytes bytes;
    } rows[] = {
        {commandRow(2, 2, kCyclePlus, 7, 45, kMondayToFriday, 5, false, 2, true), {1, 0x1F, 7, 45, 0x22, 0x82, 0x05}},
        {commandRow(1, 1, kOff, 0, 0, kAllWeek, 9, true, 9, true), {0, 0x7F, 0, 0, 0x10, 0, 0}},
        {commandRow(1, 1, kOn, 23, 59), {0, 0x7F, 23, 59, 0x11, 0, 0}},
        {commandRow(1, 2, kOn, 12, 0), {0, 0x7F, 12, 0, 0x22, 0, 0}},
        {commandRow(1, 2, kOff, 12, 0), {0, 0x7F, 12, 0, 0x20, 0, 0}},
        {commandRow(1, 1, kImpulsePlus, 8, 0, 0x41, 3, true, 99), {0, 0x41, 8, 0, 0x11, 0, 0x83}},
        {commandRow(1, 1, kImpulseMinus, 8, 0, 0x41, 127, false, 99), {0, 0x41, 8, 0, 0x10, 0, 0x7F}},
        {commandRow(1, 2, kCycleMinus, 8, 0, 0, 10, false, 127, false), {0, 0, 8, 0, 0x20, 0x7F, 0x0A}},
        {commandRow(42, 1, kOn, 6, 30), {100, 0x7F, 6, 30, 0x11, 0, 0}},  // no such block
    };
    for (const auto& row : rows) {
        CommandImage image = blankImage();
        ASSERT_FALSE(compileImage(blocks(2), {}, std::span(&row.command, 1), image));
        EXPECT_EQ(slotOf(image, 399), row.bytes) << "operation " << row.command.operation;
    }
}

TEST(CommandImage, DatesFillUpwardCommandsDownwardAndPrioritiesByBlockIndex) {
    const std::vector<BlockRow> b{{1, 0, {}}, {5, 7, {}}, {9, 2, {}}};
    std::vector<DateRow> dates;
    std::vector<CommandRow> commands;
    for (int i = 0; i < 200; ++i) dates.push_back(dateRow(9, {2024, 1, 1 + i % 28}, {2024, 2, 1}, true));
    for (int i = 0; i < 200; ++i) commands.push_back(commandRow(5, 1, kOn, i % 24, i % 60));
    CommandImage image = blankImage();
    ASSERT_FALSE(compileImage(b, dates, commands, image));
    EXPECT_EQ(slotOf(image, 0)[0], 0x82);
    EXPECT_EQ(slotOf(image, 199)[1], dates[199].from->day);
    EXPECT_EQ(slotOf(image, 399)[2], 0);         // first command
    EXPECT_EQ(slotOf(image, 200)[2], 199 % 24);  // command 199 meets the last date
    EXPECT_EQ(slotOf(image, 200)[0], 1);
    EXPECT_EQ(image[2800], 0);
    EXPECT_EQ(image[2801], 7);
    EXPECT_EQ(image[2802], 2);
    EXPECT_TRUE(std::all_of(image.begin() + 2803, image.end(), [](auto byte) { return byte == 0xFF; }));
}

TEST(CommandImage, RefusesWhatNoRecordCanHoldWithoutWritingAByte) {
    auto command = [](auto change) {
        CommandRow c = commandRow(1, 1, kCyclePlus, 7, 0);
        c.id = 17;
        change(c);
        return c;
    };
    auto date = [](auto change) {
        DateRow d = dateRow(1, {2024, 1, 1}, {2024, 2, 1}, true);
        d.id = 4;
        change(d);
        return d;
    };
    struct Case {
        std::vector<DateRow> dates;
        std::vector<CommandRow> commands;
        std::size_t blockCount;
        std::string fault;
    } cases[] = {
        {{}, {command([](auto& c) { c.impulse = 128; })}, 1, "Rozkaz 17: czas impulsu 128 poza zakresem 0-127."},
        {{},
         {command([](auto& c) { c.impulse = (1LL << 32) + 5; })},
         1,
         "Rozkaz 17: czas impulsu 4294967301 poza zakresem 0-127."},
        {{}, {command([](auto& c) { c.cycle = 200; })}, 1, "Rozkaz 17: czas cyklu 200 poza zakresem 0-127."},
        {{}, {command([](auto& c) { c.impulse = -1; })}, 1, "Rozkaz 17: czas impulsu -1 poza zakresem 0-127."},
        {{}, {command([](auto& c) { c.weekdays = 128; })}, 1, "Rozkaz 17: dni tygodnia 128 poza zakresem 0-127."},
        {{}, {command([](auto& c) { c.relay = 3; })}, 1, "Rozkaz 17: przekaźnik 3, dozwolony 1 lub 2."},
        {{}, {command([](auto& c) { c.relay = 0; })}, 1, "Rozkaz 17: przekaźnik 0, dozwolony 1 lub 2."},
        {{}, {command([](auto& c) { c.operation = 6; })}, 1, "Rozkaz 17: nieznana operacja 6."},
        {{}, {command([](auto& c) { c.time.reset(); })}, 1, "Rozkaz 17: brak poprawnego czasu rozkazu."},
        {{date([](auto& d) {
             d.from = CivilDate{1999, 12, 31};
         })},
         {},
         1,
         "Data 4: rok 1999 poza zakresem 2000-2254."},
        {{date([](auto& d) {
             d.to = CivilDate{2255, 1, 1};
         })},
         {},
         1,
         "Data 4: rok 2255 poza zakresem 2000-2254."},
        {{date([](auto& d) { d.to.reset(); })}, {}, 1, "Data 4: brak poprawnej daty."},
        {{}, {}, 0, "Program nie zawiera żadnego bloku."},
        {{}, {}, 101, "Program zawiera 101 bloków, centrala mieści najwyżej 100."},
        {std::vector<DateRow>(201, dateRow(1, {2024, 1, 1}, {2024, 1, 1}, true)),
         std::vector<CommandRow>(200, commandRow(1, 1, kOn, 7, 0)), 1,
         "Program zawiera 401 dat i rozkazów, centrala mieści najwyżej 400."},
    };
    for (const auto& c : cases) {
        CommandImage image = blankImage();
        const auto fault = compileImage(blocks(static_cast<int>(c.blockCount)), c.dates, c.commands, image);
        ASSERT_TRUE(fault) << c.fault;
        EXPECT_EQ(fault->text, c.fault);
        EXPECT_EQ(image, blankImage()) << c.fault;
    }
}

TEST(CommandImage, AcceptsTheLimitsThemselvesAndUnusedValuesOutOfRange) {
    // 100 blocks and 400 records fill the list exactly; values that the
    // operation does not carry are not written and so not refused.
    std::vector<DateRow> dates(150, dateRow(100, {2254, 12, 31}, {2254, 12, 31}, true));
    std::vector<CommandRow> commands(250, commandRow(100, 2, kOn, 23, 59, kAllWeek, 5000, false, -7));
    CommandImage image = blankImage();
    ASSERT_FALSE(compileImage(blocks(100), dates, commands, image));
    EXPECT_EQ(slotOf(image, 149)[0], 0x80 + 99);
    EXPECT_EQ(slotOf(image, 150)[0], 99);
    EXPECT_EQ(image[2899], 99 % 10);
    EXPECT_TRUE(std::all_of(image.begin() + 2900, image.end(), [](auto b) { return b == 0xFF; }));
}

TEST(CommandImage, OperationDecoding) {
    struct Row {
        std::uint8_t relay, cycle, impulse;
        int operation;
    } rows[] = {
        {0x10, 0, 0, kOff},
        {0x11, 0, 0, kOn},
        {0x22, 0, 0, kOn},
        {0x20, 0, 0, kOff},
        {0x11, 0, 0x05, kImpulsePlus},
        {0x10, 0, 0x85, kImpulseMinus},
        {0x22, 0x82, 0x05, kCyclePlus},
        {0x20, 0x02, 0x01, kCycleMinus},
        {0x11, 0x80, 0x80, kOn},  // unit bits alone carry no length
        {0x12, 0, 0, kOff},       // relay 1 with relay 2's bit
        {0x21, 0x05, 0, kOff},    // relay 2 with relay 1's bit; a cycle without impulse
        {0x33, 0x01, 0x01, kCyclePlus},
    };
    for (const auto& r : rows)
        EXPECT_EQ(decodeOperation(r.relay, r.cycle, r.impulse), r.operation)
            << std::hex << int(r.relay) << " " << int(r.cycle) << " " << int(r.impulse);
}

TEST(CommandImage, DecodeTakesOnlyWellFormedSlots) {
    CommandImage image = blankImage();
    auto put = [&](std::size_t slot, SlotBytes bytes) {
        std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(slot * kSlotSize));
    };
    put(0, {0x81, 1, 5, 24, 0xFF, 0xFF, 0xFF});    // taken: block 2, single day
    put(1, {0xE4, 1, 5, 24, 0xFF, 0xFF, 0xFF});    // date of a missing block
    put(2, {0x80, 32, 5, 24, 0xFF, 0xFF, 0xFF});   // day 32
    put(3, {0x80, 1, 13, 24, 0xFF, 0xFF, 0xFF});   // month 13
    put(4, {0x80, 31, 4, 24, 0xFF, 0xFF, 0xFF});   // 31 April does not exist
    put(5, {0x80, 29, 2, 0xFF, 1, 3, 0xFF});       // 29 February, every year
    put(6, {0x80, 20, 12, 0xFF, 6, 1, 0xFF});      // taken: 20 December .. 6 January
    put(7, {0x80, 1, 2, 24, 0xFF, 3, 24});         // end without day: single day
    put(399, {1, 0x1F, 7, 45, 0x22, 0x82, 0x05});  // taken: relay 2, Cykl+
    put(398, {100, 0x1F, 7, 45, 0x11, 0, 0});      // command of a missing block
    put(397, {0, 0x7F, 24, 0, 0x11, 0, 0});        // hour 24 does not exist
    put(396, {0, 0xFF, 6, 0, 0x10, 0, 0});         // taken: relay 1 off, every bit of the mask
    image[2801] = 4;
    image[2802] = 10;  // not a priority: no block
    image[2803] = 9;

    const DecodedImage d = decodeImage(image);
    ASSERT_EQ(d.blocks.size(), 2u);
    EXPECT_EQ(d.blocks[0].id, 2);
    EXPECT_EQ(d.blocks[0].priority, 4);
    EXPECT_EQ(d.blocks[0].description, "Blok odczytany nr 1");
    // Block index 3 stays block 4, so its records keep their block.
    EXPECT_EQ(d.blocks[1].id, 4);
    EXPECT_EQ(d.blocks[1].description, "Blok odczytany nr 2");

    ASSERT_EQ(d.dates.size(), 4u);
    EXPECT_EQ(d.dates[0].block, 2);
    EXPECT_TRUE(d.dates[0].inItsYearOnly);
    EXPECT_EQ(*d.dates[0].from, (CivilDate{2024, 5, 1}));
    EXPECT_EQ(*d.dates[0].to, (CivilDate{2024, 5, 1}));
    EXPECT_EQ(d.dates[0].description, "Data odczytana nr 1");
    EXPECT_FALSE(d.dates[1].inItsYearOnly);
    EXPECT_EQ(*d.dates[1].from, (CivilDate{2256, 2, 29}));
    EXPECT_EQ(*d.dates[1].to, (CivilDate{2255, 3, 1}));
    EXPECT_EQ(*d.dates[2].from, (CivilDate{2255, 12, 20}));
    EXPECT_EQ(*d.dates[2].to, (CivilDate{2255, 1, 6}));
    EXPECT_EQ(*d.dates[3].to, (CivilDate{2024, 2, 1}));
    EXPECT_EQ(d.dates[3].description, "Data odczytana nr 4");

    ASSERT_EQ(d.commands.size(), 2u);
    const CommandRow& c = d.commands[0];
    EXPECT_EQ(c.block, 2);
    EXPECT_EQ(c.weekdays, 0x1F);
    EXPECT_EQ(*c.time, (TimeOfDay{7, 45, 0}));
    EXPECT_EQ(c.operation, kCyclePlus);
    EXPECT_EQ(c.relay, 2);
    EXPECT_EQ(c.cycle, 2);
    EXPECT_TRUE(c.cycleInMinutes);
    EXPECT_EQ(c.impulse, 5);
    EXPECT_FALSE(c.impulseInMinutes);
    EXPECT_EQ(c.description, "Rozkaz odczytany nr 1");
    EXPECT_EQ(d.commands[1].weekdays, 0xFF);
    EXPECT_EQ(d.commands[1].relay, 1);
    EXPECT_EQ(d.commands[1].operation, kOff);
}

}  // namespace
}  // namespace kt64::test
