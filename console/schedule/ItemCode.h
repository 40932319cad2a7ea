// ItemCode: the 32-bit name of a schedule tree item, passed on to the list
// as the update hint that says what it shows. Bits 28..30 hold the kind,
// bits 0..27 the LP of the record (0 for the three top items). Kinds 1, 3
// and 5 (bit 28 set) are the lists records can be added to.
#pragma once

#include <cstdint>

namespace kt64::console {

enum ItemKind : int {
    kKindBlocks = 1,         // "Bloki" / "Blok %d": all blocks
    kKindCommands = 2,       // "Rozkazy" / "Rozkaz %d": all commands
    kKindBlockCommands = 3,  // "Rozkazy" under a block: its commands
    kKindDates = 4,          // "Daty" / "Data %d": all dates
    kKindBlockDates = 5,     // "Daty" under a block: its dates
};

// The list's code before anything was shown; its kind (7) reads as "all
// blocks" and differs from every code a tree item has, so it forces a refill.
inline constexpr std::uint32_t kNoItemCode = 0xFFFFFFFFu;

constexpr std::uint32_t makeItemCode(int kind, std::int64_t id) {
    return (static_cast<std::uint32_t>(kind & 7) << 28) | (static_cast<std::uint32_t>(id) & 0x0FFFFFFFu);
}
constexpr int kindOf(std::uint32_t code) { return static_cast<int>((code >> 28) & 7); }
constexpr std::int64_t idOf(std::uint32_t code) { return static_cast<std::int64_t>(code & 0x0FFFFFFFu); }
constexpr bool acceptsRecords(int kind) {
    return kind == kKindBlocks || kind == kKindBlockCommands || kind == kKindBlockDates;
}

}  // namespace kt64::console
