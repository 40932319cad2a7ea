// The console program Kt64 ("KT64mon").
#include <QApplication>
#include <cstdio>
#include <string_view>

#include "ConsoleApp.h"
#include "InstanceLock.h"
#include "UnsavedProgram.h"

namespace {

// Answered before Qt starts, so that it needs no display (the manual page is
// made from it at build time).
constexpr std::string_view kUsage =
    "Usage: Kt64 [--help] [QT OPTIONS]\n"
    "The operator's console KT64mon of the KT-64 master clock centre: the device\n"
    "panel (clocks, alarms, lines, daylight-saving rule, all settable), the relay\n"
    "program's tree and list with their edit dialogs, sending the program to the\n"
    "centre and receiving it, the switching chart, the synchronisation settings\n"
    "with the service's start and stop, and the synchronisation log.\n"
    "It reaches the link server of the computer named by CompName (this one when\n"
    "empty) and starts it when needed. One instance runs per user. Ended by the\n"
    "system (SIGTERM, SIGHUP, SIGINT) it keeps a program with unsaved changes in\n"
    "~/.local/share/KT64 and brings them back at its next start.\n"
    "Registry: $KT64_REGISTRY, else /var/lib/kt64/registry.db.\n";

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--help") {
            std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
            return 0;
        }
    }
    QApplication app(argc, argv);
    return kt64::console::runConsole(
        {kt64::console::InstanceLock::runtimeFolder(), kt64::console::defaultUnsavedFolder()});
}
