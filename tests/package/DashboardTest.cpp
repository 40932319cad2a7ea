// The Grafana dashboard the package ships, as a monitoring team imports it:
// its structure (what Grafana needs to show every panel), and every panel's
// query run against the monitoring package's own server, which scrapes a
// real link server on the emulated centre and a PC's synchronisation report
// served as the node exporter serves it, both found through file_sd files
// with a site label as the example configuration has them. A panel whose
// query finds nothing would show "No data" on every site's screen.
#include <google/protobuf/struct.pb.h>
#include <google/protobuf/util/json_util.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "LinkServerRig.h"
#include "MonitoringServer.h"
#include "Registry.h"
#include "SyncMetrics.h"

namespace kt64::test {
namespace {

using google::protobuf::Struct;
using google::protobuf::Value;

const char* const kSite = "SP 1 Kraków";

Struct parseJson(const std::string& text) {
    Struct out;
    const auto status = google::protobuf::util::JsonStringToMessage(text, &out);
    if (!status.ok()) throw std::runtime_error("not JSON: " + status.ToString());
    return out;
}

Struct dashboard() {
    std::ifstream in(KT64_DASHBOARD, std::ios::binary);
    return parseJson(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

const Value* field(const Struct& s, const std::string& name) {
    const auto it = s.fields().find(name);
    return it == s.fields().end() ? nullptr : &it->second;
}
std::string text(const Struct& s, const std::string& name) {
    const Value* v = field(s, name);
    return v && v->has_string_value() ? v->string_value() : std::string();
}

// Every panel, the rows' own panels too (a collapsed row keeps them there).
std::vector<Struct> allPanels(const Struct& board) {
    std::vector<Struct> out;
    const Value* top = field(board, "panels");
    if (!top) return out;
    for (const Value& p : top->list_value().values()) {
        out.push_back(p.struct_value());
        if (const Value* inner = field(p.struct_value(), "panels"))
            for (const Value& q : inner->list_value().values()) out.push_back(q.struct_value());
    }
    return out;
}

struct PanelQuery {
    std::string panel;
    std::string expr;
};
std::vector<PanelQuery> queries(const Struct& board) {
    std::vector<PanelQuery> out;
    for (const Struct& panel : allPanels(board))
        if (const Value* targets = field(panel, "targets"))
            for (const Value& t : targets->list_value().values())
                out.push_back({text(panel, "title"), text(t.struct_value(), "expr")});
    return out;
}

// The variables a text uses: $name and ${name}.
std::set<std::string> variablesIn(const std::string& s) {
    static const std::regex use(R"(\$\{?(\w+))");
    std::set<std::string> out;
    for (auto it = std::sregex_iterator(s.begin(), s.end(), use); it != std::sregex_iterator(); ++it)
        out.insert((*it)[1]);
    return out;
}

TEST(Dashboard, HasWhatGrafanaNeedsForEveryPanel) {
    const Struct board = dashboard();
    std::string problems;
    const Value* schema = field(board, "schemaVersion");
    if (!schema || !schema->has_number_value() || schema->number_value() < 36)
        problems += "schemaVersion missing or older than 36\n";

    std::set<std::string> defined;
    if (const Value* templating = field(board, "templating"))
        if (const Value* list = field(templating->struct_value(), "list"))
            for (const Value& v : list->list_value().values()) defined.insert(text(v.struct_value(), "name"));
    const auto undefined = [&](const std::string& where, const std::string& s) {
        for (const auto& name : variablesIn(s))
            if (!defined.contains(name) && !name.starts_with("__")) problems += where + ": no variable $" + name + "\n";
    };

    std::set<double> ids;
    const auto panels = allPanels(board);
    if (panels.empty()) problems += "no panels\n";
    for (const Struct& panel : panels) {
        const std::string where = "panel '" + text(panel, "title") + "'";
        const Value* id = field(panel, "id");
        if (!id || !id->has_number_value())
            problems += where + ": no id\n";
        else if (!ids.insert(id->number_value()).second)
            problems += where + ": id " + std::to_string(static_cast<int>(id->number_value())) + " used twice\n";
        undefined(where, text(panel, "title"));
        if (text(panel, "type") == "row") {
            undefined(where, text(panel, "repeat").empty() ? "" : "$" + text(panel, "repeat"));
            continue;
        }
        const Value* source = field(panel, "datasource");
        if (!source || !source->has_struct_value() || text(source->struct_value(), "uid").empty())
            problems += where + ": no datasource\n";
        else
            undefined(where, text(source->struct_value(), "uid"));
        const Value* targets = field(panel, "targets");
        if (!targets || targets->list_value().values().empty()) problems += where + ": no target\n";
        if (targets)
            for (const Value& t : targets->list_value().values()) {
                const std::string expr = text(t.struct_value(), "expr");
                if (expr.empty()) problems += where + ": a target without expr\n";
                undefined(where, expr);
            }
    }
    EXPECT_EQ(problems, "");
}

// What the PC's node exporter serves from its text-file collector: the
// report as the synchronisation service renders it, and the file's time.
class PcExporter {
public:
    PcExporter() {
        const auto now = std::chrono::system_clock::now();
        sync::SyncMetricsState state;
        state.startedUnix = std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count() - 600;
        state.add(sync::CycleReport::succeeded(0.012), now - std::chrono::seconds(60));
        const auto mtime = std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
        body_ = sync::renderSyncMetrics(state) +
                "node_textfile_mtime_seconds{file=\"/var/lib/prometheus/node-exporter/kt64-sync.prom\"} " +
                std::to_string(mtime) + "\n";
        server_.Get("/metrics", [this](const httplib::Request&, httplib::Response& r) {
            r.set_content(body_, "text/plain; version=0.0.4");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~PcExporter() {
        server_.stop();
        thread_.join();
    }
    int port() const { return port_; }

private:
    std::string body_;
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

std::size_t seriesCount(const std::optional<std::string>& answer) {
    if (!answer) return 0;
    const Struct reply = parseJson(*answer);
    const Value* data = field(reply, "data");
    if (!data) return 0;
    const Value* result = field(data->struct_value(), "result");
    return result ? static_cast<std::size_t>(result->list_value().values_size()) : 0;
}

TEST(Dashboard, EveryPanelsQueryFindsSeriesOfARealLinkServerAndAPc) {
    LinkServerRig::Options options;
    options.withServer = false;
    LinkServerRig rig(options);
    const std::uint16_t metrics = freeTcpPort();
    reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv")
        .setString("MetricsAddress", "127.0.0.1:" + std::to_string(metrics));
    rig.startServer();
    // A transfer, for the panel of the last ones.
    rig.lease().StartGetRozkazy();
    PcExporter pc;

    std::ofstream(rig.folder() / "kt64-sites.yml")
        << "- targets: ['127.0.0.1:" << metrics << "']\n  labels:\n    site: " << kSite << "\n";
    std::ofstream(rig.folder() / "kt64-pcs.yml")
        << "- targets: ['127.0.0.1:" << pc.port() << "']\n  labels:\n    site: " << kSite << "\n";
    MonitoringServer monitoring(
        rig.folder(),
        "  - job_name: kt64-link-server\n    file_sd_configs:\n      - files: [kt64-sites.yml]\n"
        "  - job_name: node\n    file_sd_configs:\n      - files: [kt64-pcs.yml]\n");
    ASSERT_TRUE(monitoring.started()) << "prometheus cannot be run (scripts/setup installs it)";

    // The site variable's values, as Grafana asks for them.
    std::string sites;
    EXPECT_TRUE(eventually(
        [&] {
            sites = monitoring.answer("/api/v1/label/site/values", {{"match[]", "kt64_centre_up"}}).value_or("");
            return sites.find(kSite) != std::string::npos;
        },
        std::chrono::seconds(60)))
        << sites;

    // Grafana's part: the variables filled in, the rate window one that a
    // scrape a second fills.
    std::map<std::string, std::string> waiting;  // panel and query -> the query sent
    for (const auto& q : queries(dashboard())) {
        std::string expr = std::regex_replace(q.expr, std::regex(R"(\$\{?site\}?)"), kSite);
        expr = std::regex_replace(expr, std::regex(R"(\$\{?__rate_interval\}?)"), "1m");
        waiting["'" + q.panel + "': " + q.expr] = expr;
    }
    ASSERT_FALSE(waiting.empty());
    eventually(
        [&] {
            std::erase_if(waiting, [&](const auto& entry) {
                return seriesCount(monitoring.answer("/api/v1/query", {{"query", entry.second}})) > 0;
            });
            return waiting.empty();
        },
        std::chrono::seconds(60));
    std::string empty;
    for (const auto& [query, sent] : waiting) empty += "  panel " + query + "\n";
    EXPECT_EQ(empty, "") << "panels whose query found no series";
}

}  // namespace
}  // namespace kt64::test
