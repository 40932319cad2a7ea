// The weekly bell plan: for one ISO week, per weekday, the blocks in force,
// whether the day is off, and per relay the times the relay switches on and
// for how long, from the program's switchings (Switchings.h). Pure layout:
// the printed page (BellPlanPrint.h) only draws what this gives it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "CivilTime.h"
#include "SwitchingFormats.h"
#include "Switchings.h"

namespace kt64::program {

class Database;
class ProgramSnapshot;

struct IsoWeek {
    int year = 0;
    int week = 0;  // 1..52 or 53
    friend bool operator==(const IsoWeek&, const IsoWeek&) = default;
};

// "2024-W19"; empty for another shape or a week the year does not have.
std::optional<IsoWeek> parseIsoWeek(std::string_view text);
// The Monday of a week, and the week a day belongs to.
std::optional<CivilDate> mondayOf(const IsoWeek& week);
IsoWeek isoWeekOf(const CivilDate& day);

struct PlanBell {
    LocalSeconds start = 0;
    LocalSeconds end = 0;
    std::int32_t operation = kNothingInForce;
    std::string description;  // the command's, may be empty
    friend bool operator==(const PlanBell&, const PlanBell&) = default;
};

struct PlanDay {
    CivilDate date;
    std::vector<std::string> blocks;  // the names of the blocks in force, each once
    // A day whose blocks in force have no command at all, when a dated block
    // won it: named by the descriptions of the date ranges that won it, each
    // once, then by those blocks ("Boże Ciało – Dni wolne"); by the blocks
    // alone when the ranges have no description ("Ferie zimowe").
    std::optional<std::string> dayOff;
    std::array<std::vector<PlanBell>, 2> bells;  // relay 1, relay 2
    // In a typical week: how many days of the span on this weekday are
    // like this one, of how many.
    std::optional<std::pair<int, int>> alike;
};

struct WeekPlan {
    IsoWeek week;
    // A typical week: the span it was read from.
    std::optional<std::pair<CivilDate, CivilDate>> typicalOf;
    std::array<PlanDay, 7> days;  // Monday .. Sunday
};

WeekPlan weekPlan(ProgramSnapshot& snapshot, const BlockNames& names, const IsoWeek& week);
// Over a program file; throws DatabaseError.
WeekPlan weekPlan(Database& db, const IsoWeek& week);

// The typical week of the days from..to (a term, a school year): for each
// weekday the day most of that weekday's days are like (the same blocks,
// day off and bells at the same times), the first of them when two are as
// frequent. Its days keep that day's date and say how many are alike.
WeekPlan typicalWeek(ProgramSnapshot& snapshot, const BlockNames& names, const CivilDate& from, const CivilDate& to);
WeekPlan typicalWeek(Database& db, const CivilDate& from, const CivilDate& to);

// "Poniedziałek" .. "Niedziela" (index 0 = Monday), and "pn" .. "nd".
std::string_view weekdayName(int index);
std::string_view weekdayShortName(int index);

// A bell as the plan writes it: "8:00  5 s", "8:00  3 min", "8:00  1 min 30 s";
// a switching of an hour or more as its span, "7:00–15:30", with the day of
// its end when that is another day ("22:00–pn 6:00"); then the command's
// description, when it has one: "8:00  5 s  Dzwonek – początek lekcji 1".
std::string bellText(const PlanBell& bell);

// A day's column head under its weekday: "6.05", or in a typical week
// how many days are like it, "30 z 34 dni".
std::string dayHeading(const PlanDay& day);

// "Plan dzwonków: tydzień 19/2024 (6.05.2024–12.05.2024)", or for a
// typical week "Plan dzwonków: typowy tydzień 1.09.2025–26.06.2026".
std::string planTitle(const WeekPlan& plan);

// The pages of the printed plan: one or more per relay that switches in the
// week (relay 1 alone when neither does), each showing at most
// linesPerPage bells of every day, from firstLine on.
struct PlanPage {
    int relay = 1;
    int firstLine = 0;
    friend bool operator==(const PlanPage&, const PlanPage&) = default;
};
std::vector<PlanPage> planPages(const WeekPlan& plan, int linesPerPage);

}  // namespace kt64::program
