// The snapshot, its exposition text and the address value.
#include "ServerMetrics.h"

#include <arpa/inet.h>

#include <charconv>
#include <cmath>

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

class Exposition {
public:
    void family(std::string_view name, std::string_view type, std::string_view help, std::string_view unit = {}) {
        text_ += "# TYPE ";
        text_ += name;
        text_ += ' ';
        text_ += type;
        text_ += '\n';
        if (!unit.empty()) {
            text_ += "# UNIT ";
            text_ += name;
            text_ += ' ';
            text_ += unit;
            text_ += '\n';
        }
        text_ += "# HELP ";
        text_ += name;
        text_ += ' ';
        text_ += help;
        text_ += '\n';
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
    std::string finish() {
        text_ += "# EOF\n";
        return std::move(text_);
    }

private:
    std::string text_;
};

std::string label(std::string_view name, std::string_view value) {
    return std::string(name) + "=\"" + escaped(value) + '"';
}

}  // namespace

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
    });
    if (frameNs != 0) {
        const auto nowNs = std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count();
        // Whole milliseconds: finer would only be noise of the scrape.
        s.frameAgeSeconds = static_cast<double>(std::max<std::int64_t>(nowNs - frameNs, 0) / 1'000'000) / 1000.0;
    }
    s.queueLength = device.queued().size();
    s.counters = counters;
    s.holders = holders;
    return s;
}

std::string renderMetrics(const MetricsSnapshot& s) {
    Exposition out;
    out.family("kt64_centre_up", "gauge", "Whether the centre answered the last status request (1) or not (0).");
    out.sample("kt64_centre_up", "", s.centreUp ? "1" : "0");
    if (s.frameAgeSeconds) {
        out.family("kt64_centre_status_age_seconds", "gauge", "Time since the last good status frame.", "seconds");
        out.sample("kt64_centre_status_age_seconds", "", number(*s.frameAgeSeconds));
    }
    if (s.centreUp) {
        out.family("kt64_centre_alarm", "gauge", "Alarm lamps of the centre: 1 lit, 0 dark.");
        for (std::size_t i = 0; i < kLampNames.size(); ++i)
            out.sample("kt64_centre_alarm", label("lamp", kLampNames[i]), (s.alarmBits >> i) & 1U ? "1" : "0");
        out.family("kt64_centre_build", "info",
                   "What the centre reports of itself; source is the synchronisation "
                   "source's letter (G, D, R, 0 for none).");
        const std::string source = s.buildType.size() > 6 ? s.buildType.substr(6, 1) : std::string();
        out.sample(
            "kt64_centre_build_info",
            label("source", source) + ',' + label("build_type", s.buildType) + ',' + label("serial", s.serialNum), "1");
        out.family("kt64_line_on", "gauge", "Slave-clock lines: 1 running, 0 stopped.");
        out.sample("kt64_line_on", label("line", "analog"), s.analogLineOn ? "1" : "0");
        out.sample("kt64_line_on", label("line", "digital"), s.digitalLineOn ? "1" : "0");
        out.family("kt64_centre_local_offset_seconds", "gauge", "Local time minus GMT as the centre keeps it.",
                   "seconds");
        out.sample("kt64_centre_local_offset_seconds", "", number(s.localOffsetSeconds));
        out.family("kt64_centre_winter_time", "gauge", "1 while the centre keeps winter (standard) time.");
        out.sample("kt64_centre_winter_time", "", s.winterTime ? "1" : "0");
        out.family("kt64_centre_time_change_enabled", "gauge",
                   "1 when the centre changes between summer and winter time by itself.");
        out.sample("kt64_centre_time_change_enabled", "", s.timeChangeOn ? "1" : "0");
    }
    const LinkCounters& c = s.counters;
    out.family("kt64_link_exchanges", "counter", "Status exchanges with the centre.");
    out.sample("kt64_link_exchanges_total", "", c.exchanges);
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
    out.family("kt64_server_holders", "gauge", "Clients holding the server, and a transfer under way.");
    out.sample("kt64_server_holders", "", static_cast<std::uint64_t>(s.holders));
    out.family("kt64_server_queue_length", "gauge", "Commands waiting for the link worker.");
    out.sample("kt64_server_queue_length", "", static_cast<std::uint64_t>(s.queueLength));
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
