// kt64ctl's view of many sites at once (several --computer, or a file of
// computers): one line per link server saying whether its centre answers,
// how far the centre's GMT is from this PC's clock, which alarm lamps are
// lit, the two lines' states and what went wrong last.
//
// The sites are read in parallel, each with the client library's own
// deadlines (connection, then one call at a time), and a site whose
// connection fails is not asked again: a dead or frozen site costs its
// time-out once, and the whole view takes about the slowest site's time,
// not the sum of them.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "Kt64Client.h"

namespace kt64::ctl {

struct SiteReport {
    std::string computer;  // as the user named it
    std::string label;     // the comment on its line of the list, or ""
    // No lease: the connection's failure (its cause and what to do about
    // it are read from it: ConnectionCause.h).
    std::optional<client::ServerError> connectionError;
    // The centre is not read (port, silence, pause): the server's error.
    std::optional<client::ServerError> statusError;
    // Centre's GMT less this PC's UTC when the answer came, in seconds.
    std::optional<double> differenceSeconds;
    std::optional<std::uint32_t> alarmFlag;  // FAlarm bits
    std::optional<std::uint32_t> setFlag;    // FSet bits (the two lines)

    bool reached() const { return !connectionError; }
    bool centreAnswers() const { return reached() && !statusError && differenceSeconds.has_value(); }
};

// Reads one site; never throws (every failure is in the report).
using SiteReader = std::function<SiteReport(const std::string& computer)>;

// The real reader: connects with options, reads GMT, alarms and lines;
// now is this PC's clock (a seam for tests).
SiteReport readSite(const std::string& computer, const client::ConnectOptions& options,
                    const std::function<std::chrono::system_clock::time_point()>& now);

// Reads every computer with read, at most parallel at a time, and returns
// the reports in the order of computers.
std::vector<SiteReport> readSites(const std::vector<std::string>& computers, const SiteReader& read,
                                  unsigned parallel = 32);

// A table with one line per site, and the same as a JSON array.
void printFleetText(const std::vector<SiteReport>& sites, std::ostream& out);
void printFleetJson(const std::vector<SiteReport>& sites, std::ostream& out);

// 0 when every site's centre answers, else 1 (as status's exit code for
// one site; lit lamps are shown, not counted).
int fleetExitCode(const std::vector<SiteReport>& sites);

// Reads the sites with read and prints them (JSON when json), each with
// its label (labels[i] for computers[i]; missing ones are empty); returns
// fleetExitCode.
int showSites(const std::vector<std::string>& computers, const std::vector<std::string>& labels, bool json,
              const SiteReader& read, std::ostream& out);

struct ListedComputer {
    std::string computer;
    std::string label;  // the comment after it, "" when none
};

// The computers of a list file: one per line; "#" starts a comment, which
// after a name labels it ("10.64.4.11:17645  # szkoła nr 1"); blank and
// comment-only lines are skipped, spaces around a name and a label too.
// Throws FileError.
std::vector<ListedComputer> readComputerList(const std::string& file);

}  // namespace kt64::ctl
