// The weekly bell plan's content and pages (see BellPlan.h).
#include "BellPlan.h"

#include <algorithm>

#include "CivilCalendar.h"
#include "ProgramEvaluator.h"
#include "TextFormat.h"

namespace kt64::program {

namespace {

constexpr std::array<std::string_view, 7> kWeekdayNames = {"Poniedziałek", "Wtorek", "Środa",    "Czwartek",
                                                           "Piątek",       "Sobota", "Niedziela"};
constexpr std::array<std::string_view, 7> kWeekdayShortNames = {"pn", "wt", "śr", "cz", "pt", "so", "nd"};

int isoWeekdayIndex(const CivilDate& day) { return calendar::isoWeekday(dayNumber(day)) - 1; }

// Week 1 holds 4 January; its Monday is the first of the ISO year.
std::int64_t firstMonday(int isoYear) {
    const CivilDate jan4{isoYear, 1, 4};
    return dayNumber(jan4) - isoWeekdayIndex(jan4);
}

std::string dayMonthYear(const CivilDate& d) { return formatText("%d.%02d.%d", d.day, d.month, d.year); }

}  // namespace

std::string_view weekdayName(int index) { return kWeekdayNames[static_cast<std::size_t>(index % 7)]; }
std::string_view weekdayShortName(int index) { return kWeekdayShortNames[static_cast<std::size_t>(index % 7)]; }

IsoWeek isoWeekOf(const CivilDate& day) {
    // The week's Thursday decides its year.
    const CivilDate thursday = dateFromDayNumber(dayNumber(day) - isoWeekdayIndex(day) + 3);
    return {thursday.year, static_cast<int>((dayNumber(thursday) - firstMonday(thursday.year)) / 7 + 1)};
}

std::optional<CivilDate> mondayOf(const IsoWeek& week) {
    if (week.year < 1 || week.year > 9998 || week.week < 1) return std::nullopt;
    // 28 December is always in the year's last week.
    if (week.week > isoWeekOf({week.year, 12, 28}).week) return std::nullopt;
    return dateFromDayNumber(firstMonday(week.year) + std::int64_t{week.week - 1} * 7);
}

std::optional<IsoWeek> parseIsoWeek(std::string_view text) {
    auto digit = [&](std::size_t i) { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
    if (text.size() != 8 || text[4] != '-' || text[5] != 'W') return std::nullopt;
    for (std::size_t i : {0u, 1u, 2u, 3u, 6u, 7u})
        if (!digit(i)) return std::nullopt;
    const IsoWeek week{std::stoi(std::string(text.substr(0, 4))), std::stoi(std::string(text.substr(6, 2)))};
    if (!mondayOf(week)) return std::nullopt;
    return week;
}

namespace {

void addOnce(std::vector<std::string>& list, const std::string& item) {
    if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

std::string joined(const std::vector<std::string>& list) {
    std::string out;
    for (const auto& item : list) out += (out.empty() ? "" : ", ") + item;
    return out;
}

// Every day of from..to as the plan shows it.
std::vector<PlanDay> planDays(ProgramSnapshot& snapshot, const BlockNames& names, const CivilDate& from,
                              const CivilDate& to) {
    std::vector<PlanDay> days(static_cast<std::size_t>(std::max<std::int64_t>(0, dayNumber(to) - dayNumber(from) + 1)));
    for (std::size_t i = 0; i < days.size(); ++i) {
        PlanDay& day = days[i];
        day.date = dateFromDayNumber(dayNumber(from) + static_cast<std::int64_t>(i));
        const auto blocks = snapshot.blocksFor(day.date);
        // A block named by two of its ranges on the day is in force once.
        for (const auto b : blocks) addOnce(day.blocks, blockName(names, b));
        const bool dated = blocks != std::vector<std::int64_t>{kBaseBlock};
        if (dated && snapshot.commandsFor(day.date, 0).empty() && snapshot.commandsFor(day.date, 1).empty()) {
            std::vector<std::string> descriptions;
            for (const DatedBlock* r : snapshot.rangesFor(day.date))
                if (!r->description.empty()) addOnce(descriptions, r->description);
            const std::string joinedBlocks = joined(day.blocks);
            day.dayOff = descriptions.empty() ? joinedBlocks : joined(descriptions) + " – " + joinedBlocks;
        }
    }
    const LocalSeconds spanStart = localSeconds(from);
    for (const Switching& s : resolveSwitchings(snapshot, from, to)) {
        // One switching on since before the span shows from its first day.
        const LocalSeconds start = std::max(s.start, spanStart);
        const auto index = static_cast<std::size_t>(dayNumber(dateOf(start)) - dayNumber(from));
        days[index].bells[static_cast<std::size_t>(s.relay - 1)].push_back({start, s.end, s.operation, s.description});
    }
    return days;
}

// Whether two days show the same: blocks, day off, and bells at the same
// times of day for the same lengths.
bool sameDay(const PlanDay& a, const PlanDay& b) {
    if (a.blocks != b.blocks || a.dayOff != b.dayOff) return false;
    const LocalSeconds shift = localSeconds(b.date) - localSeconds(a.date);
    for (std::size_t relay = 0; relay < 2; ++relay) {
        if (a.bells[relay].size() != b.bells[relay].size()) return false;
        for (std::size_t i = 0; i < a.bells[relay].size(); ++i) {
            const PlanBell& x = a.bells[relay][i];
            const PlanBell& y = b.bells[relay][i];
            if (x.start + shift != y.start || x.end + shift != y.end || x.operation != y.operation ||
                x.description != y.description)
                return false;
        }
    }
    return true;
}

}  // namespace

WeekPlan weekPlan(ProgramSnapshot& snapshot, const BlockNames& names, const IsoWeek& week) {
    WeekPlan plan;
    plan.week = week;
    const auto monday = mondayOf(week);
    if (!monday) return plan;
    const auto days = planDays(snapshot, names, *monday, dateFromDayNumber(dayNumber(*monday) + 6));
    std::copy(days.begin(), days.end(), plan.days.begin());
    return plan;
}

WeekPlan typicalWeek(ProgramSnapshot& snapshot, const BlockNames& names, const CivilDate& from, const CivilDate& to) {
    WeekPlan plan;
    plan.typicalOf = {from, to};
    const auto days = planDays(snapshot, names, from, to);
    for (std::size_t weekday = 0; weekday < 7; ++weekday) {
        PlanDay& chosen = plan.days[weekday];
        int chosenCount = 0, all = 0;
        for (const PlanDay& day : days) {
            if (static_cast<std::size_t>(isoWeekdayIndex(day.date)) != weekday) continue;
            ++all;
            int count = 0;
            for (const PlanDay& other : days)
                count += isoWeekdayIndex(other.date) == isoWeekdayIndex(day.date) && sameDay(day, other);
            // The most frequent; of equally frequent ones the first.
            if (count > chosenCount) {
                chosen = day;
                chosenCount = count;
            }
        }
        chosen.alike = {chosenCount, all};
    }
    return plan;
}

WeekPlan typicalWeek(Database& db, const CivilDate& from, const CivilDate& to) {
    ProgramSnapshot snapshot(db);
    return typicalWeek(snapshot, readBlockNames(db), from, to);
}

WeekPlan weekPlan(Database& db, const IsoWeek& week) {
    ProgramSnapshot snapshot(db);
    return weekPlan(snapshot, readBlockNames(db), week);
}

namespace {

std::string bellTime(const PlanBell& bell) {
    const TimeOfDay from = timeOf(bell.start);
    const std::int64_t length = bell.end - bell.start;
    std::string text = formatText("%d:%02d", from.hour, from.minute);
    if (length >= 3600) {
        const TimeOfDay to = timeOf(bell.end);
        text += "–";
        if (dateOf(bell.end) != dateOf(bell.start))
            text += std::string(weekdayShortName(isoWeekdayIndex(dateOf(bell.end)))) + " ";
        return text + formatText("%d:%02d", to.hour, to.minute);
    }
    const auto minutes = static_cast<long long>(length / 60), seconds = static_cast<long long>(length % 60);
    if (minutes == 0) return text + formatText("  %lld s", seconds);
    if (seconds == 0) return text + formatText("  %lld min", minutes);
    return text + formatText("  %lld min %lld s", minutes, seconds);
}

}  // namespace

std::string bellText(const PlanBell& bell) {
    const std::string time = bellTime(bell);
    return bell.description.empty() ? time : time + "  " + bell.description;
}

std::string dayHeading(const PlanDay& day) {
    if (day.alike) return formatText("%d z %d dni", day.alike->first, day.alike->second);
    return formatText("%d.%02d", day.date.day, day.date.month);
}

std::string planTitle(const WeekPlan& plan) {
    if (plan.typicalOf)
        return "Plan dzwonków: typowy tydzień " + dayMonthYear(plan.typicalOf->first) + "–" +
               dayMonthYear(plan.typicalOf->second);
    return formatText("Plan dzwonków: tydzień %d/%d (", plan.week.week, plan.week.year) +
           dayMonthYear(plan.days[0].date) + "–" + dayMonthYear(plan.days[6].date) + ")";
}

std::vector<PlanPage> planPages(const WeekPlan& plan, int linesPerPage) {
    linesPerPage = std::max(1, linesPerPage);
    std::vector<PlanPage> pages;
    for (int relay = 1; relay <= 2; ++relay) {
        std::size_t most = 0;
        for (const auto& day : plan.days) most = std::max(most, day.bells[static_cast<std::size_t>(relay - 1)].size());
        for (std::size_t line = 0; line < most; line += static_cast<std::size_t>(linesPerPage))
            pages.push_back({relay, static_cast<int>(line)});
    }
    if (pages.empty()) pages.push_back({1, 0});
    return pages;
}

}  // namespace kt64::program
