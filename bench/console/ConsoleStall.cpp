// How long the console's GUI thread is kept from its events while the
// device panel polls, what the console costs in CPU, and how soon the panel
// shows live values again once a lost server can be reached:
//   build/bin/console_stall [SECONDS_PER_PHASE]
//
// The centre (kt64sim, paced at the line's rate) and the link server
// VqSrvKt64 run as child processes on a private registry and a free
// loopback port (LinkServerRig), so this process is the console and the
// rig's idle lease. A 10 ms timer on
// the GUI thread records how late it fires; the longest lateness is the
// longest time the thread was kept from its events. Phases: polling a
// healthy server; the server killed (connection refused, until the
// document starts it again on demand); the server stopped with SIGSTOP
// (silent, as behind a dead network) until the calls' deadlines pass.
//
// Back to live values: after the kill, from the moment the port listens
// again (the server the document started) to the panel's first poll with
// the centre's values; after SIGSTOP, from SIGCONT to that poll, with the
// server woken at several points of the document's reconnect cycle.
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "ConsoleView.h"
#include "Kt64Document.h"
#include "DevicePanel.h"
#include "LinkServerRig.h"
#include "MessageBoxes.h"

using namespace kt64::console;

namespace {

// Records the lateness of a 10 ms timer on the GUI thread.
class StallMeter {
public:
    StallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            const double late = (now - last_) / 1e6 - 10.0;
            last_ = now;
            worst_ = std::max(worst_, late);
            lateness_.push_back(late);
        });
    }
    void start() {
        worst_ = 0;
        lateness_.clear();
        clock_.start();
        last_ = 0;
        timer_.start();
    }
    void stop() { timer_.stop(); }
    double worst() const { return worst_; }
    double percentile(double p) const {
        if (lateness_.empty()) return 0;
        auto v = lateness_;
        std::sort(v.begin(), v.end());
        return v[static_cast<std::size_t>(p * (v.size() - 1))];
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    double worst_ = 0;
    std::vector<double> lateness_;
};

// Runs the event loop (sleeping between events) for ms.
void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int phaseMs = (argc > 1 ? std::atoi(argv[1]) : 10) * 1000;

    // The centre as kt64sim, so that this process is the console alone.
    kt64::test::LinkServerRig::Options options;
    options.centreInProcess = false;
    options.withServer = false;
    kt64::test::LinkServerRig rig(options);
    try {
        rig.startServer();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "no link server: %s\n", e.what());
        return 1;
    }

    setMessageBoxHandler([](QWidget*, const MessageBoxRequest&) { return QMessageBox::Ok; });
    ConsoleMessages messages;
    Kt64Document doc(messages);
    doc.computerName = rig.address();
    // The rig connects only once the server listens: a client finding
    // nothing there would start a second server of its own, which the kill
    // would miss.
    auto connect = [&] {
        for (int attempt = 0; attempt < 100 && !doc.connected(); ++attempt) {
            QEventLoop loop;
            doc.connectServer(&doc, [&](kt64::HRESULT, const kt64::client::ServerError*) { loop.quit(); });
            loop.exec();
            if (!doc.connected()) runFor(200);
        }
        return doc.connected();
    };
    if (!connect()) {
        std::fprintf(stderr, "no link server\n");
        return 1;
    }
    DevicePanel panel(doc);
    panel.setPeriods({std::chrono::milliseconds(10), std::chrono::milliseconds(250), std::chrono::milliseconds(2000)});
    panel.show();
    panel.initialUpdate();
    panel.setActive(true);
    int good = 0, bad = 0;
    QObject::connect(&panel, &DevicePanel::pollShown, [&](bool ok) { ok ? ++good : ++bad; });
    runFor(3000);  // first reading of the server, start-up delay

    StallMeter meter;
    std::printf("phase                      polls ok/failed  worst GUI stall  p99 lateness  CPU\n");
    auto phase = [&](const char* name) {
        good = bad = 0;
        const double cpu0 = cpuSeconds();
        meter.start();
        runFor(phaseMs);
        meter.stop();
        const double cpu = (cpuSeconds() - cpu0) / (phaseMs / 1000.0) * 100.0;
        std::printf("%-26s %6d/%-8d %10.1f ms %12.1f ms %5.1f %%\n", name, good, bad, meter.worst(),
                    meter.percentile(0.99), cpu);
        std::fflush(stdout);
    };

    panel.setActive(false);
    phase("idle (panel not active)");
    panel.setActive(true);
    runFor(500);
    phase("polling, server healthy");

    // From t0 (ms on clock) to the first good poll after it; -1: none in time.
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> goodPolls;
    QObject::connect(&panel, &DevicePanel::pollShown, [&](bool ok) {
        if (ok) goodPolls.push_back(clock.elapsed());
    });
    auto liveAfter = [&](qint64 t0) -> qint64 {
        for (int waited = 0; waited < 30000; waited += 5) {
            const auto first = std::lower_bound(goodPolls.begin(), goodPolls.end(), t0);
            if (first != goodPolls.end()) return *first - t0;
            runFor(5);
        }
        return -1;
    };

    const qint64 killed = clock.elapsed();
    rig.killServer();
    qint64 reachable = -1;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (reachable < 0 && kt64::test::listening(rig.rpcPort())) reachable = clock.elapsed();
    });
    probe.start(5);
    phase("server killed");
    probe.stop();
    const qint64 killLive = reachable < 0 ? -1 : liveAfter(reachable);
    std::printf("  after the kill: listening again %lld ms after it, live values %lld ms after that\n",
                static_cast<long long>(reachable < 0 ? -1 : reachable - killed), static_cast<long long>(killLive));

    rig.startServer();
    for (int waited = 0; waited < 30000 && !doc.connected(); waited += 50) runFor(50);
    runFor(3000);
    rig.stopSignal();
    phase("server stopped (SIGSTOP)");
    rig.continueSignal();
    std::printf("  after SIGCONT: live values %lld ms after it\n", static_cast<long long>(liveAfter(clock.elapsed())));
    // Woken at other points of the reconnect cycle (a connect attempt
    // waiting on the frozen server, or the pause between two).
    for (int frozenMs : {3000, 5500, 7000, 8500, 10000, 12000}) {
        runFor(3000);
        rig.stopSignal();
        runFor(frozenMs);
        const qint64 woken = clock.elapsed();
        rig.continueSignal();
        std::printf("  frozen %5d ms: live values %lld ms after SIGCONT\n", frozenMs,
                    static_cast<long long>(liveAfter(woken)));
        std::fflush(stdout);
    }
    rig.stopServer();
    std::printf("console: %s; poll period 250 ms; call deadline %lld ms\n",
                doc.connected() ? "connected" : "not connected",
                static_cast<long long>(doc.connectOptions().callTimeout.count()));
    panel.setActive(false);
    return 0;
}
