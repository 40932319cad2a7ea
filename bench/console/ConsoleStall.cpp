// How long the console's GUI thread is kept from its events while the
// device panel polls, and what the console costs in CPU:
//   build/bin/console_stall [SECONDS_PER_PHASE]
//
// The centre (kt64sim, paced at the line's rate) and the link server
// VqSrvKt64 run as child processes on a private registry and a free
// loopback port, so this process is the console alone. A 10 ms timer on
// the GUI thread records how late it fires; the longest lateness is the
// longest time the thread was kept from its events. Phases: polling a
// healthy server; the server killed (connection refused); the server
// stopped with SIGSTOP (silent, as behind a dead network) until the
// calls' deadlines pass.
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "ChildProcess.h"
#include "ConsoleView.h"
#include "Kt64Doc.h"
#include "Kt64View.h"
#include "MessageBoxes.h"
#include "Registry.h"
#include "TestEnvironment.h"

using namespace kt64::console;
using kt64::sync::test::ChildProcess;

namespace {

std::uint16_t freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
    ::close(fd);
    return ntohs(addr.sin_port);
}

class NullFrame : public ConsoleFrame {
public:
    int RelayOutputs() const override { return outputs; }
    void SetRelayOutputs(int o) override { outputs = o; }
    void SetTrayIcon(TrayOperation, int) override {}
    void ShowCounts(int, int) override {}
    void SwitchView(ViewKind) override {}
    ViewKind ActiveView() const override { return ViewKind::Device; }
    void MinimizeToTray() override {}
    void SetMessageText(const QString&) override {}
    int outputs = 0;
};

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

bool listening(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
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

    kt64::test::TempDir dir;
    kt64::test::ScopedEnv registry("KT64_REGISTRY", (dir.path() / "registry.db").string());
    kt64::test::ScopedEnv units("KT64_UNIT_DIR", (dir.path() / "units").string());
    kt64::test::ScopedEnv logs("KT64_LOGDIR", (dir.path() / "log").string());
    const std::string link = (dir.path() / "centre").string();
    ChildProcess centre("kt64sim", {"--link", link, "--pacing"}, {});
    if (!kt64::test::eventually([&] { return std::filesystem::exists(link); })) {
        std::fprintf(stderr, "kt64sim did not start\n");
        return 1;
    }
    const auto port = freePort();
    auto key = kt64::reg::Key::create(kt64::reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv");
    key.setDword("Port", 1);
    key.setDword("RpcPort", port);
    kt64::reg::Key::create(kt64::reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv\\Devices").setString("COM1", link);
    ChildProcess("VqSrvKt64", {"-RegServer"}, {}).wait(std::chrono::seconds(20));
    auto server = std::make_unique<ChildProcess>("VqSrvKt64", std::vector<std::string>{}, std::vector<std::string>{});

    setMessageBoxHandler([](QWidget*, const MessageBoxRequest&) { return QMessageBox::Ok; });
    ConsoleMessages messages;
    CKt64Doc doc(messages);
    doc.ComputerName = "127.0.0.1:" + std::to_string(port);
    // Connect only once the server listens: a client finding nothing there
    // would start a second server of its own, which the kill would miss.
    auto connect = [&] {
        if (!kt64::test::eventually([&] { return listening(port); }, std::chrono::seconds(20))) return false;
        for (int attempt = 0; attempt < 100 && !doc.Connected(); ++attempt) {
            QEventLoop loop;
            doc.ConnectServer(&doc, [&](kt64::HRESULT, const kt64::client::ServerError*) { loop.quit(); });
            loop.exec();
            if (!doc.Connected()) runFor(200);
        }
        return doc.Connected();
    };
    if (!connect()) {
        std::fprintf(stderr, "no link server\n");
        return 1;
    }
    NullFrame frame;
    CKt64View panel(doc, frame);
    panel.setPeriods({std::chrono::milliseconds(10), std::chrono::milliseconds(250), std::chrono::milliseconds(2000)});
    panel.show();
    panel.OnInitialUpdate();
    panel.OnActivateView(true);
    int good = 0, bad = 0;
    QObject::connect(&panel, &CKt64View::pollShown, [&](bool ok) { ok ? ++good : ++bad; });
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

    panel.OnActivateView(false);
    phase("idle (panel not active)");
    panel.OnActivateView(true);
    runFor(500);
    phase("polling, server healthy");
    server->signal(SIGKILL);
    server->wait(std::chrono::seconds(10));
    server.reset();
    phase("server killed");

    server = std::make_unique<ChildProcess>("VqSrvKt64", std::vector<std::string>{}, std::vector<std::string>{});
    if (!connect()) {
        std::fprintf(stderr, "the link server did not come back\n");
        return 1;
    }
    runFor(3000);
    server->signal(SIGSTOP);
    phase("server stopped (SIGSTOP)");
    server->signal(SIGCONT);
    server->signal(SIGTERM);
    server->wait(std::chrono::seconds(10));
    std::printf("console: %s; poll period 250 ms; call deadline %lld ms\n", doc.Connected() ? "connected" : "not connected",
                static_cast<long long>(doc.connectOptions().callTimeout.count()));
    panel.OnActivateView(false);
    return 0;
}
