// Reading many link servers at once and showing them one line each.
#include "FleetStatus.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

#include "ConnectionCause.h"
#include "CtlText.h"
#include "Kt64SrvIds.h"
#include "WholeFile.h"

namespace kt64::ctl {

namespace {

using client::ServerError;

// A list of computers is a few lines per site; anything near this is no
// such list.
constexpr std::size_t kMostListBytes = 1 << 20;

// What went wrong last at a site: no connection (its cause and what to
// do), or the server's reason for not reading the centre; "" when nothing
// did.
std::string lastError(const SiteReport& site) {
    if (site.connectionError) return failureLine(*site.connectionError);
    if (site.statusError) return failureLine(*site.statusError);
    return {};
}

// Columns line up on the screen by characters, not bytes: a label is
// Polish ("szkoła").
std::size_t shownWidth(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

std::string signedSeconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.0f s", seconds);
    return text;
}

std::string alarmNames(const SiteReport& site) {
    if (!site.alarmFlag) return "-";
    std::string names;
    for (const auto& entry : alarmBits(*site.alarmFlag)) names += (names.empty() ? "" : ",") + std::string(entry.name);
    return names.empty() ? "none" : names;
}

std::string lineStates(const SiteReport& site) {
    if (!site.setFlag) return "-";
    auto state = [&](std::uint32_t bit) { return (*site.setFlag & bit) ? "on" : "off"; };
    return std::string("LA ") + state(ids::S_LINE1ANALON) + ", LC " + state(ids::S_LINE1DIGITON);
}

std::string jsonErrorObject(const std::optional<ServerError>& error) {
    return error ? jsonFailure(*error) : std::string("null");
}

}  // namespace

SiteReport readSite(const std::string& computer, const client::ConnectOptions& options,
                    const std::function<std::chrono::system_clock::time_point()>& now) {
    SiteReport site;
    site.computer = computer;
    try {
        auto server = client::ConnectServer(computer, options);
        // A getter the server refuses leaves its field empty; a failed
        // connection ends the site's reading (the next call would only
        // wait for its own deadline again).
        auto refused = [](const ServerError& e) { return e.description().has_value(); };
        try {
            client::awaitFirstExchange(*server);
            const DATE gmt = server->GetGmtTime();
            site.differenceSeconds = std::round((gmt - dateFromSystemClock(now())) * 86400.0);
        } catch (const ServerError& e) {
            if (!refused(e)) throw;
            site.statusError = e;
        }
        try {
            site.alarmFlag = server->GetAlarmFlag();
        } catch (const ServerError& e) {
            if (!refused(e)) throw;
        }
        try {
            site.setFlag = server->GetSetFlag();
        } catch (const ServerError& e) {
            if (!refused(e)) throw;
        }
    } catch (const ServerError& e) {
        site.connectionError = e;
    } catch (const std::exception& e) {
        // Not the server's answer (resources of this PC): still one line of
        // the view, never the end of it.
        site.connectionError = ServerError(client::E_RPC_SERVERFAULT, e.what());
    }
    return site;
}

std::vector<SiteReport> readSites(const std::vector<std::string>& computers, const SiteReader& read,
                                  unsigned parallel) {
    std::vector<SiteReport> sites(computers.size());
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i = next++; i < computers.size(); i = next++) sites[i] = read(computers[i]);
    };
    const std::size_t threads = std::min<std::size_t>(std::max(1u, parallel), computers.size());
    std::vector<std::jthread> workers;
    workers.reserve(threads);
    for (std::size_t t = 0; t < threads; ++t) workers.emplace_back(work);
    workers.clear();  // joins
    return sites;
}

void printFleetText(const std::vector<SiteReport>& sites, std::ostream& out) {
    // The sites' labels get a column when the list gave any.
    const bool labelled = std::any_of(sites.begin(), sites.end(), [](const SiteReport& s) { return !s.label.empty(); });
    struct Row {
        std::string computer, label, centre, difference, alarms, lines, error;
    };
    std::vector<Row> rows{{"COMPUTER", "SITE", "CENTRE", "DIFFERENCE", "ALARMS", "LINES", "LAST ERROR"}};
    for (const auto& site : sites) {
        const std::string error = lastError(site);
        rows.push_back({site.computer, site.label.empty() ? "-" : site.label,
                        !site.reached()        ? "no server"
                        : site.centreAnswers() ? "yes"
                                               : "no",
                        site.differenceSeconds ? signedSeconds(*site.differenceSeconds) : "-", alarmNames(site),
                        lineStates(site), error.empty() ? "-" : error});
    }
    constexpr std::size_t kColumns = 6;
    auto cellsOf = [&](const Row& row) {
        std::vector<const std::string*> cells{&row.computer, &row.centre, &row.difference, &row.alarms, &row.lines};
        if (labelled) cells.insert(cells.begin() + 1, &row.label);
        return cells;
    };
    std::size_t width[kColumns] = {};
    for (const auto& row : rows) {
        const auto cells = cellsOf(row);
        for (std::size_t c = 0; c < cells.size(); ++c) width[c] = std::max(width[c], shownWidth(*cells[c]));
    }
    for (const auto& row : rows) {
        const auto cells = cellsOf(row);
        for (std::size_t c = 0; c < cells.size(); ++c)
            out << *cells[c] << std::string(width[c] - shownWidth(*cells[c]) + 2, ' ');
        out << row.error << "\n";
    }
}

void printFleetJson(const std::vector<SiteReport>& sites, std::ostream& out) {
    out << "[";
    for (std::size_t i = 0; i < sites.size(); ++i) {
        const SiteReport& site = sites[i];
        std::string alarms = "null";
        if (site.alarmFlag) {
            alarms = "[";
            for (const auto& entry : alarmBits(*site.alarmFlag))
                alarms += (alarms.size() > 1 ? ", " : "") + jsonString(entry.name);
            alarms += "]";
        }
        auto line = [&](std::uint32_t bit) {
            return site.setFlag ? std::string((*site.setFlag & bit) ? "true" : "false") : std::string("null");
        };
        out << (i ? ",\n " : "\n ") << "{\"computer\": " << jsonString(site.computer)
            << ", \"label\": " << (site.label.empty() ? "null" : jsonString(site.label))
            << ", \"reached\": " << (site.reached() ? "true" : "false")
            << ", \"centreAnswers\": " << (site.centreAnswers() ? "true" : "false") << ", \"differenceSeconds\": "
            << (site.differenceSeconds ? std::to_string(static_cast<long long>(*site.differenceSeconds)) : "null")
            << ", \"alarmFlag\": " << (site.alarmFlag ? std::to_string(*site.alarmFlag) : "null")
            << ", \"alarms\": " << alarms << ", \"analogLine\": " << line(ids::S_LINE1ANALON)
            << ", \"digitalLine\": " << line(ids::S_LINE1DIGITON)
            << ", \"connectionError\": " << jsonErrorObject(site.connectionError)
            << ", \"statusError\": " << jsonErrorObject(site.statusError) << "}";
    }
    out << (sites.empty() ? "]\n" : "\n]\n");
}

int fleetExitCode(const std::vector<SiteReport>& sites) {
    return std::all_of(sites.begin(), sites.end(), [](const SiteReport& s) { return s.centreAnswers(); }) ? 0 : 1;
}

int showSites(const std::vector<std::string>& computers, const std::vector<std::string>& labels, bool json,
              const SiteReader& read, std::ostream& out) {
    std::vector<SiteReport> sites = readSites(computers, read);
    for (std::size_t i = 0; i < sites.size() && i < labels.size(); ++i) sites[i].label = labels[i];
    if (json)
        printFleetJson(sites, out);
    else
        printFleetText(sites, out);
    return fleetExitCode(sites);
}

std::vector<ListedComputer> readComputerList(const std::string& file) {
    const std::string text = readWholeFile(file, {0, kMostListBytes, "a list of computers is far smaller"});
    std::vector<ListedComputer> computers;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        // "#" starts a comment anywhere: "10.64.4.11:17645  # szkoła nr 1"
        // names the computer, and the comment says which site it is.
        const std::string_view line = std::string_view(text).substr(start, end - start);
        const auto hash = line.find('#');
        std::string computer = trimmed(line.substr(0, hash));
        if (!computer.empty())
            computers.push_back(
                {std::move(computer), hash == std::string_view::npos ? "" : trimmed(line.substr(hash + 1))});
        start = end + 1;
    }
    return computers;
}

}  // namespace kt64::ctl
