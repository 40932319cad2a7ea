// Many date ranges added as one change (see DateRangePlan.h).
#include "DateRangePlan.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>

#include "CommandImage.h"
#include "ProgramTables.h"
#include "ProgramTexts.h"
#include "TextFormat.h"

namespace kt64::program {

namespace {

// The highest priority: on a holiday block's days no other block applies.
constexpr std::int64_t kHolidayPriority = 9;

// Day numbers of a range's ends; every-year ranges within the year 2000,
// as the evaluator compares them.
std::pair<std::int64_t, std::int64_t> span(const DateRow& r) {
    if (r.inItsYearOnly) return {dayNumber(*r.from), dayNumber(*r.to)};
    return {dayNumber({2000, r.from->month, r.from->day}), dayNumber({2000, r.to->month, r.to->day})};
}

void joinDescription(std::string& into, const std::string& more) {
    if (more.empty() || into == more || into.find(more) != std::string::npos) return;
    into = into.empty() ? more : into + ", " + more;
}

}  // namespace

CivilDate yearlessDate(int month, int day) {
    const CivilDate d{kYearlessYear, month, day};
    return isValid(d) ? d : CivilDate{kYearlessLeapYear, month, day};
}

DateRow dateRange(const CivilDate& from, const CivilDate& to, bool inItsYearOnly, std::string_view description) {
    DateRow r;
    r.from = from;
    r.to = to;
    r.inItsYearOnly = inItsYearOnly;
    r.description = std::string(description);
    return r;
}

bool covers(const DateRow& outer, const DateRow& inner) {
    if (!outer.from || !outer.to || !inner.from || !inner.to) return false;
    const auto [a, b] = span(outer);
    if (!outer.inItsYearOnly && inner.inItsYearOnly) {
        // An every-year range covers a dated one that lies within it in its
        // year (a dated range across the year end never does).
        if (inner.from->year != inner.to->year) return false;
        const auto [c, d] = span(DateRow{0, inner.from, inner.to, false, {}, 0});
        return a <= c && d <= b;
    }
    if (outer.inItsYearOnly != inner.inItsYearOnly) return false;
    const auto [c, d] = span(inner);
    return a <= c && d <= b;
}

std::vector<DateRow> mergeRanges(std::vector<DateRow> ranges) {
    std::erase_if(ranges, [](const DateRow& r) { return !r.from || !r.to || span(r).second < span(r).first; });
    for (auto& r : ranges) {
        if (r.inItsYearOnly) continue;
        r.from = yearlessDate(r.from->month, r.from->day);
        r.to = yearlessDate(r.to->month, r.to->day);
    }
    std::stable_sort(ranges.begin(), ranges.end(), [](const DateRow& x, const DateRow& y) {
        if (x.inItsYearOnly != y.inItsYearOnly) return !x.inItsYearOnly;
        return span(x) < span(y);
    });
    std::vector<DateRow> out;
    for (auto& r : ranges) {
        if (!out.empty() && out.back().inItsYearOnly == r.inItsYearOnly &&
            span(r).first <= span(out.back()).second + 1) {
            DateRow& last = out.back();
            if (span(r).second > span(last).second) last.to = r.to;
            joinDescription(last.description, r.description);
            continue;
        }
        out.push_back(std::move(r));
    }
    return out;
}

std::string DateRangePlan::refusal() const { return formatText(text::kRangesDoNotFit, needed(), std::max(free(), 0)); }

DateRangePlan planDateRanges(Database& db, std::int64_t block, const std::string& newBlockName,
                             std::vector<DateRow> wanted, const std::function<bool(const DateRow&)>& replaceable) {
    DateRangePlan plan;
    plan.block = block;
    plan.newBlockName = newBlockName;
    plan.recordsBefore = recordCount(db);
    std::vector<DateRow> kept, replaced;
    if (block != 0) {
        for (auto& d : readDatesByBlock(db)) {
            if (d.block != block) continue;
            (replaceable && replaceable(d) ? replaced : kept).push_back(std::move(d));
        }
    }
    for (auto& r : mergeRanges(std::move(wanted))) {
        if (std::any_of(kept.begin(), kept.end(), [&](const DateRow& k) { return covers(k, r); })) continue;
        // A replaceable range that comes back unchanged stays as it is.
        const auto same = std::find_if(replaced.begin(), replaced.end(), [&](const DateRow& d) {
            return d.from == r.from && d.to == r.to && d.inItsYearOnly == r.inItsYearOnly &&
                   d.description == r.description;
        });
        if (same != replaced.end()) {
            replaced.erase(same);
            continue;
        }
        r.id = 0;
        r.block = block;
        plan.added.push_back(std::move(r));
    }
    for (const auto& d : replaced) plan.removed.push_back(d.id);
    return plan;
}

std::int64_t findBlock(Database& db, const std::string& text) {
    std::int64_t number = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    const bool isNumber = !text.empty() && ec == std::errc() && end == text.data() + text.size();
    const auto blocks = readBlocks(db);
    for (const auto& b : blocks)
        if (isNumber ? b.id == number : b.description == text) return b.id;
    return 0;
}

std::int64_t applyDateRangePlan(Database& db, const DateRangePlan& plan) {
    if (!plan.fits()) throw DatabaseError(SQLITE_FULL, plan.refusal());
    Transaction transaction(db);
    std::int64_t block = plan.block;
    if (block == 0) {
        if (readBlocks(db).size() >= static_cast<std::size_t>(kMaxBlocks))
            throw DatabaseError(SQLITE_FULL, std::string(text::kTooManyBlocks));
        block = insertBlock(db, BlockRow{0, kHolidayPriority, plan.newBlockName});
    }
    for (const auto id : plan.removed) {
        auto q = db.query("DELETE FROM Daty WHERE LP=?");
        q.bind(1, id);
        q.run();
    }
    for (auto d : plan.added) {
        d.block = block;
        insertDate(db, d);
    }
    transaction.commit();
    return block;
}

}  // namespace kt64::program
