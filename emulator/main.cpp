// kt64sim: an emulated KT-64 centre on a pseudo-terminal. It serves until
// SIGTERM, SIGINT or SIGHUP, then removes its link and control socket. Options are
// described by usage() below.
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "CentreEmulator.h"
#include "ControlCommand.h"
#include "ControlSocket.h"
#include "OptionScanner.h"
#include "SignalWait.h"

namespace {

constexpr std::string_view kUsage = R"(Usage: kt64sim [OPTION]...
       kt64sim --tell PATH COMMAND...
Plays a KT-64 master clock centre on a pseudo-terminal: answers the status
request and every setting and command-list request that arrives on the line,
until terminated (SIGTERM, SIGINT, SIGHUP).

  --link PATH        make PATH a symlink to the pty device (removed at exit);
                     give it to the link server as the COM<n> device
  --control PATH     Unix stream socket taking control commands (below)
  --tell PATH CMD... send one control command to a running kt64sim's socket,
                     print its reply; exit 0 on "ok", 1 otherwise, e.g.
                     kt64sim --tell /run/kt64/control fault late 300
  --pacing           the line's rate both ways (about 2.083 ms a byte): take a
                     request when it would have arrived on a wire, then answer
  --fault SPEC       start with a fault (the words after "fault" below)
  --image FILE       start with this 2905-byte command list (default: zeros)
  --group NAME       give the pty device to group NAME, mode 0660: the
                     packaged link server (user _kt64srv) opens it with
                     --group dialout (by default: the caller, group tty, 0620)
  --mode OCTAL       the pty device's mode, e.g. 0666
  --NAME VALUE       start with a setting (names below), e.g. --gmt
                     '2024-03-31 00:59:50' --offset +01:00 --alarm 0xC1
  --help             this text

On start it prints one line: "kt64sim: serving on DEVICE".
Garbage on the line (unknown codes, wrong lengths, bad checksums, record
indexes above 414) is ignored without an answer, as a centre on a noisy line
would; it looks for the next ESC and carries on. A request begun and not
finished is given up after 200 ms of quiet.
Setting requests whose values are out of range are not applied; the status
frame is still sent and shows the unchanged values.

)";

// --NAME VALUE for every setting, beside the emulator's own options.
std::vector<kt64::cli::OptionSpec> optionTable(std::vector<std::string>& settingOptions) {
    std::vector<kt64::cli::OptionSpec> table = {{"--help", false},
                                                {"-h", false},
                                                {"--pacing", false},
                                                {"--link", true, "a path"},
                                                {"--control", true, "a path"},
                                                {"--fault", true, "a fault"},
                                                {"--image", true, "a file"},
                                                {"--group", true, "a group"},
                                                {"--mode", true, "an octal mode"}};
    for (const std::string_view name : kt64::sim::kSettingNames) settingOptions.push_back("--" + std::string(name));
    for (const std::string& option : settingOptions) table.push_back({option, true, "a value"});
    return table;
}

std::optional<gid_t> groupNamed(const std::string& name) {
    group entry{};
    group* found = nullptr;
    char buffer[4096];
    if (::getgrnam_r(name.c_str(), &entry, buffer, sizeof buffer, &found) == 0 && found) return found->gr_gid;
    return std::nullopt;
}

std::optional<mode_t> octalMode(const std::string& text) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 8);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value > 0777) return std::nullopt;
    return static_cast<mode_t>(value);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kt64::sim;
    EmulatorOptions options;
    std::string imagePath;
    const SystemTimeSource clock;

    if (argc == 2 && std::string_view(argv[1]) == "--tell")
        return kt64::cli::refuseLine(std::cerr, "kt64sim", "--tell needs a path and a command");
    if (argc >= 3 && std::string_view(argv[1]) == "--tell") {
        std::string line;
        for (int i = 3; i < argc; ++i) line += (i > 3 ? " " : "") + std::string(argv[i]);
        try {
            const std::string reply = sendControlCommand(argv[2], line);
            std::cout << reply << "\n";
            return reply.rfind("ok", 0) == 0 ? 0 : 1;
        } catch (const EmulatorError& e) {
            std::cerr << "kt64sim: " << e.what() << "\n";
            return 1;
        }
    }

    std::vector<std::string> settingOptions;  // the table's names point into it
    const auto table = optionTable(settingOptions);
    kt64::cli::ScannedLine line;
    try {
        line = kt64::cli::scanOptions(std::vector<std::string>(argv + 1, argv + argc), table);
    } catch (const kt64::cli::OptionError& e) {
        return kt64::cli::refuseLine(std::cerr, "kt64sim", e.what());
    }
    if (line.has("--help") || line.has("-h")) {
        std::cout << kUsage << controlHelp();
        return 0;
    }
    if (!line.positional.empty())
        return kt64::cli::refuseLine(std::cerr, "kt64sim", "unexpected argument '" + line.positional[0] + "'");
    for (const auto& [option, value] : line.options) {
        const std::string_view name = std::string_view(option).substr(2);
        if (option == "--pacing") {
            options.pacing = true;
        } else if (option == "--link") {
            options.linkPath = value;
        } else if (option == "--control") {
            options.controlPath = value;
        } else if (option == "--image") {
            imagePath = value;
        } else if (option == "--group") {
            options.ptyGroup = groupNamed(value);
            if (!options.ptyGroup)
                return kt64::cli::refuseLine(std::cerr, "kt64sim", "--group: no group '" + value + "'");
        } else if (option == "--mode") {
            options.ptyMode = octalMode(value);
            if (!options.ptyMode)
                return kt64::cli::refuseLine(std::cerr, "kt64sim", "--mode: '" + value + "' is no mode 0..0777");
        } else if (option == "--fault") {
            std::string why;
            const auto f = parseFault(value, &why);
            if (!f) return kt64::cli::refuseLine(std::cerr, "kt64sim", "--fault: " + why);
            options.fault = *f;
        } else {
            const std::string why = applySetting(options.settings, name, value, clock);
            if (!why.empty()) return kt64::cli::refuseLine(std::cerr, "kt64sim", why);
        }
    }

    // SIGTERM, SIGINT and SIGHUP are taken synchronously by this thread
    // only; the serving thread inherits the blocked mask.
    kt64::SignalWait stopSignals{SIGTERM, SIGINT, SIGHUP};

    try {
        CentreEmulator centre(options);
        if (!imagePath.empty()) {
            const std::string reply = centre.control("image load " + imagePath);
            if (reply != "ok") {
                std::cerr << "kt64sim: --image: " << reply.substr(reply.find(' ') + 1) << "\n";
                return 1;
            }
        }
        centre.start();
        std::cout << "kt64sim: serving on " << centre.devicePath() << std::endl;
        stopSignals.wait();
        centre.stop();
    } catch (const EmulatorError& e) {
        std::cerr << "kt64sim: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
