// What kt64ctl does with a parsed command on a connected server: the status
// report (text or JSON), the setters, the wait, the port, and the two
// command-list transfers with their progress bar.
#pragma once

#include <chrono>
#include <functional>
#include <ostream>
#include <stdexcept>

#include "CtlCommand.h"
#include "Kt64Client.h"

namespace kt64::ctl {

// A failure on this side (file unreadable, wrong image size, stalled
// transfer, unusable answer): printed, exit code 1.
class CtlError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct RunSettings {
    bool progressBar = false;  // draw the transfer progress on err (a terminal)
    bool clearScreen = false;  // watch: redraw in place (out is a terminal)
    std::chrono::milliseconds pollInterval{250};
    // A transfer whose position stays put this long has stalled.
    std::chrono::milliseconds stallTimeout{15000};
    std::function<std::chrono::system_clock::time_point()> clock = [] { return std::chrono::system_clock::now(); };
};

inline constexpr std::size_t kImageSize = 2905;

// Reads what cmd takes from files: the image of an upload, into cmd.image;
// the sites of --computers, appended to cmd.computers.
// Called before the server is contacted, so that a wrong file is reported
// as what it is (and never makes a server start). Throws CtlError naming
// the file.
void readInputs(Command& cmd);

// Runs cmd (not Help), its inputs read, and returns the exit code: 0, or 1 when the status
// report found the centre's status invalid. Throws client::ServerError from
// the server's refusals and connection failures, CtlError from this side.
int runCommand(const Command& cmd, client::ServerProxy& server, std::ostream& out, std::ostream& err,
               const RunSettings& settings = {});

}  // namespace kt64::ctl
