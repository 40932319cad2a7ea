// Shared pieces of the schedule console tests: a new program in a scratch
// folder with a private registry, a recording stand-in for the message
// boxes, and dialogs that answer from a script instead of a window.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ProgramDocument.h"
#include "ProgramTables.h"
#include "RecordEditing.h"
#include "ScheduleRules.h"
#include "TestEnvironment.h"
#include "RecordedMessages.h"

namespace kt64::test {
using namespace kt64::console;

using RecordedMessages = kt64::test::RecordedMessages;

// Each dialog applies its function to the row and answers OK, or Cancel
// when no function is set. The date dialog splits a range without year over
// the new year when splitDates is set, as its question's Yes does.
class ScriptedDialogs : public RecordDialogs {
public:
    bool editBlock(program::BlockRow& row) override { return run(block, row); }
    bool editDate(std::vector<program::DateRow>& rows) override {
        if (!run(date, rows.at(0))) return false;
        if (splitDates && endsBeforeItStarts(rows[0])) rows = splitAtNewYear(rows[0]);
        return true;
    }
    bool splitDates = false;
    bool editCommand(program::CommandRow& row) override { return run(command, row); }
    std::function<void(program::BlockRow&)> block;
    std::function<void(program::DateRow&)> date;
    std::function<void(program::CommandRow&)> command;
    int opened = 0;

private:
    template <class F, class R>
    bool run(F& f, R& row) {
        ++opened;
        if (!f) return false;
        f(row);
        return true;
    }
};

// A new program from the template, its working copy in a scratch folder,
// the registry private.
struct NewProgram {
    kt64::test::TempDir folder;
    kt64::test::ScopedEnv tmp{"TMPDIR", folder.path().string()};
    kt64::test::TempRegistry registry;
    RecordedMessages messages;
    program::ProgramDocument document{messages, KT64_TEST_TEMPLATE};
    NewProgram() { document.newDocument(); }
    program::Database& db() { return *document.database(); }
    std::int64_t block(int priority, const std::string& description = "blok") {
        return program::insertBlock(db(), program::BlockRow{0, priority, description});
    }
    std::int64_t date(std::int64_t block, program::CivilDate from, program::CivilDate to, bool yearBound,
                      const std::string& description = "") {
        program::DateRow d;
        d.from = from;
        d.to = to;
        d.inItsYearOnly = yearBound;
        d.block = block;
        d.description = description;
        return program::insertDate(db(), d);
    }
    std::int64_t command(std::int64_t block, int relay, int operation, int hour, int minute,
                         int weekdays = program::kAllWeek, int impulse = 1, bool impulseMinutes = false, int cycle = 2,
                         bool cycleMinutes = false, const std::string& description = "") {
        program::CommandRow c;
        c.block = block;
        c.relay = relay;
        c.operation = operation;
        c.time = program::TimeOfDay{hour, minute, 0};
        c.weekdays = weekdays;
        c.impulse = impulse;
        c.impulseInMinutes = impulseMinutes;
        c.cycle = cycle;
        c.cycleInMinutes = cycleMinutes;
        c.description = description;
        return program::insertCommand(db(), c);
    }
    std::int64_t count(const char* sql) {
        auto q = db().query(sql);
        q.next();
        return q.integer("n");
    }
};

}  // namespace kt64::test
