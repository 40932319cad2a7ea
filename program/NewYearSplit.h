// Date ranges without year that wrap the year end. Such a range (1
// September .. 30 June, the school year) applies on no day, since within
// the year its end lies before its start. The date dialog asks before
// storing one and kt64prog add-date refuses it; both offer to store it as
// the two ranges of splitAtNewYear (start .. 31 December, 1 January ..
// end).
#pragma once

#include <string>
#include <vector>

#include "ProgramRecords.h"

namespace kt64::program {

// A range without year, both dates set, whose end lies before its start in
// the year.
bool endsBeforeItStarts(const DateRow& range);
// The date dialog's question (Yes splits the range, No stores it as it is).
std::string newYearQuestion(const DateRow& range);
// kt64prog's refusal: the same finding, then the option that splits.
std::string newYearRefusal(const DateRow& range);
// The two ranges: the first keeps the range's LP, the second has none (0).
std::vector<DateRow> splitAtNewYear(const DateRow& range);

}  // namespace kt64::program
