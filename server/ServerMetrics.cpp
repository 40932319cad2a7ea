// The snapshot, its exposition text and the address value.
#include "ServerMetrics.h"

#include <arpa/inet.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "WholeFile.h"

namespace kt64::server {

namespace {

// The eight lamps in FAlarm order, by their names in the interface.
constexpr std::array<std::string_view, 8> kLampNames{"A_SYNCTRAN", "A_SET",    "A_AKU36",  "A_POWER",
                                                     "A_SYNC",     "A_ANTENA", "A_MANSET", "A_LINE1"};
constexpr std::array<std::string_view, 2> kDirections{"upload", "download"};

// A label value: backslash, double quote and line feed escaped.
std::string escaped(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string number(double v) {
    std::array<char, 32> buf{};
    const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    return ec == std::errc() ? std::string(buf.data(), end) : std::string("NaN");
}

// Both formats from one walk over the families. They differ in how a
// family is introduced: OpenMetrics names the family (a counter's samples
// add _total, an info's _info) and knows units and the info type; the text
// format names the samples, has no units and calls an info a gauge.
class Exposition {
public:
    explicit Exposition(MetricsFormat format) : format_(format) {}

    void family(std::string_view name, std::string_view type, std::string_view help, std::string_view unit = {}) {
        if (format_ == MetricsFormat::OpenMetrics) {
            line("# TYPE ", name, type);
            if (!unit.empty()) line("# UNIT ", name, unit);
            line("# HELP ", name, help);
            return;
        }
        std::string sampleName(name);
        if (type == "counter") sampleName += "_total";
        if (type == "info") sampleName += "_info";
        line("# HELP ", sampleName, help);
        line("# TYPE ", sampleName, type == "info" ? "gauge" : type);
    }
    // labels: already rendered pairs, "" for none.
    void sample(std::string_view name, std::string_view labels, std::string_view value) {
        text_ += name;
        if (!labels.empty()) {
            text_ += '{';
            text_ += labels;
            text_ += '}';
        }
        text_ += ' ';
        text_ += value;
        text_ += '\n';
    }
    void sample(std::string_view name, std::string_view labels, std::uint64_t value) {
        sample(name, labels, std::to_string(value));
    }
    // A yes/no figure as 1 or 0.
    void flag(std::string_view name, std::string_view labels, bool value) {
        sample(name, labels, std::string_view(value ? "1" : "0"));
    }
    std::string finish() {
        if (format_ == MetricsFormat::OpenMetrics) text_ += "# EOF\n";
        return std::move(text_);
    }

private:
    void line(std::string_view what, std::string_view name, std::string_view rest) {
        text_ += what;
        text_ += name;
        text_ += ' ';
        text_ += rest;
        text_ += '\n';
    }

    MetricsFormat format_;
    std::string text_;
};

std::string label(std::string_view name, std::string_view value) {
    return std::string(name) + "=\"" + escaped(value) + '"';
}

// A DATE's day 0 is 30 December 1899; 1 January 1970 is day 25569.
constexpr double kUnixEpochDate = 25569.0;

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

std::optional<ProcessFigures> parseProcessFigures(std::string_view pidStat, std::string_view systemStat,
                                                  long ticksPerSecond, long pageSize) {
    if (ticksPerSecond <= 0 || pageSize <= 0) return std::nullopt;
    // The command name in parentheses may hold blanks and parentheses of its
    // own: the fields start after the last ')'. Field 3 (state) comes first.
    const auto close = pidStat.rfind(')');
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view rest = pidStat.substr(close + 1);
    std::array<std::uint64_t, 25> field{};  // by the numbers of proc(5); 3 is the state letter
    for (std::size_t number = 3; number < field.size(); ++number) {
        while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
        const auto end = std::min(rest.find(' '), rest.size());
        if (end == 0) return std::nullopt;
        const std::string_view word = rest.substr(0, end);
        if (number != 3) {
            // Signed fields (priority, nice) cannot be negative among those read.
            std::int64_t value = 0;
            const auto [p, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
            if (ec != std::errc() || p != word.data() + word.size()) return std::nullopt;
            field[number] = static_cast<std::uint64_t>(std::max<std::int64_t>(value, 0));
        }
        rest.remove_prefix(end);
    }
    std::optional<std::uint64_t> bootTime;
    for (std::size_t at = 0; at < systemStat.size();) {
        const auto end = std::min(systemStat.find('\n', at), systemStat.size());
        const std::string_view line = systemStat.substr(at, end - at);
        if (line.starts_with("btime ")) {
            const std::string_view digits = trimmed(line.substr(6));
            std::uint64_t value = 0;
            const auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
            if (ec == std::errc() && p == digits.data() + digits.size() && !digits.empty()) bootTime = value;
        }
        at = end + 1;
    }
    if (!bootTime) return std::nullopt;
    const auto ticks = static_cast<double>(ticksPerSecond);
    ProcessFigures f;
    f.cpuSeconds = static_cast<double>(field[14] + field[15]) / ticks;  // utime + stime
    f.startTimeSeconds = static_cast<double>(*bootTime) + static_cast<double>(field[22]) / ticks;
    f.virtualBytes = field[23];
    f.residentBytes = field[24] * static_cast<std::uint64_t>(pageSize);
    return f;
}

std::optional<ProcessFigures> readProcessFigures() {
    try {
        const FileSize size{1, 64 * 1024, "a /proc file this long is not the kernel's"};
        auto figures = parseProcessFigures(readWholeFile("/proc/self/stat", size),
                                           readWholeFile("/proc/stat", {1, 1024 * 1024, size.rule}),
                                           ::sysconf(_SC_CLK_TCK), ::sysconf(_SC_PAGESIZE));
        if (!figures) return std::nullopt;
        std::error_code error;
        for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end;
             it.increment(error))
            ++figures->openFds;
        if (figures->openFds > 0) --figures->openFds;  // the iterator's own
        rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) figures->maxFds = limit.rlim_cur;
        return figures;
    } catch (const FileError&) {
        // Metrics of the centre are worth serving without those of the process.
        return std::nullopt;
    }
}

MetricsSnapshot takeMetricsSnapshot(SharedDevice& device, const LinkCounters& counters, std::size_t holders,
                                    std::chrono::steady_clock::time_point now) {
    MetricsSnapshot s;
    std::int64_t frameNs = 0;
    device.access([&](const DeviceRecord& r) {
        const link::DeviceState& d = r.device;
        s.centreUp = d.StatusValid;
        if (d.FrameNo > 0) frameNs = d.FrameMonotonicNs;
        const std::array<bool, 8> lamps{d.AlarmSyncTran, d.AlarmSet,    d.AlarmAku36,  d.AlarmPower,
                                        d.AlarmSync,     d.AlarmAntena, d.AlarmManSet, d.AlarmLine1};
        for (std::size_t i = 0; i < lamps.size(); ++i)
            if (lamps[i]) s.alarmBits |= 1U << i;
        s.buildType = d.BuildType;
        s.serialNum = d.SerialNum;
        s.analogLineOn = d.SetLine1AnalOn;
        s.digitalLineOn = d.SetLine1DigitOn;
        s.localOffsetSeconds = std::round(d.LocalOffset * 86400.0);
        s.winterTime = d.SetWinterTime;
        s.timeChangeOn = d.SetChangeTimeOn;
        if (d.StatusValid && d.FrameNo > 0 && d.FrameRealtimeNs > 0) {
            // As kt64ctl reckons it: the centre's whole second less this
            // computer's whole second, here at the frame's arrival rather
            // than at the scrape, so a late scrape adds nothing.
            const double centre = std::round((d.GmtTime - kUnixEpochDate) * 86400.0);
            const auto here = static_cast<double>(d.FrameRealtimeNs / 1'000'000'000);
            s.clockOffsetSeconds = centre - here;
        }
    });
    if (frameNs != 0) {
        const auto nowNs = std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count();
        // Whole milliseconds: finer would only be noise of the scrape.
        s.frameAgeSeconds = static_cast<double>(std::max<std::int64_t>(nowNs - frameNs, 0) / 1'000'000) / 1000.0;
    }
    s.queueLength = device.queued().size();
    s.counters = counters;
    s.holders = holders;
    s.serverVersion = KT64_VERSION;
    s.process = readProcessFigures();
    return s;
}

std::string_view contentType(MetricsFormat format) {
    return format == MetricsFormat::OpenMetrics ? kOpenMetricsContentType : kTextContentType;
}

MetricsFormat negotiateMetricsFormat(std::string_view accept) {
    // "application/openmetrics-text;version=1.0.0,text/plain;version=0.0.4;q=0.5,*/*;q=0.1"
    while (!accept.empty()) {
        const auto comma = std::min(accept.find(','), accept.size());
        std::string_view range = accept.substr(0, comma);
        accept.remove_prefix(std::min(comma + 1, accept.size()));
        const auto semicolon = std::min(range.find(';'), range.size());
        if (!equalNoCase(trimmed(range.substr(0, semicolon)), "application/openmetrics-text")) continue;
        bool refused = false;  // q=0: "not this one"
        for (std::string_view params = range.substr(semicolon); !params.empty();) {
            params.remove_prefix(1);  // the ';'
            const auto next = std::min(params.find(';'), params.size());
            const std::string_view param = trimmed(params.substr(0, next));
            params.remove_prefix(next);
            if (param.size() < 2 || (param[0] != 'q' && param[0] != 'Q') || param[1] != '=') continue;
            const std::string_view weight = trimmed(param.substr(2));
            refused = weight.find_first_not_of("0.") == std::string_view::npos;
        }
        if (!refused) return MetricsFormat::OpenMetrics;
    }
    return MetricsFormat::Text;
}

std::string renderMetrics(const MetricsSnapshot& s, MetricsFormat format) {
    Exposition out(format);
    out.family("kt64_centre_up", "gauge", "Whether the centre answered the last status request (1) or not (0).");
    out.flag("kt64_centre_up", "", s.centreUp);
    out.family("kt64_link_paused", "gauge",
               "1 while communication with the centre is switched off from the console (the centre is not asked).");
    out.flag("kt64_link_paused", "", s.counters.paused);
    if (s.frameAgeSeconds) {
        out.family("kt64_centre_status_age_seconds", "gauge", "Time since the last good status frame.", "seconds");
        out.sample("kt64_centre_status_age_seconds", "", number(*s.frameAgeSeconds));
        // The site's identity stays while the centre is silent: dashboards
        // and alerts name the site by it.
        out.family("kt64_centre_build", "info",
                   "What the centre last reported of itself; source is the synchronisation "
                   "source's letter (G, D, R, 0 for none).");
        const std::string source = s.buildType.size() > 6 ? s.buildType.substr(6, 1) : std::string();
        out.sample(
            "kt64_centre_build_info",
            label("source", source) + ',' + label("build_type", s.buildType) + ',' + label("serial", s.serialNum), "1");
        out.family("kt64_centre_identity_age_seconds", "gauge",
                   "Time since the status frame the centre's build type and serial number come from.", "seconds");
        out.sample("kt64_centre_identity_age_seconds", "", number(*s.frameAgeSeconds));
    }
    if (s.centreUp) {
        out.family("kt64_centre_alarm", "gauge", "Alarm lamps of the centre: 1 lit, 0 dark.");
        for (std::size_t i = 0; i < kLampNames.size(); ++i)
            out.flag("kt64_centre_alarm", label("lamp", kLampNames[i]), ((s.alarmBits >> i) & 1U) != 0);
        out.family("kt64_line_on", "gauge", "Slave-clock lines: 1 running, 0 stopped.");
        out.flag("kt64_line_on", label("line", "analog"), s.analogLineOn);
        out.flag("kt64_line_on", label("line", "digital"), s.digitalLineOn);
        out.family("kt64_centre_local_offset_seconds", "gauge", "Local time minus GMT as the centre keeps it.",
                   "seconds");
        out.sample("kt64_centre_local_offset_seconds", "", number(s.localOffsetSeconds));
        out.family("kt64_centre_winter_time", "gauge", "1 while the centre keeps winter (standard) time.");
        out.flag("kt64_centre_winter_time", "", s.winterTime);
        out.family("kt64_centre_time_change_enabled", "gauge",
                   "1 when the centre changes between summer and winter time by itself.");
        out.flag("kt64_centre_time_change_enabled", "", s.timeChangeOn);
        if (s.clockOffsetSeconds) {
            out.family("kt64_centre_clock_offset_seconds", "gauge",
                       "The centre's GMT minus this computer's UTC, in whole seconds, at the last status frame.",
                       "seconds");
            out.sample("kt64_centre_clock_offset_seconds", "", number(*s.clockOffsetSeconds));
        }
    }
    const LinkCounters& c = s.counters;
    out.family("kt64_link_exchanges", "counter",
               "Status exchanges with the centre; answered: a good status frame came back, unanswered: "
               "silence, a bad frame or a port lost under it.");
    out.sample("kt64_link_exchanges_total", label("result", "answered"), c.answered);
    out.sample("kt64_link_exchanges_total", label("result", "unanswered"), c.unanswered);
    out.family("kt64_link_bad_frames", "counter", "Answers of the centre with a wrong marker, length or checksum.");
    out.sample("kt64_link_bad_frames_total", "", c.badFrames);
    out.family("kt64_link_port_failures", "counter", "Serial port failures: failed opens and ports lost while open.");
    out.sample("kt64_link_port_failures_total", "", c.portFailures);
    const auto transfers = [&](std::string_view name, std::string_view help, const std::array<std::uint64_t, 2>& n) {
        out.family(name, "counter", help);
        const std::string sample = std::string(name) + "_total";
        for (std::size_t i = 0; i < kDirections.size(); ++i)
            out.sample(sample, label("direction", kDirections[i]), n[i]);
    };
    transfers("kt64_transfers_started", "Command-list transfers started.", c.transfersStarted);
    transfers("kt64_transfers_finished", "Command-list transfers finished whole.", c.transfersFinished);
    transfers("kt64_transfers_failed", "Command-list transfers that failed.", c.transfersFailed);
    if (c.transferLastSuccessNs[0] > 0 || c.transferLastSuccessNs[1] > 0) {
        out.family("kt64_transfer_last_success_timestamp_seconds", "gauge",
                   "When the last command-list transfer each way finished whole (seconds since 1970).", "seconds");
        for (std::size_t i = 0; i < kDirections.size(); ++i)
            if (c.transferLastSuccessNs[i] > 0)
                out.sample("kt64_transfer_last_success_timestamp_seconds", label("direction", kDirections[i]),
                           number(static_cast<double>(c.transferLastSuccessNs[i] / 1'000'000) / 1000.0));
    }
    out.family("kt64_server_holders", "gauge", "Clients holding the server, and a transfer under way.");
    out.sample("kt64_server_holders", "", static_cast<std::uint64_t>(s.holders));
    out.family("kt64_server_queue_length", "gauge", "Commands waiting for the link worker.");
    out.sample("kt64_server_queue_length", "", static_cast<std::uint64_t>(s.queueLength));
    out.family("kt64_server_build", "info", "The link server's version.");
    out.sample("kt64_server_build_info", label("version", s.serverVersion), "1");
    if (s.process) {
        const ProcessFigures& p = *s.process;
        out.family("process_start_time_seconds", "gauge", "Start time of the process since unix epoch in seconds.",
                   "seconds");
        out.sample("process_start_time_seconds", "", number(p.startTimeSeconds));
        out.family("process_cpu_seconds", "counter", "Total user and system CPU time spent in seconds.", "seconds");
        out.sample("process_cpu_seconds_total", "", number(p.cpuSeconds));
        out.family("process_resident_memory_bytes", "gauge", "Resident memory size in bytes.", "bytes");
        out.sample("process_resident_memory_bytes", "", p.residentBytes);
        out.family("process_virtual_memory_bytes", "gauge", "Virtual memory size in bytes.", "bytes");
        out.sample("process_virtual_memory_bytes", "", p.virtualBytes);
        out.family("process_open_fds", "gauge", "Number of open file descriptors.");
        out.sample("process_open_fds", "", p.openFds);
        out.family("process_max_fds", "gauge", "Maximum number of open file descriptors.");
        out.sample("process_max_fds", "", p.maxFds);
    }
    return out.finish();
}

std::optional<MetricsAddress> parseMetricsAddress(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (lower.empty() || lower == "off") return std::nullopt;
    if (lower == "on") return MetricsAddress{"127.0.0.1", kDefaultMetricsPort};

    const auto bad = [&] {
        return MetricsAddressError("MetricsAddress: '" + std::string(text) +
                                   "' is neither on, off, a port nor an address (examples: on, 9100, "
                                   "192.168.1.5:9100, [::]:9100)");
    };
    const auto portOf = [&](std::string_view digits) {
        unsigned value = 0;
        const auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (digits.empty() || ec != std::errc() || p != digits.data() + digits.size() || value == 0 || value > 65535)
            throw bad();
        return static_cast<std::uint16_t>(value);
    };
    const auto numeric = [](const std::string& host) {
        std::array<unsigned char, 16> buf{};
        return ::inet_pton(AF_INET, host.c_str(), buf.data()) == 1 ||
               ::inet_pton(AF_INET6, host.c_str(), buf.data()) == 1;
    };

    MetricsAddress address;
    if (text.find_first_not_of("0123456789") == std::string_view::npos) {
        address.host = "127.0.0.1";
        address.port = portOf(text);
        return address;
    }
    if (text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos) throw bad();
        address.host = std::string(text.substr(1, close - 1));
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') throw bad();
            address.port = portOf(rest.substr(1));
        }
    } else if (const auto colon = text.find(':'); colon != std::string_view::npos && text.rfind(':') == colon) {
        address.host = std::string(text.substr(0, colon));  // one colon: IPv4 with its port
        address.port = portOf(text.substr(colon + 1));
    } else {
        address.host = std::string(text);  // IPv4 or IPv6 alone
    }
    if (!numeric(address.host)) throw bad();
    return address;
}

}  // namespace kt64::server
