// Seconds since 1970-01-01 00:00 into calendar fields and back: the
// boundaries of days, of leap days and of the time before 1970.
#include <gtest/gtest.h>

#include "CivilCalendar.h"

namespace kt64::test {
namespace {

using namespace kt64::calendar;

TEST(CivilTime, SecondsToFieldsAndBack) {
    const struct {
        std::int64_t seconds;
        CivilTime fields;
    } rows[] = {
        {0, {1970, 1, 1, 0, 0, 0, 4}},
        {86399, {1970, 1, 1, 23, 59, 59, 4}},
        {-1, {1969, 12, 31, 23, 59, 59, 3}},
        {-86400, {1969, 12, 31, 0, 0, 0, 3}},
        {-86401, {1969, 12, 30, 23, 59, 59, 2}},
        {951782400 + 3723, {2000, 2, 29, 1, 2, 3, 2}},
        {4107542399, {2100, 2, 28, 23, 59, 59, 7}},
        {4107542400, {2100, 3, 1, 0, 0, 0, 1}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(civilFromSeconds(row.seconds), row.fields) << row.seconds;
        const CivilTime& f = row.fields;
        EXPECT_EQ(secondsFromCivil(f.year, f.month, f.day, f.hour, f.minute, f.second), row.seconds) << row.seconds;
        EXPECT_EQ(secondsFromCivil(f), row.seconds) << row.seconds;
    }
}

}  // namespace
}  // namespace kt64::test
