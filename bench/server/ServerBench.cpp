// Figures of the link server (printed, never asserted):
//   wire      status exchanges per second against the paced emulated centre
//             (4800 baud) beside the wire limit 1 / (10 ms + 54 x 10 / 4800 s)
//   transfer  full upload and download of the 2905-byte list, paced, beside
//             the wire time of 415 x 19 characters (16.4 s)
//   rpc       getter round trip p50/p99 and calls per second through gRPC
//             with 1 and 16 concurrent clients, unpaced centre
//   cpu       CPU use of the VqSrvKt64 process while it polls (paced and
//             unpaced centre)
//   scrape    status exchanges per second and the getter's p99 through
//             gRPC (one client every 10 ms), paced centre, for 60 s without
//             and 60 s with 50 metrics scrapes a second
// Usage: server_bench [wire|transfer|rpc|cpu|scrape]...   (no argument: all)
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CentreEmulator.h"
#include "DeviceReadEvent.h"
#include "Kt64Client.h"
#include "Kt64Srv.h"
#include "LinkWorker.h"
#include "MetricsEndpoint.h"
#include "PortOpener.h"
#include "Registry.h"
#include "RpcServer.h"
#include "ServerConfig.h"
#include "SharedDevice.h"
#include "ShutdownMonitor.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace server = kt64::server;

constexpr double kCharSeconds = 10.0 / 4800.0;
constexpr double kWireExchangesPerSecond = 1.0 / (0.010 + 54 * kCharSeconds);
constexpr double kWireTransferSeconds = 415 * 19 * kCharSeconds;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A temporary registry naming the emulated centre as COM1.
struct Setup {
    explicit Setup(bool paced) {
        char pattern[] = "/tmp/kt64bench-XXXXXX";
        dir = ::mkdtemp(pattern);
        ::setenv("KT64_REGISTRY", (dir + "/registry.db").c_str(), 1);
        kt64::sim::EmulatorOptions options;
        options.pacing = paced;
        options.linkPath = dir + "/ttyKT";
        emulator = std::make_unique<kt64::sim::CentreEmulator>(options);
        emulator->start();
        kt64::reg::Key::create(kt64::reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv\\Devices")
            .setString("COM1", emulator->devicePath());
    }
    ~Setup() {
        emulator->stop();
        std::filesystem::remove_all(dir);
    }
    std::string dir;
    std::unique_ptr<kt64::sim::CentreEmulator> emulator;
};

// The server's logic in this process.
struct InProcess {
    InProcess() { worker.start(); }
    ~InProcess() {
        event.close();
        worker.stop();
    }
    bool waitValid() {
        const auto until = Clock::now() + 10s;
        while (Clock::now() < until) {
            if (srv.GetGmtTime().ok()) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    server::SharedDevice device;
    server::DeviceReadEvent event;
    server::ServerConfig config;
    server::SerialPortOpener opener;
    server::LinkWorker worker{device, event, opener, [this] { return config.portForOpen(); }};
    server::Kt64Srv srv{device, event, config};
};

void wire() {
    Setup setup(true);
    InProcess s;
    if (!s.waitValid()) {
        std::puts("wire: no status from the centre");
        return;
    }
    const auto n0 = s.worker.exchanges();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(15s);
    const double rate = static_cast<double>(s.worker.exchanges() - n0) / seconds(Clock::now() - t0);
    std::printf("wire: %.3f status exchanges/s, wire limit %.3f/s, ratio %.3f (target >= 0.97)\n", rate,
                kWireExchangesPerSecond, rate / kWireExchangesPerSecond);
}

template <class Done>
double timeUntil(Done done) {
    const auto t0 = Clock::now();
    while (!done()) std::this_thread::sleep_for(5ms);
    return seconds(Clock::now() - t0);
}

void transfer() {
    Setup setup(true);
    InProcess s;
    if (!s.waitValid()) {
        std::puts("transfer: no status from the centre");
        return;
    }
    std::vector<std::uint8_t> image(2905);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
    s.srv.PutRozkazy(server::kVtArrayOfBytes, image);
    const double up = timeUntil([&] { return s.srv.GetRozkazPos().value == 0; });
    const bool upOk = s.srv.GetRozkazPos().ok() && setup.emulator->image() == image;
    s.srv.StartGetRozkazy();
    const double down = timeUntil([&] {
        auto r = s.srv.GetRozkazRxPos();
        return !r.ok() || r.value == 2905;
    });
    const bool downOk = s.srv.GetRozkazy().value == image;
    std::printf(
        "transfer: upload %.2f s (%s), download %.2f s (%s), wire %.2f s, ratios %.3f / %.3f (target <= 1.05)\n", up,
        upOk ? "ok" : "FAILED", down, downOk ? "ok" : "FAILED", kWireTransferSeconds, up / kWireTransferSeconds,
        down / kWireTransferSeconds);
}

// Latencies (ms) of GetGmtTime from `clients` client objects for 5 s; each
// client calls back to back (period 0) or once per period.
struct Round {
    std::vector<double> latencies;
    double seconds = 0;
};

Round measure(const std::string& target, int clients, std::chrono::milliseconds period) {
    std::vector<std::unique_ptr<kt64::client::Kt64Srv>> objects;
    for (int i = 0; i < clients; ++i) objects.push_back(kt64::client::ConnectServer(target));
    std::vector<std::vector<double>> latencies(static_cast<std::size_t>(clients));
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    const auto t0 = Clock::now();
    for (int i = 0; i < clients; ++i)
        threads.emplace_back([&, i] {
            auto& c = *objects[static_cast<std::size_t>(i)];
            auto& lat = latencies[static_cast<std::size_t>(i)];
            auto next = Clock::now() + period * i / clients;  // spread the clients over the period
            while (!stop) {
                if (period.count() > 0) {
                    std::this_thread::sleep_until(next);
                    next += period;
                }
                const auto a = Clock::now();
                c.GetGmtTime();
                lat.push_back(seconds(Clock::now() - a) * 1000.0);
            }
        });
    std::this_thread::sleep_for(5s);
    stop = true;
    for (auto& t : threads) t.join();
    Round round;
    round.seconds = seconds(Clock::now() - t0);
    for (auto& l : latencies) round.latencies.insert(round.latencies.end(), l.begin(), l.end());
    std::sort(round.latencies.begin(), round.latencies.end());
    return round;
}

void print(const char* what, int clients, const Round& r) {
    auto pct = [&](double p) {
        return r.latencies[static_cast<std::size_t>(p * static_cast<double>(r.latencies.size() - 1))];
    };
    std::printf("rpc: %-28s %2d client(s): GetGmtTime p50 %.3f ms, p99 %.3f ms, %.0f calls/s\n", what, clients,
                pct(0.50), pct(0.99), static_cast<double>(r.latencies.size()) / r.seconds);
}

void rpcRoundTrips() {
    Setup setup(false);
    InProcess s;
    if (!s.waitValid()) {
        std::puts("rpc: no status from the centre");
        return;
    }
    server::ShutdownMonitor leases(server::kIdleShutdown, [] {});
    server::RpcServer rpc(s.srv, leases, "127.0.0.1", 0);
    rpc.start();
    const std::string target = "localhost:" + std::to_string(rpc.port());
    // Back to back: the most calls the server answers (clients in this
    // process share the CPU with it).
    for (int clients : {1, 16}) print("back to back,", clients, measure(target, clients, 0ms));
    // Each client every 10 ms (1600 calls/s offered by 16): the round trip
    // without queueing behind the other clients' calls.
    for (int clients : {1, 16}) print("each every 10 ms,", clients, measure(target, clients, 10ms));
    std::puts("rpc: target p99 < 2 ms at 16 clients");
    rpc.shutdown();
}

// utime + stime of a process in seconds.
double cpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string f;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i) {
        if (i == 14) utime = std::stoull(f);
        if (i == 15) stime = std::stoull(f);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

void cpu(bool paced) {
    Setup setup(paced);
    auto key = kt64::reg::Key::create(kt64::reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv");
    key.setDword("RpcPort", 6499);
    key.setString("ListenAddress", "127.0.0.1");
    const std::string exe = KT64_SERVER_EXE;
    auto run = [&](std::vector<std::string> args) {
        std::vector<char*> argv{const_cast<char*>(exe.c_str())};
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), environ);
        return pid;
    };
    int status = 0;
    waitpid(run({"-RegServer"}), &status, 0);
    const pid_t pid = run({});
    std::this_thread::sleep_for(1s);
    auto c = kt64::client::ConnectServer("localhost:6499");  // a lease keeps it running
    std::this_thread::sleep_for(2s);
    const double cpu0 = cpuSeconds(pid);
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(10s);
    const double used = (cpuSeconds(pid) - cpu0) / seconds(Clock::now() - t0);
    std::printf("cpu: VqSrvKt64 polling a %s centre: %.2f %% of one core (target < 3 %%)\n",
                paced ? "paced (4800 baud)" : "unpaced", used * 100.0);
    c.reset();
    ::kill(pid, SIGTERM);
    waitpid(pid, &status, 0);
}

void scrapeLoad() {
    Setup setup(true);
    InProcess s;
    if (!s.waitValid()) {
        std::puts("scrape: no status from the centre");
        return;
    }
    server::ShutdownMonitor leases(server::kIdleShutdown, [] {});
    server::RpcServer rpc(s.srv, leases, "127.0.0.1", 0);
    rpc.start();
    server::MetricsEndpoint endpoint(
        [&] { return server::takeMetricsSnapshot(s.device, s.worker.counters(), leases.leases(), Clock::now()); }, {},
        {});
    if (!endpoint.start({"127.0.0.1", 0})) {
        std::puts("scrape: the metrics endpoint does not listen");
        return;
    }
    auto client = kt64::client::ConnectServer("localhost:" + std::to_string(rpc.port()));
    struct Phase {
        double rate = 0, p99 = 0, scrapes = 0;
    };
    auto phase = [&](bool scraping) {
        std::atomic<bool> stop{false};
        std::atomic<int> scrapes{0};
        std::thread scraper;
        if (scraping)
            scraper = std::thread([&] {
                httplib::Client http("127.0.0.1", endpoint.port());
                auto next = Clock::now();
                while (!stop) {
                    std::this_thread::sleep_until(next += 20ms);
                    if (auto reply = http.Get("/metrics"); reply && reply->status == 200) ++scrapes;
                }
            });
        std::vector<double> latencies;
        const auto n0 = s.worker.exchanges();
        const auto t0 = Clock::now();
        for (auto next = t0; Clock::now() - t0 < 60s;) {
            std::this_thread::sleep_until(next += 10ms);
            const auto a = Clock::now();
            client->GetGmtTime();
            latencies.push_back(seconds(Clock::now() - a) * 1000.0);
        }
        const double took = seconds(Clock::now() - t0);
        stop = true;
        if (scraper.joinable()) scraper.join();
        std::sort(latencies.begin(), latencies.end());
        Phase p;
        p.rate = static_cast<double>(s.worker.exchanges() - n0) / took;
        p.p99 = latencies[static_cast<std::size_t>(0.99 * static_cast<double>(latencies.size() - 1))];
        p.scrapes = scrapes / took;
        return p;
    };
    const Phase quiet = phase(false);
    const Phase loaded = phase(true);
    std::printf("scrape: without scrapes %.3f exchanges/s, GetGmtTime p99 %.3f ms\n", quiet.rate, quiet.p99);
    std::printf("scrape: %.1f scrapes/s       %.3f exchanges/s, GetGmtTime p99 %.3f ms\n", loaded.scrapes, loaded.rate,
                loaded.p99);
    std::printf("scrape: poll rate %+.2f %% (target within 1 %%), p99 %+.3f ms (target below 0.5 ms)\n",
                (loaded.rate / quiet.rate - 1.0) * 100.0, loaded.p99 - quiet.p99);
    client.reset();
    endpoint.stop();
    rpc.shutdown();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> parts(argv + 1, argv + argc);
    if (parts.empty()) parts = {"wire", "transfer", "rpc", "cpu", "scrape"};
    for (const auto& part : parts) {
        if (part == "wire")
            wire();
        else if (part == "transfer")
            transfer();
        else if (part == "rpc")
            rpcRoundTrips();
        else if (part == "cpu") {
            cpu(true);
            cpu(false);
        } else if (part == "scrape") {
            scrapeLoad();
        } else {
            std::fprintf(stderr, "usage: server_bench [wire|transfer|rpc|cpu|scrape]...\n");
            return 2;
        }
        std::fflush(stdout);
    }
    return 0;
}
