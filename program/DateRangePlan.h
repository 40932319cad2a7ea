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
    std::vector<std::int64_t> removed;  // LPs of the block's ranges that go
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

// Writes plan in one transaction; a plan that does not fit is refused with
// DatabaseError before anything changes. A new block gets priority 9 and no
// commands, so on its days no other block rings. Returns the block's LP.
std::int64_t applyDateRangePlan(Database& db, const DateRangePlan& plan);

}  // namespace kt64::program
