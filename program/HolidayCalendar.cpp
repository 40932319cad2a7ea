// Polish public holidays (see HolidayCalendar.h).
#include "HolidayCalendar.h"

#include <algorithm>
#include <string>

#include "ProgramTables.h"
#include "ProgramTexts.h"

namespace kt64::program {

namespace {

CivilDate daysAfter(const CivilDate& d, int days) { return dateFromDayNumber(dayNumber(d) + days); }

// First year in which 24 December is a public holiday.
constexpr int kChristmasEveFrom = 2025;

}  // namespace

CivilDate easterSunday(int year) {
    // The anonymous Gregorian algorithm: the Paschal full moon from the
    // Metonic cycle (a), the century's solar and lunar corrections (b..i),
    // then the Sunday after it (l).
    const int a = year % 19;
    const int b = year / 100;
    const int c = year % 100;
    const int d = b / 4;
    const int e = b % 4;
    const int f = (b + 8) / 25;
    const int g = (b - f + 1) / 3;
    const int h = (19 * a + b - d - g + 15) % 30;
    const int i = c / 4;
    const int k = c % 4;
    const int l = (32 + 2 * e + 2 * i - h - k) % 7;
    const int m = (a + 11 * h + 22 * l) / 451;
    const int month = (h + l - 7 * m + 114) / 31;
    const int day = (h + l - 7 * m + 114) % 31 + 1;
    return CivilDate{year, month, day};
}

std::vector<DateRow> polishHolidays(int fromYear, int toYear) {
    namespace t = text;
    std::vector<DateRow> out;
    struct Fixed {
        int month, day, lastDay;
        std::string_view name;
    };
    static constexpr Fixed kFixed[] = {
        {1, 1, 1, t::kNewYear},
        {1, 6, 6, t::kEpiphany},
        {5, 1, 1, t::kLabourDay},
        {5, 3, 3, t::kConstitutionDay},
        {8, 15, 15, t::kAssumption},
        {11, 1, 1, t::kAllSaints},
        {11, 11, 11, t::kIndependenceDay},
        {12, 25, 26, t::kChristmas},
    };
    for (const auto& f : kFixed) {
        const bool withEve = f.month == 12 && fromYear >= kChristmasEveFrom;
        out.push_back(dateRange(yearlessDate(f.month, withEve ? 24 : f.day), yearlessDate(f.month, f.lastDay), false,
                                withEve ? t::kChristmasEveAndChristmas : f.name));
    }
    for (int year = fromYear; year <= toYear; ++year) {
        const CivilDate easter = easterSunday(year);
        out.push_back(dateRange(easter, daysAfter(easter, 1), true, t::kEaster));
        out.push_back(dateRange(daysAfter(easter, 49), daysAfter(easter, 49), true, t::kPentecost));
        out.push_back(dateRange(daysAfter(easter, 60), daysAfter(easter, 60), true, t::kCorpusChristi));
        // Before 24 December became a holiday for good, a span that starts
        // earlier gets it as a day of each year from then on.
        if (fromYear < kChristmasEveFrom && year >= kChristmasEveFrom)
            out.push_back(dateRange({year, 12, 24}, {year, 12, 24}, true, t::kChristmasEve));
    }
    return out;
}

std::pair<int, int> fiveSchoolYears(const CivilDate& today) {
    const int first = today.month >= 9 ? today.year : today.year - 1;
    return {first, first + 5};
}

bool isMovableHoliday(const DateRow& date) {
    if (!date.inItsYearOnly) return false;
    for (const auto name : {text::kEaster, text::kPentecost, text::kCorpusChristi, text::kChristmasEve})
        if (date.description == name) return true;
    return false;
}

namespace {

// The every-year Christmas range of a run from 2025 on, and that of a run
// from an earlier year.
bool isChristmasFromEve(const DateRow& d) {
    return !d.inItsYearOnly && d.from && d.to && d.from->month == 12 && d.from->day == 24 && d.to->month == 12 &&
           d.to->day == 26 && d.description == text::kChristmasEveAndChristmas;
}

bool isChristmasWithoutEve(const DateRow& d) {
    return !d.inItsYearOnly && d.from && d.to && d.from->month == 12 && d.from->day == 25 &&
           d.description == text::kChristmas;
}

}  // namespace

DateRangePlan planHolidays(Database& db, std::int64_t block, const std::string& newBlockName, int fromYear, int toYear,
                           const CivilDate& today) {
    std::vector<DateRow> own;
    if (block != 0)
        for (auto& d : readDatesByBlock(db))
            if (d.block == block) own.push_back(std::move(d));
    // Once the block keeps 24 December by the year (a run that began before
    // 2025), every later run does so as well.
    const bool eveByYear = fromYear < kChristmasEveFrom || std::any_of(own.begin(), own.end(), isChristmasWithoutEve);
    std::vector<DateRow> wanted =
        polishHolidays(std::min(fromYear, eveByYear ? kChristmasEveFrom - 1 : fromYear), toYear);
    std::erase_if(wanted, [&](const DateRow& d) { return d.inItsYearOnly && d.from->year < fromYear; });
    const bool splitEve = eveByYear && std::any_of(own.begin(), own.end(), isChristmasFromEve);
    if (splitEve) {
        int lastYear = std::max(toYear, today.year);
        for (const auto& d : own)
            if (isMovableHoliday(d)) lastYear = std::max(lastYear, d.to->year);
        for (int year = std::max(toYear + 1, kChristmasEveFrom); year <= lastYear; ++year)
            wanted.push_back(dateRange({year, 12, 24}, {year, 12, 24}, true, text::kChristmasEve));
    }
    return planDateRanges(db, block, newBlockName, std::move(wanted), [&](const DateRow& d) {
        return (isMovableHoliday(d) && d.to && d.to->year < today.year) || (splitEve && isChristmasFromEve(d));
    });
}

}  // namespace kt64::program
