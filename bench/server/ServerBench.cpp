// Figures of the link server (printed, never asserted):
//   wire      status exchanges per second against the paced emulated centre
//             (4800 baud) beside the wire limit 1 / (10 ms + 54 x 10 / 4800 s)
//   transfer  full upload and download of the 2905-byte list, paced, beside
//             the wire time of 415 x 19 characters (16.4 s)
//   rpc       getter round trip p50/p99 and calls per second through gRPC
//             with 1 and 16 concurrent clients, unpaced centre
//   cpu       CPU use of the VqSrvKt64 process while it polls (paced and
//             unpaced centre), over a minute and per 5 s, with the thread
//             that spent most of the busiest 5 s
//   scrape    status exchanges per second and the getter's p99 through
//             gRPC (one client every 10 ms), paced centre, for 60 s without
//             and 60 s with 50 metrics scrapes a second
//   flood     the VqSrvKt64 process's memory (VmRSS, VmHWM) while callers
//             on the network open 20,000 leases with 200-byte holder names,
//             20,000 with 4 kB names and 60 with 4 MB names, and after they
//             have gone
// Usage: server_bench [wire|transfer|rpc|cpu|scrape|flood]...   (no argument: all)
#include <httplib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "InProcessServer.h"
#include "LinkServerRig.h"
#include "MetricsEndpoint.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace server = kt64::server;
using kt64::test::InProcessServer;

constexpr double kCharSeconds = 10.0 / 4800.0;
constexpr double kWireExchangesPerSecond = 1.0 / (0.010 + 54 * kCharSeconds);
constexpr double kWireTransferSeconds = 415 * 19 * kCharSeconds;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void wire() {
    InProcessServer s(true);
    if (!s.statusRead()) {
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
    InProcessServer s(true);
    if (!s.statusRead()) {
        std::puts("transfer: no status from the centre");
        return;
    }
    std::vector<std::uint8_t> image(2905);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
    s.srv.PutRozkazy(server::kVtArrayOfBytes, image);
    const double up = timeUntil([&] { return s.srv.GetRozkazPos().value == 0; });
    const bool upOk = s.srv.GetRozkazPos().ok() && s.emulator->image() == image;
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
    std::vector<std::unique_ptr<kt64::client::ServerProxy>> objects;
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
    InProcessServer s(false);
    if (!s.statusRead()) {
        std::puts("rpc: no status from the centre");
        return;
    }
    s.listen();
    const std::string target = s.address();
    // Back to back: the most calls the server answers (clients in this
    // process share the CPU with it).
    for (int clients : {1, 16}) print("back to back,", clients, measure(target, clients, 0ms));
    // Each client every 10 ms (1600 calls/s offered by 16): the round trip
    // without queueing behind the other clients' calls.
    for (int clients : {1, 16}) print("each every 10 ms,", clients, measure(target, clients, 10ms));
    std::puts("rpc: target p99 < 2 ms at 16 clients");
}

// utime + stime of a process in seconds (its ended threads included).
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

// CPU seconds of each running thread of a process, by thread id, from the
// scheduler's nanosecond count (the ticks of /proc/PID/task/TID/stat are too
// coarse to tell the threads apart over 5 s).
std::map<pid_t, double> threadCpuSeconds(pid_t pid) {
    std::map<pid_t, double> threads;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code ec;
    for (std::filesystem::directory_iterator it(tasks, ec), end; !ec && it != end; it.increment(ec)) {
        std::ifstream in(it->path() / "schedstat");
        unsigned long long ns = 0;
        if (in >> ns) threads[std::stoi(it->path().filename().string())] = static_cast<double>(ns) / 1e9;
    }
    return threads;
}

std::string threadName(pid_t pid, pid_t tid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

// The process's CPU over a minute in slices of 5 s: a burst that a single
// 10 s window either catches or misses shows as one slice well above the
// others, with the thread that spent most of it. Threads are numbered in
// the order they were started (1 is the main thread).
void cpu(bool paced) {
    // The program itself, with a lease held on it so that it keeps running.
    kt64::test::LinkServerRig::Options options;
    options.centre.pacing = paced;
    kt64::test::LinkServerRig rig(options);
    const pid_t pid = rig.serverPid();
    std::this_thread::sleep_for(2s);
    constexpr auto kSlice = 5s;
    constexpr int kSlices = 12;
    std::vector<double> slices;
    // The busiest slice: its share, and its busiest thread's.
    double worst = -1, worstThread = 0;
    std::string worstName;
    const double cpu0 = cpuSeconds(pid);
    const auto t0 = Clock::now();
    double before = cpu0;
    auto threadsBefore = threadCpuSeconds(pid);
    auto sliceStart = t0;
    for (int i = 1; i <= kSlices; ++i) {
        std::this_thread::sleep_until(t0 + kSlice * i);
        const auto now = Clock::now();
        const double after = cpuSeconds(pid);
        auto threadsAfter = threadCpuSeconds(pid);
        const double took = seconds(now - sliceStart);
        slices.push_back((after - before) / took);
        if (slices.back() > worst) {
            worst = slices.back();
            worstThread = 0;
            int order = 0;
            for (const auto& [tid, used] : threadsAfter) {
                ++order;
                const auto was = threadsBefore.find(tid);
                const double share = (used - (was == threadsBefore.end() ? 0.0 : was->second)) / took;
                if (share > worstThread) {
                    worstThread = share;
                    worstName = "thread " + std::to_string(order) + " of " + std::to_string(threadsAfter.size()) +
                                " (" + threadName(pid, tid) + ")";
                }
            }
        }
        before = after;
        threadsBefore = std::move(threadsAfter);
        sliceStart = now;
    }
    const double used = (cpuSeconds(pid) - cpu0) / seconds(Clock::now() - t0);
    std::string perSlice;
    for (double s : slices) {
        char figure[16];
        std::snprintf(figure, sizeof figure, " %.1f", s * 100.0);
        perSlice += figure;
    }
    std::printf(
        "cpu: VqSrvKt64 polling a %s centre for %d s: %.2f %% of one core (target < 3 %%)\n"
        "cpu:   per 5 s (%%):%s\n"
        "cpu:   busiest 5 s: %.2f %%, of it %s %.2f %%\n",
        paced ? "paced (4800 baud)" : "unpaced", kSlices * 5, used * 100.0, perSlice.c_str(), worst * 100.0,
        worstName.c_str(), worstThread * 100.0);
}

// "VmRSS" or "VmHWM" of a process, in MB.
double memoryMb(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(field + ":")) return std::stod(line.substr(field.size() + 1)) / 1024.0;
    return 0;
}

void flood() {
    kt64::test::LinkServerRig rig(kt64::test::LinkServerRig::Options{});
    const pid_t pid = rig.serverPid();
    std::printf("flood: VqSrvKt64 at rest: %.0f MB\n", memoryMb(pid, "VmRSS"));
    // Channels of their own (a connection each), as many callers would.
    struct Stream {
        std::unique_ptr<grpc::ClientContext> context;
        std::unique_ptr<grpc::ClientReaderWriter<kt64::rpc::LeaseRequest, kt64::rpc::LeaseGrant>> stream;
    };
    auto open = [&](int count, std::size_t nameLength, int perChannel) {
        std::vector<std::unique_ptr<kt64::rpc::IKt64Srv::Stub>> stubs;
        std::vector<Stream> streams;
        int granted = 0;
        for (int i = 0; i < count; ++i) {
            if (i % perChannel == 0) {
                grpc::ChannelArguments arguments;
                arguments.SetInt(GRPC_ARG_USE_LOCAL_SUBCHANNEL_POOL, 1);
                stubs.push_back(kt64::rpc::IKt64Srv::NewStub(
                    grpc::CreateCustomChannel(rig.address(), grpc::InsecureChannelCredentials(), arguments)));
            }
            Stream s;
            s.context = std::make_unique<grpc::ClientContext>();
            s.context->set_deadline(std::chrono::system_clock::now() + 120s);
            s.stream = stubs.back()->Lease(s.context.get());
            kt64::rpc::LeaseRequest request;
            request.set_client(std::string(nameLength, 'n'));
            s.stream->Write(request);
            kt64::rpc::LeaseGrant grant;
            if (s.stream->Read(&grant)) ++granted;
            streams.push_back(std::move(s));
        }
        const double rss = memoryMb(pid, "VmRSS");
        for (auto& s : streams) s.context->TryCancel();
        streams.clear();
        stubs.clear();
        return std::pair{granted, rss};
    };
    // Names the server keeps: the caps decide how many it holds. Longer
    // ones: the server ends each lease (a grant may come first).
    auto [kept, keptRss] = open(20000, 200, 90);
    std::printf("flood: 20,000 leases with 200-byte names: %d granted, VqSrvKt64 %.0f MB\n", kept, keptRss);
    std::printf("flood: 20,000 leases with 4 kB names: VqSrvKt64 %.0f MB\n", open(20000, 4096, 90).second);
    std::printf("flood: 60 leases with 4 MB names: VqSrvKt64 %.0f MB\n", open(60, 4 << 20, 1).second);
    std::this_thread::sleep_for(5s);
    std::printf("flood: after the callers left: %.0f MB, peak %.0f MB\n", memoryMb(pid, "VmRSS"),
                memoryMb(pid, "VmHWM"));
}

void scrapeLoad() {
    InProcessServer s(true);
    if (!s.statusRead()) {
        std::puts("scrape: no status from the centre");
        return;
    }
    s.listen();
    server::MetricsEndpoint endpoint(
        [&] { return server::takeMetricsSnapshot(s.device, s.worker.counters(), s.leases.leases(), Clock::now()); }, {},
        {});
    if (!endpoint.start({"127.0.0.1", 0})) {
        std::puts("scrape: the metrics endpoint does not listen");
        return;
    }
    auto client = s.connect();
    struct Phase {
        double rate = 0, p99 = 0, scrapes = 0;
        int failed = 0;
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
        int failed = 0;
        const auto n0 = s.worker.exchanges();
        const auto t0 = Clock::now();
        for (auto next = t0; Clock::now() - t0 < 60s;) {
            std::this_thread::sleep_until(next += 10ms);
            const auto a = Clock::now();
            try {
                client->GetGmtTime();
            } catch (const kt64::client::ServerError&) {
                // The centre's own misses ("Brak odpowiedzi.") are figures
                // too, not the end of the run.
                ++failed;
            }
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
        p.failed = failed;
        return p;
    };
    const Phase quiet = phase(false);
    const Phase loaded = phase(true);
    std::printf("scrape: without scrapes %.3f exchanges/s, GetGmtTime p99 %.3f ms, %d failed\n", quiet.rate, quiet.p99,
                quiet.failed);
    std::printf("scrape: %.1f scrapes/s       %.3f exchanges/s, GetGmtTime p99 %.3f ms, %d failed\n", loaded.scrapes,
                loaded.rate, loaded.p99, loaded.failed);
    std::printf("scrape: poll rate %+.2f %% (target within 1 %%), p99 %+.3f ms (target below 0.5 ms)\n",
                (loaded.rate / quiet.rate - 1.0) * 100.0, loaded.p99 - quiet.p99);
    client.reset();
    endpoint.stop();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> parts(argv + 1, argv + argc);
    if (parts.empty()) parts = {"wire", "transfer", "rpc", "cpu", "scrape", "flood"};
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
        } else if (part == "flood") {
            flood();
        } else {
            std::fprintf(stderr, "usage: server_bench [wire|transfer|rpc|cpu|scrape|flood]...\n");
            return 2;
        }
        std::fflush(stdout);
    }
    return 0;
}
