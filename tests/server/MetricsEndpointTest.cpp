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

#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "LinkServerRig.h"
#include "MetricsEndpoint.h"
#include "MonitoringServer.h"

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
    s.counters.exchanges = 7;
    return s;
}

TEST(MetricsEndpoint, ServesTheCallersAllowedClientsAdmits) {
    struct Row {
        const char* allowed;
        int status;
        const char* logged;  // "" for nothing
    };
    for (const Row& row : {Row{"", 200, ""}, Row{"127.0.0.0/8", 200, ""}, Row{"::1, 127.0.0.1", 200, ""},
                           Row{"10.0.0.0/8", 403, "refused a metrics scrape from 127.0.0.1: not in AllowedClients"}}) {
        Journal journal;
        MetricsEndpoint endpoint(fixed, server::ClientFilter::parse(row.allowed), journal.sink());
        ASSERT_TRUE(endpoint.start({"127.0.0.1", 0})) << journal.all();
        httplib::Client client("127.0.0.1", endpoint.port());
        const auto reply = client.Get("/metrics");
        ASSERT_TRUE(reply) << row.allowed;
        EXPECT_EQ(reply->status, row.status) << row.allowed;
        if (row.status == 200) {
            EXPECT_EQ(reply->get_header_value("Content-Type"), server::kMetricsContentType);
            EXPECT_NE(reply->body.find("\nkt64_link_exchanges_total 7\n"), std::string::npos) << reply->body;
        } else {
            EXPECT_EQ(reply->body.find("kt64_"), std::string::npos) << reply->body;
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
    EXPECT_NE(sample(text, "kt64_link_exchanges_total"), "kt64_link_exchanges_total 0") << text;

    rig.control("set alarm 0x85");  // low supply voltage
    EXPECT_TRUE(shows("kt64_centre_alarm{lamp=\"A_POWER\"}", "1")) << text;

    rig.control("fault silent");
    EXPECT_TRUE(shows("kt64_centre_up", "0")) << text;
    EXPECT_EQ(sample(text, "kt64_centre_alarm{lamp=\"A_POWER\"}"), "") << text;
    EXPECT_NE(sample(text, "kt64_centre_status_age_seconds"), "") << text;

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

}  // namespace
}  // namespace kt64::test
