#include "ChangeOfTime.h"

#include "CentreCalendar.h"

namespace kt64::sim {

ChangeYear changesOf(int year, const ChangeRule& toSummer, const ChangeRule& toWinter, int offsetMinutes) {
    ChangeYear c;
    c.dayToSummer = changeDay(year, toSummer.month, toSummer.key);
    c.dayToWinter = changeDay(year, toWinter.month, toWinter.key);
    const std::int64_t offset = std::int64_t{offsetMinutes} * 60;
    if (c.dayToSummer) c.toSummerGmt = secondsFromCivil(year, toSummer.month, c.dayToSummer, toSummer.hour) - offset;
    if (c.dayToWinter)
        c.toWinterGmt = secondsFromCivil(year, toWinter.month, c.dayToWinter, toWinter.hour) - offset - 3600;
    return c;
}

int changeYearAt(std::int64_t gmtSeconds, int offsetMinutes) {
    return civilFromSeconds(gmtSeconds + std::int64_t{offsetMinutes} * 60).year;
}

bool isSummerAt(std::int64_t gmt, const ChangeRule& toSummer, const ChangeRule& toWinter, int offsetMinutes) {
    const auto c = changesOf(changeYearAt(gmt, offsetMinutes), toSummer, toWinter, offsetMinutes);
    if (!c.dayToSummer || !c.dayToWinter || c.toSummerGmt == c.toWinterGmt) return false;
    if (c.toSummerGmt < c.toWinterGmt) return gmt >= c.toSummerGmt && gmt < c.toWinterGmt;
    return gmt >= c.toSummerGmt || gmt < c.toWinterGmt;
}

}  // namespace kt64::sim
