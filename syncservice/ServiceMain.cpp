// HoralService: the synchronisation service, run by systemd as the unit
// HoralService.service (Type=notify, a process of its own, no options).
//
// Start: read the settings (message 106 and a failed start when the registry
// key is unavailable), start the worker, log 102, report readiness. Stop
// (SIGTERM, which systemd also sends at shutdown; SIGINT likewise): the
// worker leaves its wait or cycle, then 103 is logged and the process exits
// with 0. SIGHUP only re-reports the status. A worker that ends by itself
// (no timer, or after message 112) ends the service with a failure status.
// Every line of VqSync.log also goes to the journal, and with it the
// system's reason when the clock cannot be set.
// Started other than by systemd (no NOTIFY_SOCKET, no INVOCATION_ID) the
// program says how it is run and returns at once with 0. --help prints the
// usage; any other argument is refused with it (exit 2).
#include <signal.h>
#include <systemd/sd-daemon.h>
#include <systemd/sd-journal.h>

#include <cerrno>
#include <cstdio>
#include <string_view>
#include <cstdlib>
#include <memory>

#include "ClientSyncLink.h"
#include "PcSpeaker.h"
#include "SyncLog.h"
#include "SyncMetrics.h"
#include "SyncSettings.h"
#include "SyncWorker.h"
#include "SystemSyncClock.h"
#include "SignalWait.h"
#include "TimeFeed.h"
#include "WorkerThread.h"

namespace {

using namespace kt64::sync;

bool startedByServiceManager() {
    const char* notify = std::getenv("NOTIFY_SOCKET");
    const char* invocation = std::getenv("INVOCATION_ID");
    return (notify && *notify) || (invocation && *invocation);
}

int serve() {
    // Stop (SIGTERM, SIGINT) and reload (SIGHUP) requests, read in the loop below.
    kt64::SignalWait signals{SIGTERM, SIGINT, SIGHUP};
    PcSpeaker speaker;
    SyncLog log(syncLogPath(), ProgramVariant::Service, speaker);
    // Every line of the log, and the reasons behind its failures, in the
    // journal too (journalctl -u HoralService).
    log.setJournal([](int priority, std::string_view text) {
        sd_journal_send("MESSAGE=%.*s", static_cast<int>(text.size()), text.data(), "PRIORITY=%i", priority,
                        "SYSLOG_IDENTIFIER=HoralService", nullptr);
    });

    const auto settings = loadSyncSettings();
    if (!settings) {
        log.message(MessageId::SettingsUnavailable);
        sd_notify(0, "STATUS=Nie mogę otworzyć wartości rejestru.");
        return EXIT_FAILURE;
    }

    SystemSyncClock clock;
    ClientSyncLink link("HoralService");
    // With a daemon's socket configured, the daemon disciplines the clock
    // from the samples and the service sets nothing.
    std::unique_ptr<SockTimeFeed> feed;
    if (!settings->syncSock.empty()) feed = std::make_unique<SockTimeFeed>(settings->syncSock);
    // The metrics for the site's monitoring, unless MetricsFolder is empty.
    std::unique_ptr<SyncMetricsFile> metrics;
    if (!settings->metricsFolder.empty()) {
        metrics = std::make_unique<SyncMetricsFile>(settings->metricsFolder,
                                                    [&log](const std::string& text) { log.note(text); });
        metrics->write();
    }
    auto worker = std::make_unique<SyncWorker>(
        *settings,
        SyncWorkerParts{clock, link, log, speaker, [](kt64::DATE reading) { recordLastSync(reading); }, feed.get(),
                        [&metrics](const CycleReport& cycle) {
                            if (metrics) metrics->record(cycle, cycle.at.value_or(std::chrono::system_clock::now()));
                        }});
    WorkerThread thread(std::move(worker));
    log.message(MessageId::Started);
    sd_notify(0, "READY=1\nSTATUS=Uruchomiono usługę synchronizacji czasu.");

    for (;;) {
        const int signo = signals.wait(thread.endedFd());
        if (signo == kt64::SignalWait::kOther) {
            thread.join();
            sd_notify(0, "STATUS=Funkcja Windows zawiodła.");
            return EXIT_FAILURE;
        }
        if (signo == SIGHUP) {
            sd_notify(0, "STATUS=Uruchomiono usługę synchronizacji czasu.");
            continue;
        }
        if (signo == SIGTERM || signo == SIGINT || signo == kt64::SignalWait::kFailed) break;
    }
    sd_notify(0, "STOPPING=1");
    thread.stop();
    log.message(MessageId::Stopped);
    return EXIT_SUCCESS;
}

}  // namespace

constexpr const char* kUsage =
    "Usage: HoralService [--help]\n"
    "The PC clock synchronisation service: sets this computer's clock from the\n"
    "KT-64 centre at the instants configured in the console. It runs only under\n"
    "systemd: systemctl start HoralService (its log: VqSync.log).\n"
    "Exit status: 0 done, 1 failed, 2 wrong command line.\n";

int main(int argc, char** argv) {
    if (argc > 1) {
        const std::string_view word = argv[1];
        if (word == "--help" || word == "-h" || word == "/?" || word == "-?") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        std::fprintf(stderr, "HoralService: unknown argument '%s'\n%s", argv[1], kUsage);
        return 2;
    }
    if (!startedByServiceManager()) {
        std::fputs("HoralService: runs only under systemd: systemctl start HoralService\n", stderr);
        return 0;
    }
    return serve();
}
