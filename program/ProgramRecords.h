// The rows of a relay program as the program's code handles them: blocks
// (Bloki), date ranges (Daty) and relay commands (Rozkazy), with the
// operation codes and weekday bits they use. Numeric columns are kept at the
// width the database holds (64 bits) so that a value no record of the centre
// can carry is seen as such and never silently truncated into range; dates
// and times are empty when the stored text is missing or not a real date.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "CivilTime.h"

namespace kt64::program {

// Block 1: has no dates, its commands hold on every day no dated block of a
// higher priority applies to.
inline constexpr std::int64_t kBaseBlock = 1;

// Limits of the centre's command list.
inline constexpr int kMaxBlocks = 100;
inline constexpr int kMaxRecords = 400;  // date ranges and commands together

enum Operation : int {
    kOff = 0,  // "Wyłączony"
    kOn = 1,   // "Załączony"
    kImpulsePlus = 2,
    kImpulseMinus = 3,
    kCyclePlus = 4,
    kCycleMinus = 5,
    kNothingInForce = 6,  // evaluator only: no command in force yet
};

// The operation names of KodOp and of the chart's information window.
inline constexpr std::array<std::string_view, 6> kOperationNames = {"Wyłączony", "Załączony", "Impuls+",
                                                                    "Impuls-",   "Cykl+",     "Cykl-"};

// DzienTyg: bit 0 Monday ... bit 6 Sunday.
inline constexpr int kMonday = 0x01;
inline constexpr int kSunday = 0x40;
inline constexpr int kAllWeek = 0x7F;
inline constexpr int kMondayToFriday = 0x1F;

struct BlockRow {
    std::int64_t id = 0;
    std::int64_t priority = 0;
    std::string description;
};

struct DateRow {
    std::int64_t id = 0;
    std::optional<CivilDate> from;
    std::optional<CivilDate> to;
    bool inItsYearOnly = false;  // true: the range holds in its own year only
    std::string description;
    std::int64_t block = 0;
};

struct CommandRow {
    std::int64_t id = 0;
    std::int64_t weekdays = kAllWeek;
    std::int64_t operation = kOff;
    std::optional<TimeOfDay> time;  // hour and minute are used
    std::int64_t impulse = 1;
    bool impulseInMinutes = false;  // true: CzasImp in minutes, else seconds
    std::int64_t cycle = 2;
    bool cycleInMinutes = false;  // true: CzasCyklu in minutes, else seconds
    std::int64_t relay = 1;
    std::string description;
    std::int64_t block = 0;
};

}  // namespace kt64::program
