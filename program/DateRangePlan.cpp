// Many date ranges added as one change (see DateRangePlan.h).
#include "DateRangePlan.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <optional>

#include "CommandImage.h"
#include "ProgramTables.h"
#include "ProgramTexts.h"
#include "TextFormat.h"

namespace kt64::program {

namespace {

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
    plan.removed = std::move(replaced);
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

namespace {

// The block with commands of the highest priority (block 1 counts as 0:
// any dated block of a higher one replaces it); nullopt when no block has
// commands.
struct BellBlock {
    std::int64_t id = 0;
    std::int64_t priority = 0;
};

std::optional<BellBlock> highestBellBlock(const std::vector<BlockRow>& blocks,
                                          const std::vector<CommandRow>& commands) {
    std::optional<BellBlock> highest;
    for (const auto& b : blocks) {
        const bool rings =
            std::any_of(commands.begin(), commands.end(), [&](const CommandRow& c) { return c.block == b.id; });
        const std::int64_t priority = b.id == kBaseBlock ? 0 : b.priority;
        if (rings && (!highest || priority > highest->priority)) highest = BellBlock{b.id, priority};
    }
    return highest;
}

bool holdsCommands(const std::vector<CommandRow>& commands, std::int64_t block) {
    return std::any_of(commands.begin(), commands.end(), [&](const CommandRow& c) { return c.block == block; });
}

}  // namespace

std::int64_t daysOffBlock(Database& db) {
    const auto blocks = readBlocks(db);
    const auto commands = readCommandsByBlock(db);
    const auto bells = highestBellBlock(blocks, commands);
    for (const auto& b : blocks)
        if (b.id != kBaseBlock && b.description == text::kHolidayBlock && !holdsCommands(commands, b.id) &&
            (!bells || b.priority > bells->priority))
            return b.id;
    return 0;
}

std::string newDaysOffBlockName(Database& db) {
    const auto blocks = readBlocks(db);
    std::string name(text::kHolidayBlock);
    for (int n = 2; std::any_of(blocks.begin(), blocks.end(), [&](const BlockRow& b) { return b.description == name; });
         ++n)
        name = std::string(text::kHolidayBlock) + " " + std::to_string(n);
    return name;
}

std::string daysOffRefusal(Database& db, std::int64_t block) {
    const auto blocks = readBlocks(db);
    const auto commands = readCommandsByBlock(db);
    const auto bells = highestBellBlock(blocks, commands);
    if (bells && bells->priority >= kDaysOffPriority)
        return formatText(text::kDaysOffNoPriorityLeft, static_cast<long long>(bells->id),
                          static_cast<long long>(kDaysOffPriority));
    if (block == 0) return {};
    std::string instead;
    if (const std::int64_t offered = daysOffBlock(db); offered != 0) {
        instead = formatText(text::kDaysOffUseBlock, static_cast<long long>(offered),
                             std::string(text::kHolidayBlock).c_str());
    } else {
        instead = formatText(text::kDaysOffUseNewBlock, newDaysOffBlockName(db).c_str(),
                             static_cast<long long>(kDaysOffPriority));
    }
    const auto found = std::find_if(blocks.begin(), blocks.end(), [&](const BlockRow& b) { return b.id == block; });
    if (found == blocks.end())
        return formatText(text::kDaysOffNoSuchBlock, static_cast<long long>(block), instead.c_str());
    if (holdsCommands(commands, block))
        return formatText(text::kDaysOffBlockRings, static_cast<long long>(block), instead.c_str());
    if (bells && found->priority <= bells->priority)
        return formatText(text::kDaysOffPriorityTooLow, static_cast<long long>(block),
                          static_cast<long long>(found->priority), static_cast<long long>(bells->id),
                          static_cast<long long>(bells->priority), instead.c_str());
    return {};
}

std::int64_t applyDateRangePlan(Database& db, const DateRangePlan& plan) {
    if (!plan.fits()) throw DatabaseError(SQLITE_FULL, plan.refusal());
    Transaction transaction(db);
    std::int64_t block = plan.block;
    if (block == 0) {
        if (readBlocks(db).size() >= static_cast<std::size_t>(kMaxBlocks))
            throw DatabaseError(SQLITE_FULL, std::string(text::kTooManyBlocks));
        block = insertBlock(db, BlockRow{0, kDaysOffPriority, plan.newBlockName});
    }
    for (const auto& d : plan.removed) {
        auto q = db.query("DELETE FROM Daty WHERE LP=?");
        q.bind(1, d.id);
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
