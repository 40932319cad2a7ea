// The centre's change of time between winter (standard) and summer time.
// Each change is kept as a key (which Sunday), a month and an hour; the day
// is derived for each year. The hour is read on the clock in force just
// before the change (winter local time for the change to summer, summer local
// time for the change back), the usual European practice: with an offset of
// +1 h, 2 h on the last Sunday of March and 3 h on the last Sunday of October
// both fall on 01:00 GMT. The year is that of the local winter time.
#pragma once

#include <cstdint>

#include "CentreSettings.h"

namespace kt64::sim {

struct ChangeYear {
    int dayToSummer = 0;  // 0 when the rule names no day (bad key or month)
    int dayToWinter = 0;
    std::int64_t toSummerGmt = 0;  // instants of the changes, seconds since 1970, GMT
    std::int64_t toWinterGmt = 0;
};

ChangeYear changesOf(int year, const ChangeRule& toSummer, const ChangeRule& toWinter, int offsetMinutes);

// The year whose changes apply at this GMT instant (year of local winter time).
int changeYearAt(std::int64_t gmtSeconds, int offsetMinutes);

// Whether summer time is in force at the GMT instant, by this year's two
// changes. Summer begins at the change to summer (inclusive) and ends at the
// change back; when the change back comes first in the year (southern
// hemisphere) summer spans the new year. Equal instants or a rule without a
// day give no summer.
bool isSummerAt(std::int64_t gmtSeconds, const ChangeRule& toSummer, const ChangeRule& toWinter, int offsetMinutes);

}  // namespace kt64::sim
