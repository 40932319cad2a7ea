// The GUI thread's longest stall while the settings form's clock runs (a
// GetLocTime every 150 ms) against a link server on the emulated centre, in
// three phases: the server alive, killed (SIGKILL: connections refused), and
// stopped (SIGSTOP: calls wait for their deadline). A 10 ms timer records
// how late it fires; that lateness is how long the event loop was kept
// busy. For scale it also times one synchronous GetLocTime on the stopped
// server: what a call made on the GUI thread would have cost.
//
//   QT_QPA_PLATFORM=offscreen build/bin/sync_settings_stall [seconds per phase]
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "SyncSettingsView.h"
#include "ConsoleRig.h"

using namespace kt64;
using namespace kt64::console;

namespace {

class StallProbe {
public:
    StallProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(kPeriodMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            if (last_ >= 0) lateness_.push_back((now - last_) / 1e6 - kPeriodMs);
            last_ = now;
        });
    }
    void start() {
        lateness_.clear();
        last_ = -1;
        clock_.start();
        timer_.start();
    }
    void stop() { timer_.stop(); }
    double worst() const { return lateness_.empty() ? 0 : *std::max_element(lateness_.begin(), lateness_.end()); }
    double percentile(double p) const {
        if (lateness_.empty()) return 0;
        auto v = lateness_;
        std::sort(v.begin(), v.end());
        return v[static_cast<std::size_t>(p * (v.size() - 1))];
    }
    std::size_t samples() const { return lateness_.size(); }

private:
    static constexpr int kPeriodMs = 10;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = -1;
    std::vector<double> lateness_;
};

// The synchronisation service is not what is measured here.
class NoService final : public servicecontrol::SyncServiceControl {
public:
    bool start() override { return false; }
    bool stop() override { return false; }
    int state() override { return servicecontrol::kStateStopped; }
};

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void report(const char* phase, const StallProbe& probe, const QString& status) {
    std::printf("%-34s samples %5zu  longest stall %7.1f ms  p99 %6.1f ms  p50 %5.1f ms  status \"%s\"\n", phase,
                probe.samples(), probe.worst(), probe.percentile(0.99), probe.percentile(0.5),
                status.toUtf8().constData());
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int phaseMs = (argc > 1 ? std::max(1, std::atoi(argv[1])) : 10) * 1000;

    kt64::test::ConsoleRig rig;
    kt64::test::ConsoleRig::clearedSettingsKey().setString("CompName", rig.computer());
    kt64::test::ConsoleDocument document;
    ServerSession& session = document.session;
    auto service = std::make_shared<NoService>();
    kt64::test::RecordingMessages messages;
    SyncSettingsView form(document.doc, service, messages);
    QObject::connect(&form, &SyncSettingsView::connectionTried, [](bool) {});
    form.initialUpdate();
    form.setActive(true);
    auto* status = form.findChild<QLabel*>("serverStatusLabel");
    QElapsedTimer wait;
    wait.start();
    while (!(form.clockTicking() && session.connected()) && wait.elapsed() < 30000) runFor(50);
    if (!session.connected()) {
        std::fprintf(stderr, "the form did not connect\n");
        return 1;
    }

    StallProbe probe;
    probe.start();
    runFor(phaseMs);
    probe.stop();
    report("server alive, 150 ms clock", probe, status->text());

    probe.start();
    QElapsedTimer lost;
    lost.start();
    rig.killServer();
    qint64 noticedMs = -1;
    QObject::connect(&session, &ServerSession::connectedChanged, [&](bool on) {
        if (!on && noticedMs < 0) noticedMs = lost.elapsed();
    });
    runFor(phaseMs);
    probe.stop();
    report("server killed (SIGKILL)", probe, status->text());
    std::printf("%-34s %lld ms\n", "  loss shown after", static_cast<long long>(noticedMs));

    // Back on a new server, then freeze it.
    rig.startServer();
    form.refresh();
    wait.restart();
    while (!session.connected() && wait.elapsed() < 30000) runFor(50);
    while (!form.clockTicking() && wait.elapsed() < 30000) runFor(50);
    probe.start();
    lost.restart();
    noticedMs = -1;
    rig.server()->signal(SIGSTOP);
    runFor(phaseMs);
    probe.stop();
    report("server stopped (SIGSTOP)", probe, status->text());
    std::printf("%-34s %lld ms\n", "  loss shown after", static_cast<long long>(noticedMs));

    // The same reading made synchronously, as on the GUI thread: a fresh
    // client on the server woken again, then frozen once more.
    rig.server()->signal(SIGCONT);
    auto direct = client::ConnectServer(rig.computer());
    direct->GetLocTime();
    rig.server()->signal(SIGSTOP);
    QElapsedTimer call;
    call.start();
    try {
        direct->GetLocTime();
    } catch (const client::ServerError&) {
    }
    std::printf("%-34s %7lld ms\n", "one synchronous GetLocTime, stopped", static_cast<long long>(call.elapsed()));
    rig.server()->signal(SIGCONT);
    direct.reset();
    return 0;
}
