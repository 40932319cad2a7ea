// Carries out one kt64prog command on program files, command-list files
// and, for send and receive, the link server. The link server, the clock,
// the pauses between progress reads and the terminal come through
// ProgEnvironment so that the commands run the same against a fake.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "BellPlan.h"
#include "CentreLink.h"
#include "CivilTime.h"
#include "ProgCommand.h"

namespace kt64::prog {

struct ProgEnvironment {
    ProgEnvironment(std::ostream& o, std::ostream& e, std::istream& i) : out(o), err(e), in(i) {}
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
    bool interactive = false;
    std::filesystem::path templatePath;
    // The link server on a computer (empty: the configured one). A link
    // that could not connect reports Connected() false; nullptr when this
    // build has no link-server client.
    std::function<std::unique_ptr<program::CentreLink>(const std::optional<std::string>& computer)> connect;
    std::function<void(std::chrono::milliseconds)> sleep;
    std::function<program::CivilDate()> today;
    // Seconds since 1970 UTC: the time stamp of exported calendars.
    std::function<std::int64_t()> utcNow;
    // Writes the plan as a PDF file; returns what went wrong, empty when it
    // is written. nullptr when this build cannot draw.
    std::function<std::string(const program::WeekPlan& plan, const std::string& path, const std::string& programName)>
        writePlanPdf;
};

// Exit status: 0 done, 1 failed or refused (the reason is on err), 2 bad
// command line.
int runCommand(const ProgCommand& command, ProgEnvironment& env);

}  // namespace kt64::prog
