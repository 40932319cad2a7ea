// kt64sim: an emulated KT-64 centre on a pseudo-terminal. It serves until
// SIGTERM, SIGINT or SIGHUP, then removes its link and control socket. Options are
// described by usage() below.
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>

#include "CentreEmulator.h"
#include "ControlCommand.h"
#include "ControlSocket.h"
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
  --pacing           send at the line's rate (about 2.083 ms a byte) and answer
                     no earlier than the request would have arrived on a wire
  --fault SPEC       start with a fault (the words after "fault" below)
  --image FILE       start with this 2905-byte command list (default: zeros)
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

int usageError(const std::string& text) {
    std::cerr << "kt64sim: " << text << "\nTry 'kt64sim --help'.\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kt64::sim;
    EmulatorOptions options;
    std::string imagePath;
    const SystemTimeSource clock;

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

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage << controlHelp();
            return 0;
        }
        if (arg == "--pacing") {
            options.pacing = true;
            continue;
        }
        if (arg.substr(0, 2) != "--") return usageError("unexpected argument '" + std::string(arg) + "'");
        if (i + 1 >= argc) return usageError(std::string(arg) + " needs a value");
        const std::string_view value = argv[++i];
        const std::string_view name = arg.substr(2);
        if (name == "link") {
            options.linkPath = value;
        } else if (name == "control") {
            options.controlPath = value;
        } else if (name == "image") {
            imagePath = value;
        } else if (name == "fault") {
            std::string why;
            const auto f = parseFault(value, &why);
            if (!f) return usageError("--fault: " + why);
            options.fault = *f;
        } else {
            const std::string why = applySetting(options.settings, name, value, clock);
            if (!why.empty()) return usageError(why);
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
