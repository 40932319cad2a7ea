// The program's switching as data: every stretch of time a relay is on over
// a span of days, with the command and block that won it, for calendars,
// spreadsheets and the printed bell plan. The relay states are the chart's:
// the same RowEvaluation over the same ProgramSnapshot, sampled once a
// minute as the chart samples at 1 minute per pixel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CivilTime.h"
#include "RelayEvaluation.h"

namespace kt64::program {

class Database;

struct Switching {
    int relay = 1;           // 1 or 2
    LocalSeconds start = 0;  // the first minute the relay is on
    LocalSeconds end = 0;    // the moment it is off again
    std::int32_t operation = kNothingInForce;
    std::int32_t command = 0;  // LP of the command in force
    std::int32_t block = 0;    // Blok of that command
    std::string description;   // Opis of that command
    friend bool operator==(const Switching&, const Switching&) = default;
};

// The longest span resolved at once: a school year with room to spare.
inline constexpr int kMaxSwitchingDays = 400;

// The switchings of both relays that are on at some moment of the days
// from..to (both included), relay 1 first, each in time order.
//
// The evaluation starts a week before from, so that a command taken then (a
// "Załączony" of Friday evening, a weekday's last command) is in force at
// the start of the span as it is in the centre; a switching still on at the
// end of to ends at the following midnight.
//
// Minutes are the evaluation's grain, so an impulse shows for whole
// minutes; where the command's own impulse is shorter ("Impuls+" of 5 s, a
// "Cykl+" of 10 s), the switching lasts the impulse, as the bell rings.
std::vector<Switching> resolveSwitchings(DayCommandSource& source, const CivilDate& from, const CivilDate& to);
// Over a program file; throws DatabaseError.
std::vector<Switching> resolveSwitchings(Database& db, const CivilDate& from, const CivilDate& to);

}  // namespace kt64::program
