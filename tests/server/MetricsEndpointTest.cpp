// The metrics endpoint: who may scrape it, what a busy port does; the real
// server on the emulated centre scraped over HTTP, and as a site's
// monitoring server sees it: the monitoring package's own server scrapes it
// once a second and the test asks that server's query interface what it
// has learnt.
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "LinkServerRig.h"
#include "MetricsEndpoint.h"
#include "MonitoringServer.h"
#include "ProgramRun.h"

extern char** environ;

namespace kt64::test {
namespace {

using server::LogLevel;
using server::MetricsEndpoint;

struct Journal {
    std::mutex mutex;
    std::vector<std::string> lines;
    server::LogSink sink() {
        return [this](LogLevel, const std::string& text) {
            const std::lock_guard lock(mutex);
            lines.push_back(text);
        };
    }
    // The lines that hold word, each with its line feed.
    std::string all(std::string_view word = {}) {
        const std::lock_guard lock(mutex);
        std::string out;
        for (const auto& line : lines)
            if (line.find(word) != std::string::npos) out += line + '\n';
        return out;
    }
};

server::MetricsSnapshot fixed() {
    server::MetricsSnapshot s;
    s.centreUp = true;
    s.counters.answered = 7;
    return s;
}

TEST(MetricsEndpoint, ServesTheCallersAllowedClientsAdmits) {
    struct Row {
        const char* allowed;
        int status;          // 0: no answer
        const char* logged;  // "" for nothing
    };
    for (const Row& row : {Row{"", 200, ""}, Row{"127.0.0.0/8", 200, ""}, Row{"::1, 127.0.0.1", 200, ""},
                           Row{"10.0.0.0/8", 0, "refused a metrics scrape from 127.0.0.1: not in AllowedClients"}}) {
        Journal journal;
        MetricsEndpoint endpoint(fixed, server::ClientFilter::parse(row.allowed), journal.sink());
        ASSERT_TRUE(endpoint.start({"127.0.0.1", 0})) << journal.all();
        httplib::Client client("127.0.0.1", endpoint.port());
        const auto reply = client.Get("/metrics");
        // A refused caller's connection is closed unread: no answer at all.
        ASSERT_EQ(static_cast<bool>(reply), row.status == 200) << row.allowed;
        if (reply) {
            EXPECT_EQ(reply->status, row.status) << row.allowed;
            EXPECT_EQ(reply->get_header_value("Content-Type"), server::kTextContentType);
            EXPECT_NE(reply->body.find("\nkt64_link_exchanges_total{result=\"answered\"} 7\n"), std::string::npos)
                << reply->body;
        }
        EXPECT_EQ(journal.all("refused"), *row.logged ? std::string(row.logged) + '\n' : "") << row.allowed;
    }
}

TEST(MetricsEndpoint, BusyPortIsReportedAndLeavesNothingRunning) {
    // Someone else's listener, with address reuse as servers set it.
    const int other = ::socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    ::setsockopt(other, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    ::setsockopt(other, SOL_SOCKET, SO_REUSEPORT, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    ASSERT_EQ(::bind(other, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(other, 4), 0);
    ::getsockname(other, reinterpret_cast<sockaddr*>(&addr), &length);
    const std::uint16_t port = ntohs(addr.sin_port);

    Journal journal;
    MetricsEndpoint endpoint(fixed, {}, journal.sink());
    EXPECT_FALSE(endpoint.start({"127.0.0.1", port}));
    EXPECT_NE(journal.all().find("metrics not served: cannot listen on 127.0.0.1:" + std::to_string(port) +
                                 ": Address already in use"),
              std::string::npos)
        << journal.all();
    ::close(other);
}

// The metric's sample line ("kt64_centre_up 1"), "" when absent.
std::string sample(const std::string& text, const std::string& name) {
    const auto at = text.find('\n' + name + ' ');
    if (at == std::string::npos) return {};
    return text.substr(at + 1, text.find('\n', at + 1) - at - 1);
}

// The link server program on the emulated centre with MetricsAddress set.
std::unique_ptr<LinkServerRig> serverWithMetrics(const std::string& metricsAddress) {
    LinkServerRig::Options options;
    options.withServer = false;
    auto rig = std::make_unique<LinkServerRig>(options);
    reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv").setString("MetricsAddress", metricsAddress);
    rig->startServer();
    return rig;
}

TEST(MetricsEndpoint, RealServerFollowsTheCentre) {
    const std::uint16_t port = freeTcpPort();
    auto server = serverWithMetrics(std::to_string(port));  // the port alone: loopback
    LinkServerRig& rig = *server;

    httplib::Client client("127.0.0.1", port);
    std::string text;
    const auto shows = [&](const std::string& name, const std::string& value) {
        return eventually(
            [&] {
                const auto reply = client.Get("/metrics");
                text = reply ? reply->body : std::string();
                return sample(text, name) == name + ' ' + value;
            },
            std::chrono::seconds(20));
    };
    EXPECT_TRUE(shows("kt64_centre_up", "1")) << text;
    EXPECT_TRUE(shows("kt64_centre_alarm{lamp=\"A_POWER\"}", "0")) << text;
    EXPECT_NE(sample(text, "kt64_link_exchanges_total{result=\"answered\"}"),
              "kt64_link_exchanges_total{result=\"answered\"} 0")
        << text;

    rig.control("set alarm 0x85");  // low supply voltage
    EXPECT_TRUE(shows("kt64_centre_alarm{lamp=\"A_POWER\"}", "1")) << text;

    rig.control("fault silent");
    EXPECT_TRUE(shows("kt64_centre_up", "0")) << text;
    EXPECT_EQ(sample(text, "kt64_centre_alarm{lamp=\"A_POWER\"}"), "") << text;
    EXPECT_NE(sample(text, "kt64_centre_status_age_seconds"), "") << text;
    // The worker counts the silence apart from the answers.
    const std::string unanswered = "kt64_link_exchanges_total{result=\"unanswered\"}";
    EXPECT_TRUE(eventually([&] {
        const auto reply = client.Get("/metrics");
        text = reply ? reply->body : std::string();
        return !sample(text, unanswered).empty() && sample(text, unanswered) != unanswered + " 0";
    })) << text;

    rig.control("fault none");
    EXPECT_TRUE(shows("kt64_centre_up", "1")) << text;
}

TEST(MonitoringServer, SeesTheCentreGoSilentAndComeBackAndALampLight) {
    const std::uint16_t metrics = freeTcpPort();
    auto server = serverWithMetrics("127.0.0.1:" + std::to_string(metrics));
    LinkServerRig& rig = *server;

    MonitoringServer monitoring(rig.folder(), metrics);
    ASSERT_TRUE(monitoring.started()) << "prometheus cannot be run (scripts/setup installs it)";
    const auto reaches = [&](const std::string& expression, const std::string& value) {
        return eventually([&] { return monitoring.query(expression) == value; }, std::chrono::seconds(60));
    };
    const std::string up = "kt64_centre_up{job=\"kt64-link-server\"}";
    const std::string power = "kt64_centre_alarm{lamp=\"A_POWER\"}";
    ASSERT_TRUE(reaches(up, "1"));
    EXPECT_TRUE(reaches(power, "0"));

    rig.control("fault silent");
    EXPECT_TRUE(reaches(up, "0"));
    rig.control("fault none");
    EXPECT_TRUE(reaches(up, "1"));

    rig.control("set alarm 0x85");  // low supply voltage
    EXPECT_TRUE(reaches(power, "1"));
    EXPECT_TRUE(reaches("kt64_centre_alarm{lamp=\"A_AKU36\"}", "0"));
}

TEST(MetricsEndpoint, RefusalsAreToldOnceThenHourly) {
    using std::chrono::minutes;
    struct Step {
        const char* address;
        int minute;          // since the first refusal
        const char* logged;  // "" for counted only
    };
    struct Row {
        const char* what;
        std::vector<Step> steps;
    };
    const char* reason = "not in AllowedClients";
    const Row rows[] = {
        {"a scraper every 15 s for an hour and a bit",
         {{"10.0.0.9", 0, "refused a metrics scrape from 10.0.0.9: not in AllowedClients"},
          {"10.0.0.9", 1, ""},
          {"10.0.0.9", 59, ""},
          {"10.0.0.9", 60, "refused 3 metrics scrapes from 10.0.0.9 in the last 60 minutes: not in AllowedClients"},
          {"10.0.0.9", 61, ""}}},
        {"each address on its own",
         {{"10.0.0.9", 0, "refused a metrics scrape from 10.0.0.9: not in AllowedClients"},
          {"10.0.0.8", 1, "refused a metrics scrape from 10.0.0.8: not in AllowedClients"},
          {"10.0.0.9", 2, ""}}},
        {"one refusal a day is each told alone",
         {{"10.0.0.9", 0, "refused a metrics scrape from 10.0.0.9: not in AllowedClients"},
          {"10.0.0.9", 1440, "refused a metrics scrape from 10.0.0.9: not in AllowedClients"}}},
    };
    for (const Row& row : rows) {
        server::MetricsRefusalLog refusals;
        const server::MetricsRefusalLog::Clock::time_point start{};
        for (const Step& step : row.steps) {
            const auto line = refusals.refused(step.address, reason, start + minutes(step.minute));
            EXPECT_EQ(line.value_or(""), step.logged) << row.what << ", minute " << step.minute;
        }
    }
}

// Every family the endpoint can publish, each with a value.
server::MetricsSnapshot everyFamily() {
    server::MetricsSnapshot s;
    s.centreUp = true;
    s.frameAgeSeconds = 0.125;
    s.alarmBits = 0x08;
    s.buildType = "KT-64/GPS/1/232 V1.2";
    s.serialNum = "0A/1B2C";
    s.clockOffsetSeconds = -1;
    s.counters.answered = 10;
    s.counters.unanswered = 2;
    s.counters.transferLastSuccessNs = {1'765'000'000'000'000'000, 1'765'000'100'000'000'000};
    s.serverVersion = "1.0";
    s.process = server::ProcessFigures{1765000000.5, 1.5, 8 << 20, 300 << 20, 12, 1024};
    return s;
}

TEST(MetricsEndpoint, TextFormatPassesPromtool) {
    Journal journal;
    MetricsEndpoint endpoint(everyFamily, {}, journal.sink());
    ASSERT_TRUE(endpoint.start({"127.0.0.1", 0})) << journal.all();
    httplib::Client client("127.0.0.1", endpoint.port());
    const auto text = client.Get("/metrics", httplib::Headers{{"Accept", "text/plain"}});
    ASSERT_TRUE(text);
    EXPECT_EQ(text->get_header_value("Content-Type"), server::kTextContentType);
    // The monitoring server's own Accept: OpenMetrics.
    const auto open = client.Get("/metrics", httplib::Headers{{"Accept",
                                                               "application/openmetrics-text;version=1.0.0,"
                                                               "text/plain;version=0.0.4;q=0.5,*/*;q=0.1"}});
    ASSERT_TRUE(open);
    EXPECT_EQ(open->get_header_value("Content-Type"), server::kOpenMetricsContentType);
    EXPECT_TRUE(open->body.ends_with("\n# EOF\n")) << open->body;

    TempDir folder;
    std::ofstream(folder.path() / "metrics.txt") << text->body;
    const auto checked = kt64::test::runProgram(
        {"/bin/sh", "-c", "promtool check metrics < \"$0\"", (folder.path() / "metrics.txt").string()}, folder.path());
    EXPECT_EQ(checked.code, 0) << checked.out << checked.err << text->body;
    EXPECT_EQ(checked.out + checked.err, "") << text->body;
}

// A caller that sends a request's first line and then one header line every
// 2 s, never ending it, from a loopback address of its choice; when the
// server drops it, it connects again.
class DrippingCaller {
public:
    DrippingCaller(const std::string& from, std::uint16_t port) : thread_([this, from, port] { run(from, port); }) {}
    ~DrippingCaller() {
        {
            const std::lock_guard lock(mutex_);
            ending_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    DrippingCaller(const DrippingCaller&) = delete;
    DrippingCaller& operator=(const DrippingCaller&) = delete;

private:
    void run(const std::string& from, std::uint16_t port) {
        std::unique_lock lock(mutex_);
        while (!ending_) {
            const int fd = connectFrom(from, port);
            bool open = fd >= 0 && send(fd, "GET /metrics HTTP/1.1\r\nHost: kt64\r\n");
            for (int line = 0; open;) {
                // The pace of the drip is the misbehaviour itself, not a wait
                // for something to happen.
                if (wake_.wait_for(lock, std::chrono::seconds(2), [this] { return ending_; })) break;
                open = send(fd, "X-Drip-" + std::to_string(line++) + ": 1\r\n");
            }
            if (fd >= 0) ::close(fd);
            if (!open && wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return ending_; })) break;
        }
    }
    static bool send(int fd, const std::string& text) {
        return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
    }

public:
    // A TCP connection from the loopback address from to the port; -1 when
    // refused.
    static int connectFrom(const std::string& from, std::uint16_t port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in source{};
        source.sin_family = AF_INET;
        ::inet_pton(AF_INET, from.c_str(), &source.sin_addr);
        sockaddr_in target = loopbackAddress(port);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0 ||
            ::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool ending_ = false;
    std::thread thread_;
};

TEST(MonitoringServer, ScrapesOnWhileOthersDripAndAreRefused) {
    const std::uint16_t metrics = freeTcpPort();
    LinkServerRig::Options options;
    options.withServer = false;
    LinkServerRig rig(options);
    auto key = reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv");
    key.setString("MetricsAddress", "127.0.0.1:" + std::to_string(metrics));
    key.setString("AllowedClients", "127.0.0.1");  // not 127.0.0.2
    rig.startServer();

    // Two connections that never finish their request, one of them from an
    // address AllowedClients refuses, there before the monitoring server's
    // first scrape (so it cannot keep a connection from before them); and a
    // refused caller with a whole request: it gets no answer, its
    // connection closed unread.
    DrippingCaller allowed("127.0.0.1", metrics);
    DrippingCaller refused("127.0.0.2", metrics);
    const int caller = DrippingCaller::connectFrom("127.0.0.2", metrics);
    ASSERT_GE(caller, 0);
    const std::string request = "GET /metrics HTTP/1.1\r\nHost: kt64\r\n\r\n";
    ::send(caller, request.data(), request.size(), MSG_NOSIGNAL);
    // Bounded only so that a server that never answers fails the test
    // rather than hanging it: a time-out is not a close.
    const timeval patience{20, 0};
    ::setsockopt(caller, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    char answer[64];
    const ssize_t got = ::recv(caller, answer, sizeof answer, 0);
    EXPECT_TRUE(got == 0 || (got < 0 && errno == ECONNRESET))
        << (got > 0 ? std::string(answer, static_cast<std::size_t>(got)) : std::strerror(errno));
    ::close(caller);

    // What the monitoring server records from its first scrape on (all of
    // its scrapes lie within the last minute): every one succeeded. A
    // scrape that timed out is recorded as up 0.
    MonitoringServer monitoring(rig.folder(), metrics);
    ASSERT_TRUE(monitoring.started()) << "prometheus cannot be run (scripts/setup installs it)";
    const std::string up = "up{job=\"kt64-link-server\"}[1m]";
    std::string scrapes;
    ASSERT_TRUE(eventually(
        [&] {
            scrapes = monitoring.query("count_over_time(" + up + ")");
            return !scrapes.empty() && std::stoi(scrapes) >= 8;
        },
        std::chrono::seconds(60)));
    EXPECT_EQ(monitoring.query("min_over_time(" + up + ")"), "1") << scrapes << " scrapes";
}

}  // namespace
}  // namespace kt64::test
