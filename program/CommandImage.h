// The centre's command list (CommandImage): 2905 bytes that the compiler
// fills from a program's rows and the loader turns back into rows. Pure
// functions over byte spans; the database side is ImageCompiler.h.
//
//   offsets 0..2799     400 slots of 7 bytes. Date records fill slots upward
//                       from slot 0, command records downward from slot 399
//                       (offset 2793). A slot holding nothing is 7 x FF.
//   offsets 2800..2899  block priority table: 2800 + i = priority of the
//                       block with block index i (0-based position in LP
//                       order, block 1 = index 0); FF where no block.
//   offsets 2900..2904  unused, FF.
//
// Date record, byte 0 has bit 7 set (1 May 2024 in the block of index 1,
// year-bound, single day):              81 01 05 18 FF FF FF
//   0  80 | block index (E4 for a date whose block does not exist)
//   1  day of DataOd   2  month of DataOd
//   3  year of DataOd - 2000, FF for a range without year (Roczny no)
//   4  day of DataDo   5  month of DataDo   6  year of DataDo - 2000 or FF
//      (4..6 all FF for a single day; 6 also FF for a range without year)
//   20 December .. 6 January, every year, block index 0:  80 14 0C FF 06 01 FF
//
// Command record, byte 0 has bit 7 clear (relay 2, "Cykl+", 7:45, Monday to
// Friday, impulse 5 s, cycle 2 min, block index 1):  01 1F 07 2D 22 82 05
//   0  block index (100 = 0x64 for a command whose block does not exist)
//   1  DzienTyg   2  hour   3  minute
//   4  relay and state: high nibble relay (1, 2); low nibble the relay's own
//      bit (01 relay 1, 02 relay 2) set for "Załączony", "Impuls+", "Cykl+"
//   5  CzasCyklu, bit 7 = minutes; 00 unless "Cykl+"/"Cykl-"
//   6  CzasImp, bit 7 = minutes; 00 for "Wyłączony"/"Załączony"
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ProgramRecords.h"

namespace kt64::program {

inline constexpr std::size_t kImageSize = 2905;
inline constexpr std::size_t kSlotSize = 7;
inline constexpr std::size_t kSlotCount = 400;
inline constexpr std::size_t kPriorityOffset = 2800;
inline constexpr int kMissingBlockIndex = 100;
inline constexpr std::uint8_t kEmpty = 0xFF;

using CommandImage = std::array<std::uint8_t, kImageSize>;
using ImageSpan = std::span<std::uint8_t, kImageSize>;
using ConstImageSpan = std::span<const std::uint8_t, kImageSize>;
using SlotBytes = std::array<std::uint8_t, kSlotSize>;

// An image with every byte FF: what the compiler starts from.
CommandImage blankImage();

// Why a program cannot become a command list: the line shown under "Nie mogę
// wygenerować rozkazów dla centrali.".
struct ImageFault {
    std::string text;
};

// Fills image (every byte FF beforehand) from rows read in the compiler's
// order: blocks by LP; dates by NrBloku, DataOd, DataDo; commands by Blok.
// Every row is checked before the first byte is written, so a refused
// program leaves the image as it was; nothing is written outside its 2905
// bytes.
std::optional<ImageFault> compileImage(std::span<const BlockRow> blocks, std::span<const DateRow> dates,
                                       std::span<const CommandRow> commands, ImageSpan image);

// Record bytes of one row, for a block index 0..100. The row must have
// passed compileImage's checks.
SlotBytes dateRecord(int blockIndex, const DateRow& date);
SlotBytes commandRecord(int blockIndex, const CommandRow& command);

// Operation of a command record's bytes 4, 5, 6.
int decodeOperation(std::uint8_t relayState, std::uint8_t cycle, std::uint8_t impulse);

// What a received image holds, as rows to add to a new program: blocks for
// the block indexes 1..99 whose priority byte is 0..9 (block index i becomes
// block i + 1), then dates of slots 0..399, then commands of slots 399..0.
// Descriptions carry the received-record texts with their own counters.
struct DecodedImage {
    std::vector<BlockRow> blocks;
    std::vector<DateRow> dates;
    std::vector<CommandRow> commands;
};
DecodedImage decodeImage(ConstImageSpan image);

// Year stored for a range without year: the year byte FF plus 2000. The 29th
// of February, which 2255 does not have, is kept in 2256, the next leap year.
inline constexpr int kYearlessYear = 2255;
inline constexpr int kYearlessLeapYear = 2256;

}  // namespace kt64::program
