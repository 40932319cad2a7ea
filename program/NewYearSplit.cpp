// Ranges without year across the year end (see NewYearSplit.h).
#include "NewYearSplit.h"

#include <algorithm>
#include <string_view>

#include "RelayEvaluation.h"

namespace kt64::program {

bool endsBeforeItStarts(const DateRow& range) {
    return !range.inItsYearOnly && range.from && range.to && rangeNeverApplies(range.from, range.to, false);
}

namespace {

// "1 września": the day and the month as a date is read aloud.
std::string dayAndMonth(const CivilDate& d) {
    static constexpr std::string_view kMonths[] = {"stycznia", "lutego",       "marca",     "kwietnia",
                                                   "maja",     "czerwca",      "lipca",     "sierpnia",
                                                   "września", "października", "listopada", "grudnia"};
    const auto month = kMonths[static_cast<std::size_t>(std::clamp(d.month, 1, 12) - 1)];
    return std::to_string(d.day) + " " + std::string(month);
}

std::string neverApplies(const DateRow& range) {
    return "Zakres dat bez roku od " + dayAndMonth(*range.from) + " do " + dayAndMonth(*range.to) +
           " kończy się w roku wcześniej, niż się zaczyna, więc nie obowiązuje w żadnym dniu.";
}

std::string twoRanges(const DateRow& range) {
    return "od " + dayAndMonth(*range.from) + " do 31 grudnia i od 1 stycznia do " + dayAndMonth(*range.to);
}

}  // namespace

std::string newYearQuestion(const DateRow& range) {
    return neverApplies(range) + "\n\nCzy zapisać go jako dwa zakresy: " + twoRanges(range) + "?";
}

std::string newYearRefusal(const DateRow& range) {
    return neverApplies(range) +
           " Nie zapisano go. Z opcją --split zostanie zapisany jako dwa zakresy: " + twoRanges(range) + ".";
}

std::vector<DateRow> splitAtNewYear(const DateRow& range) {
    DateRow toNewYear = range, fromNewYear = range;
    toNewYear.to = CivilDate{range.from->year, 12, 31};
    fromNewYear.id = 0;
    fromNewYear.from = CivilDate{range.to->year, 1, 1};
    return {toNewYear, fromNewYear};
}

}  // namespace kt64::program
