// A site's monitoring server for tests: the monitoring package's own server
// (prometheus) on a free loopback port with a private data folder, scraping
// what the test names once a second; killed with the test. Tests ask its
// query interface what it has learnt. Targets that link httplib only.
#pragma once

#include <fcntl.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "Loopback.h"

extern char** environ;

namespace kt64::test {

class MonitoringServer {
public:
    // scrapeConfigs: the text of the configuration's scrape_configs list
    // (its entries, each starting "  - job_name: ..."), with every relative
    // file it names inside folder.
    MonitoringServer(const std::filesystem::path& folder, const std::string& scrapeConfigs) : port_(freeTcpPort()) {
        const auto config = folder / "monitoring.yml";
        std::ofstream(config) << "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                                 "scrape_configs:\n"
                              << scrapeConfigs;
        std::vector<std::string> args{"prometheus", "--config.file=" + config.string(),
                                      "--storage.tsdb.path=" + (folder / "data").string(),
                                      "--web.listen-address=127.0.0.1:" + std::to_string(port_), "--log.level=warn"};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        const std::string log = (folder / "monitoring.log").string();
        ::posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (::posix_spawnp(&pid_, "prometheus", &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        ::posix_spawn_file_actions_destroy(&actions);
    }
    // One link server's metrics on this computer, as the job kt64-link-server.
    MonitoringServer(const std::filesystem::path& folder, std::uint16_t target)
        : MonitoringServer(folder,
                           "  - job_name: kt64-link-server\n    static_configs:\n"
                           "      - targets: ['127.0.0.1:" +
                               std::to_string(target) + "']\n") {}
    ~MonitoringServer() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    MonitoringServer(const MonitoringServer&) = delete;
    MonitoringServer& operator=(const MonitoringServer&) = delete;

    bool started() const { return pid_ > 0; }
    std::uint16_t port() const { return port_; }

    // The query interface's whole answer (JSON), nullopt when it gave none
    // or refused the query.
    std::optional<std::string> answer(const std::string& path, const httplib::Params& params) const {
        httplib::Client client("127.0.0.1", port_);
        const auto reply = client.Get(path, params, httplib::Headers{});
        if (!reply || reply->status != 200) return std::nullopt;
        return reply->body;
    }
    // The value of the query's first series ("1"), "" when it has none.
    std::string query(const std::string& expression) const {
        const auto body = answer("/api/v1/query", {{"query", expression}});
        if (!body) return {};
        // {"status":"success","data":{"resultType":"vector","result":[{"metric":{...},"value":[1.7e9,"1"]}]}}
        const auto at = body->find("\"value\":[");
        if (at == std::string::npos) return {};
        const auto open = body->find('"', body->find(',', at));
        const auto close = body->find('"', open + 1);
        return body->substr(open + 1, close - open - 1);
    }

private:
    std::uint16_t port_;
    pid_t pid_ = -1;
};

}  // namespace kt64::test
