// Shared pieces of the program tests: a scratch folder, a recording stand-in
// for the user's message boxes, and short ways to build program rows.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "ProgramDocument.h"
#include "ProgramRecords.h"
#include "ProgramTables.h"
#include "RecordedMessages.h"
#include "TestEnvironment.h"

namespace kt64::test {
using namespace kt64::program;

// A fresh folder per test, also used as the temporary folder (TMPDIR) so
// that working copies can be counted.
class ScratchFolder {
    kt64::test::TempDir dir_;

public:
    std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder) const {
        std::vector<std::filesystem::path> out;
        for (const auto& e : std::filesystem::directory_iterator(folder)) out.push_back(e.path());
        return out;
    }
    const std::filesystem::path path = dir_.path();
    const std::filesystem::path workFolder = created(path / "tmp");

private:
    static std::filesystem::path created(const std::filesystem::path& folder) {
        std::filesystem::create_directory(folder);
        return folder;
    }
    kt64::test::ScopedEnv tmp_{"TMPDIR", workFolder.string()};
};

inline std::filesystem::path templatePath() { return KT64_TEST_TEMPLATE; }

inline DateRow dateRow(std::int64_t block, CivilDate from, CivilDate to, bool yearBound) {
    DateRow d;
    d.from = from;
    d.to = to;
    d.inItsYearOnly = yearBound;
    d.block = block;
    return d;
}

inline CommandRow commandRow(std::int64_t block, int relay, int operation, int hour, int minute,
                             int weekdays = kAllWeek, int impulse = 1, bool impulseMinutes = false, int cycle = 2,
                             bool cycleMinutes = false) {
    CommandRow c;
    c.block = block;
    c.relay = relay;
    c.operation = operation;
    c.time = TimeOfDay{hour, minute, 0};
    c.weekdays = weekdays;
    c.impulse = impulse;
    c.impulseInMinutes = impulseMinutes;
    c.cycle = cycle;
    c.cycleInMinutes = cycleMinutes;
    return c;
}

// A document holding a new program from the template, in a scratch folder.
struct OpenProgram {
    ScratchFolder folder;
    RecordedMessages messages;
    ProgramDocument document{messages, templatePath()};
    OpenProgram() { EXPECT_TRUE(document.newDocument()); }
    Database& db() { return *document.database(); }
    std::int64_t addBlock(int priority) { return insertBlock(db(), BlockRow{0, priority, "blok"}); }
};

}  // namespace kt64::test
