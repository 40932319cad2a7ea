// HoralService9x: the stand-alone synchronisation program for hosts without
// a running service manager. The console starts it from its own program
// folder with the command line "Orvu" and stops it with SIGTERM.
//
// Refusals (text on standard error, exit code -1, i.e. 255): a running
// systemd, or no "Orvu" in the command line. Otherwise: read the settings
// (message 106 and no worker when the registry key is unavailable; the
// program stays until it is stopped all the same), start the worker and log
// 102, wait for SIGTERM or SIGINT, then stop the worker (cutting a link
// call in progress short), log 103 and exit with 0. A worker that ends by itself leaves the program waiting.
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <string_view>
#include <memory>

#include "ClientSyncLink.h"
#include "PcSpeaker.h"
#include "ServiceManager.h"
#include "StartCheck.h"
#include "SyncLog.h"
#include "SyncSettings.h"
#include "SyncWorker.h"
#include "SystemSyncClock.h"
#include "SignalWait.h"
#include "TimeFeed.h"
#include "WorkerThread.h"

namespace {

using namespace kt64::sync;

void waitForStop(kt64::SignalWait& signals) {
    for (;;) {
        const int signo = signals.wait();
        if (signo == SIGTERM || signo == SIGINT || signo == kt64::SignalWait::kFailed) return;
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Help comes before the start-up rules, which would only refuse.
    if (argc == 2) {
        const std::string_view word = argv[1];
        if (word == "--help" || word == "-h" || word == "/?" || word == "-?") {
            std::fputs(
                "Usage: HoralService9x Orvu\n"
                "The stand-alone PC clock synchronisation program for computers without a\n"
                "service manager. The console starts it with the start-up marker Orvu; started\n"
                "otherwise it refuses to run (exit status 255).\n",
                stdout);
            return 0;
        }
    }
    if (const auto text = refusal(serviceManagerRunning(), commandLineOf(argc, argv))) {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text->size()), text->data());
        return -1;
    }

    kt64::SignalWait signals{SIGTERM, SIGINT, SIGHUP};
    PcSpeaker warningSpeaker;
    TimerChannelSpeaker syncSpeaker;
    SyncLog log(syncLogPath(), ProgramVariant::Standalone, warningSpeaker);
    SystemSyncClock clock;
    ClientSyncLink link(kStandaloneProgram);

    std::unique_ptr<SockTimeFeed> feed;
    std::unique_ptr<WorkerThread> thread;
    if (const auto settings = loadSyncSettings()) {
        if (!settings->syncSock.empty()) feed = std::make_unique<SockTimeFeed>(settings->syncSock);
        thread = std::make_unique<WorkerThread>(std::make_unique<SyncWorker>(
            *settings,
            SyncWorkerParts{clock, link, log, syncSpeaker, [](kt64::DATE r) { recordLastSync(r); }, feed.get()}));
        log.message(MessageId::Started);
    } else {
        log.message(MessageId::SettingsUnavailable);
    }

    waitForStop(signals);
    // The console waits 3 s for the program to end; a link call in progress
    // would hold the worker up to 8 s, so it is cut short after the request.
    if (thread) {
        thread->requestStop();
        link.cancel();
        thread->stop();
    }
    log.message(MessageId::Stopped);
    return 0;
}
