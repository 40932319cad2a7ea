// kt64ctl: the administrator's and scripts' command line for the link
// server. Connects like every client (this computer unless --computer),
// runs one command and exits with 0 (done), 1 (the server refused or
// reported an error, or there is no connection to it; its description, or
// the fixed text with the cause and what to do, is printed) or 2 (wrong
// command line). With several sites, status reads them all at once
// (FleetStatus.h). With --json standard output stays JSON whatever
// happens: a failure is an object {"computer", "error"} there too, beside
// the text on standard error.
#include <unistd.h>

#include <iostream>
#include <string_view>
#include <vector>

#include "ConnectionCause.h"
#include "CtlCommand.h"
#include "CtlText.h"
#include "CtlRunner.h"
#include "FleetStatus.h"
#include "Kt64Client.h"
#include "OptionScanner.h"
#include "RpcLog.h"

namespace {

constexpr int kExitFailed = 1;

// A script reading --json output parses whatever comes, a failure too.
void printJsonFailure(const kt64::ctl::Command& cmd, const std::string& error) {
    std::cout << "{\"computer\": " << kt64::ctl::jsonString(cmd.computer) << ", \"error\": " << error << "}\n";
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kt64;
    rpc::routeRpcLogToJournal("kt64ctl");
    std::vector<std::string_view> args(argv + 1, argv + argc);
    ctl::Command cmd;
    try {
        cmd = ctl::parseCommandLine(args);
    } catch (const ctl::UsageError& e) {
        return cli::refuseLine(std::cerr, "kt64ctl", e.what());
    }
    if (cmd.verb == ctl::Verb::Help) {
        std::cout << ctl::kUsage;
        return 0;
    }
    try {
        ctl::readInputs(cmd);
        client::ConnectOptions options;
        options.tls = cmd.tls;
        if (ctl::readsManySites(cmd)) {
            const auto now = [] { return std::chrono::system_clock::now(); };
            return ctl::showSites(
                cmd.computers, cmd.labels, cmd.json,
                [&](const std::string& site) { return ctl::readSite(site, options, now); }, std::cout);
        }
        auto server = client::ConnectServer(cmd.computer, options);
        ctl::RunSettings settings;
        settings.progressBar = ::isatty(STDERR_FILENO) != 0;
        settings.clearScreen = ::isatty(STDOUT_FILENO) != 0;
        return ctl::runCommand(cmd, *server, std::cout, std::cerr, settings);
    } catch (const client::ServerError& e) {
        // The server's description when it gave one; otherwise the fixed
        // text, then one line with the cause and what to do about it.
        if (cmd.json) printJsonFailure(cmd, ctl::jsonFailure(e));
        std::cerr << e.displayText() << "\n";
        if (!e.description()) {
            const std::string fix = ctl::connectionCause(e).fix;
            std::cerr << "kt64ctl: " << e.what() << (fix.empty() ? "" : ": " + fix) << "\n";
        }
        return kExitFailed;
    } catch (const ctl::CtlError& e) {
        if (cmd.json)
            printJsonFailure(cmd, "{\"hresult\": null, \"description\": null, \"text\": " + ctl::jsonString(e.what()) +
                                      ", \"cause\": null, \"causeText\": null, \"detail\": null, \"fix\": null}");
        std::cerr << "kt64ctl: " << e.what() << "\n";
        return kExitFailed;
    }
}
