// Adding many date ranges to one block at once (public holidays, a calendar
// file) as one change: the ranges asked for are merged where they overlap or
// touch, those the block already covers are left out, ranges an earlier run
// made and marked as replaceable go, and the whole change either fits the
// centre's 400 dates and commands or is refused before anything is written.
// Applying it is one transaction, so a failure leaves the program as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ProgramRecords.h"
#include "SqlDatabase.h"

namespace kt64::program {

// The date an every-year range is written with: the day in the year a
// received program gives such ranges (kYearlessYear, 29 February in the
// leap year after it), so that the program compiles to the same command
// list before and after a trip to the centre, whose list keeps no year.
CivilDate yearlessDate(int month, int day);

// A range of block 0 (the plan gives it its block).
DateRow dateRange(const CivilDate& from, const CivilDate& to, bool inItsYearOnly, std::string_view description);

// Ranges sorted and merged: every-year ranges with every-year ones (by
// month and day, written with yearlessDate), ranges of their own year with
// each other; two merge when they overlap or the second starts the day
// after the first ends. The merged range keeps the different descriptions
// joined with ", ". Ranges without dates are dropped.
std::vector<DateRow> mergeRanges(std::vector<DateRow> ranges);

// Whether every day of inner is a day of outer.
bool covers(const DateRow& outer, const DateRow& inner);

struct DateRangePlan {
    std::int64_t block = 0;  // 0: a new holiday block is made
    std::string newBlockName;
    std::vector<DateRow> removed;  // the block's ranges that go (with their LPs)
    std::vector<DateRow> added;
    int recordsBefore = 0;  // dates and commands of the whole program

    // Places of the 400 the change takes (negative: frees some) and those
    // free now.
    int needed() const { return static_cast<int>(added.size()) - static_cast<int>(removed.size()); }
    int free() const { return kMaxRecords - recordsBefore; }
    bool fits() const { return needed() <= free(); }
    // kRangesDoNotFit with the counts.
    std::string refusal() const;
};

// The change that gives block (0: a new one named newBlockName) the ranges
// wanted. replaceable picks the block's ranges an earlier run made, which
// go unless wanted again.
DateRangePlan planDateRanges(Database& db, std::int64_t block, const std::string& newBlockName,
                             std::vector<DateRow> wanted, const std::function<bool(const DateRow&)>& replaceable);

// The block named by text: its number, else the first block whose
// description is text; 0 when there is none.
std::int64_t findBlock(Database& db, const std::string& text);

// The priority a new block of days off gets: the highest, so that on its
// days no block with commands applies.
inline constexpr std::int64_t kDaysOffPriority = 9;

// Days off silence the bells only from a block without commands whose
// priority is above that of every block with commands (blocks of the same
// priority add their commands up). The block to offer for days off: the
// first such block named "Dni wolne"; 0 when there is none and a new one is
// to be made.
std::int64_t daysOffBlock(Database& db);

// The name of a new block of days off: "Dni wolne", or "Dni wolne 2" and
// so on where a block of that name is there already (one that rings, or
// ranks below a block that does), so that the name a refusal offers makes
// a new block rather than naming the refused one again.
std::string newDaysOffBlockName(Database& db);

// Why block (0: a new one) cannot take days off, as a sentence that names
// the block to use instead; empty when it can.
std::string daysOffRefusal(Database& db, std::int64_t block);

// Writes plan in one transaction; a plan that does not fit is refused with
// DatabaseError before anything changes. A new block gets kDaysOffPriority and no
// commands, so on its days no other block rings. Returns the block's LP.
std::int64_t applyDateRangePlan(Database& db, const DateRangePlan& plan);

}  // namespace kt64::program
