// The metrics text a monitoring server reads, and the MetricsAddress values
// an administrator writes.
#include <gtest/gtest.h>

#include <string>

#include "ServerMetrics.h"

namespace kt64::test {
namespace {

using server::MetricsSnapshot;

MetricsSnapshot answering() {
    MetricsSnapshot s;
    s.centreUp = true;
    s.frameAgeSeconds = 0.25;
    s.alarmBits = 0x0C;  // A_AKU36 and A_POWER
    s.buildType = "KT-64/GPS/1/232 V1.2";
    s.serialNum = "0A/1B2C";
    s.analogLineOn = true;
    s.localOffsetSeconds = 3600;
    s.timeChangeOn = true;
    s.counters.answered = 1234;
    s.counters.unanswered = 56;
    s.counters.badFrames = 3;
    s.counters.portFailures = 1;
    s.counters.transfersStarted = {2, 1};
    s.counters.transfersFinished = {1, 1};
    s.counters.transfersFailed = {1, 0};
    s.holders = 2;
    s.queueLength = 1;
    s.clockOffsetSeconds = -2;
    s.serverVersion = "1.0";
    return s;
}

TEST(ServerMetrics, AnsweringCentreInFull) {
    EXPECT_EQ(server::renderMetrics(answering(), server::MetricsFormat::OpenMetrics), R"(# TYPE kt64_centre_up gauge
# HELP kt64_centre_up Whether the centre answered the last status request (1) or not (0).
kt64_centre_up 1
# TYPE kt64_link_paused gauge
# HELP kt64_link_paused 1 while communication with the centre is switched off from the console (the centre is not asked).
kt64_link_paused 0
# TYPE kt64_centre_status_age_seconds gauge
# UNIT kt64_centre_status_age_seconds seconds
# HELP kt64_centre_status_age_seconds Time since the last good status frame.
kt64_centre_status_age_seconds 0.25
# TYPE kt64_centre_build info
# HELP kt64_centre_build What the centre last reported of itself; source is the synchronisation source's letter (G, D, R, 0 for none).
kt64_centre_build_info{source="G",build_type="KT-64/GPS/1/232 V1.2",serial="0A/1B2C"} 1
# TYPE kt64_centre_identity_age_seconds gauge
# UNIT kt64_centre_identity_age_seconds seconds
# HELP kt64_centre_identity_age_seconds Time since the status frame the centre's build type and serial number come from.
kt64_centre_identity_age_seconds 0.25
# TYPE kt64_centre_alarm gauge
# HELP kt64_centre_alarm Alarm lamps of the centre: 1 lit, 0 dark.
kt64_centre_alarm{lamp="A_SYNCTRAN"} 0
kt64_centre_alarm{lamp="A_SET"} 0
kt64_centre_alarm{lamp="A_AKU36"} 1
kt64_centre_alarm{lamp="A_POWER"} 1
kt64_centre_alarm{lamp="A_SYNC"} 0
kt64_centre_alarm{lamp="A_ANTENA"} 0
kt64_centre_alarm{lamp="A_MANSET"} 0
kt64_centre_alarm{lamp="A_LINE1"} 0
# TYPE kt64_line_on gauge
# HELP kt64_line_on Slave-clock lines: 1 running, 0 stopped.
kt64_line_on{line="analog"} 1
kt64_line_on{line="digital"} 0
# TYPE kt64_centre_local_offset_seconds gauge
# UNIT kt64_centre_local_offset_seconds seconds
# HELP kt64_centre_local_offset_seconds Local time minus GMT as the centre keeps it.
kt64_centre_local_offset_seconds 3600
# TYPE kt64_centre_winter_time gauge
# HELP kt64_centre_winter_time 1 while the centre keeps winter (standard) time.
kt64_centre_winter_time 0
# TYPE kt64_centre_time_change_enabled gauge
# HELP kt64_centre_time_change_enabled 1 when the centre changes between summer and winter time by itself.
kt64_centre_time_change_enabled 1
# TYPE kt64_centre_clock_offset_seconds gauge
# UNIT kt64_centre_clock_offset_seconds seconds
# HELP kt64_centre_clock_offset_seconds The centre's GMT minus this computer's UTC, in whole seconds, at the last status frame.
kt64_centre_clock_offset_seconds -2
# TYPE kt64_link_exchanges counter
# HELP kt64_link_exchanges Status exchanges with the centre; answered: a good status frame came back, unanswered: silence, a bad frame or a port lost under it.
kt64_link_exchanges_total{result="answered"} 1234
kt64_link_exchanges_total{result="unanswered"} 56
# TYPE kt64_link_bad_frames counter
# HELP kt64_link_bad_frames Answers of the centre with a wrong marker, length or checksum.
kt64_link_bad_frames_total 3
# TYPE kt64_link_port_failures counter
# HELP kt64_link_port_failures Serial port failures: failed opens and ports lost while open.
kt64_link_port_failures_total 1
# TYPE kt64_transfers_started counter
# HELP kt64_transfers_started Command-list transfers started.
kt64_transfers_started_total{direction="upload"} 2
kt64_transfers_started_total{direction="download"} 1
# TYPE kt64_transfers_finished counter
# HELP kt64_transfers_finished Command-list transfers finished whole.
kt64_transfers_finished_total{direction="upload"} 1
kt64_transfers_finished_total{direction="download"} 1
# TYPE kt64_transfers_failed counter
# HELP kt64_transfers_failed Command-list transfers that failed.
kt64_transfers_failed_total{direction="upload"} 1
kt64_transfers_failed_total{direction="download"} 0
# TYPE kt64_server_holders gauge
# HELP kt64_server_holders Clients holding the server, and a transfer under way.
kt64_server_holders 2
# TYPE kt64_server_queue_length gauge
# HELP kt64_server_queue_length Commands waiting for the link worker.
kt64_server_queue_length 1
# TYPE kt64_server_build info
# HELP kt64_server_build The link server's version.
kt64_server_build_info{version="1.0"} 1
# EOF
)");
}

// The sample lines of one family (a counter's samples end in _total, an
// info family's in _info).
std::string samplesOf(const std::string& text, const std::string& family) {
    std::string out;
    for (std::size_t at = 0, end = 0; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        const std::string line = text.substr(at, end + 1 - at);
        for (const std::string& name : {family, family + "_info", family + "_total"})
            if (line.starts_with(name + ' ') || line.starts_with(name + '{')) out += line;
    }
    return out;
}

TEST(ServerMetrics, StatusFamiliesFollowTheCentre) {
    struct Row {
        const char* what;
        void (*change)(MetricsSnapshot&);
        const char* family;
        const char* samples;  // the family's sample lines, "" when left out
    };
    const Row rows[] = {
        // Silent: nothing decoded is published, so a lamp lit before does
        // not stay lit; the age still says how long. The identity stays:
        // it names the site.
        {"silent", [](MetricsSnapshot& s) { s.centreUp = false; }, "kt64_centre_alarm", ""},
        {"silent", [](MetricsSnapshot& s) { s.centreUp = false; }, "kt64_centre_clock_offset_seconds", ""},
        {"silent", [](MetricsSnapshot& s) { s.centreUp = false; }, "kt64_centre_build",
         "kt64_centre_build_info{source=\"G\",build_type=\"KT-64/GPS/1/232 V1.2\",serial=\"0A/1B2C\"} 1\n"},
        {"silent", [](MetricsSnapshot& s) { s.centreUp = false; }, "kt64_centre_identity_age_seconds",
         "kt64_centre_identity_age_seconds 0.25\n"},
        {"silent", [](MetricsSnapshot& s) { s.centreUp = false; }, "kt64_centre_status_age_seconds",
         "kt64_centre_status_age_seconds 0.25\n"},
        {"never answered",
         [](MetricsSnapshot& s) {
             s.centreUp = false;
             s.frameAgeSeconds.reset();
         },
         "kt64_centre_status_age_seconds", ""},
        {"never answered",
         [](MetricsSnapshot& s) {
             s.centreUp = false;
             s.frameAgeSeconds.reset();
         },
         "kt64_centre_build", ""},
        // Paused from the console: told apart from a dead centre.
        {"paused",
         [](MetricsSnapshot& s) {
             s.centreUp = false;
             s.counters.paused = true;
         },
         "kt64_link_paused", "kt64_link_paused 1\n"},
        {"silent a while",
         [](MetricsSnapshot& s) {
             s.centreUp = false;
             s.counters.unanswered = 9000;
         },
         "kt64_link_exchanges",
         "kt64_link_exchanges_total{result=\"answered\"} 1234\nkt64_link_exchanges_total{result=\"unanswered\"} "
         "9000\n"},
        {"centre ahead", [](MetricsSnapshot& s) { s.clockOffsetSeconds = 3; }, "kt64_centre_clock_offset_seconds",
         "kt64_centre_clock_offset_seconds 3\n"},
        {"no transfer yet", [](MetricsSnapshot&) {}, "kt64_transfer_last_success_timestamp_seconds", ""},
        {"download only",
         [](MetricsSnapshot& s) {
             s.counters.transferLastSuccessNs = {0, 1'765'000'000'123'456'789};
         },
         "kt64_transfer_last_success_timestamp_seconds",
         "kt64_transfer_last_success_timestamp_seconds{direction=\"download\"} 1765000000.123\n"},
        {"both ways",
         [](MetricsSnapshot& s) {
             s.counters.transferLastSuccessNs = {2'000'000'000, 1'000'000'000};
         },
         "kt64_transfer_last_success_timestamp_seconds",
         "kt64_transfer_last_success_timestamp_seconds{direction=\"upload\"} 2\n"
         "kt64_transfer_last_success_timestamp_seconds{direction=\"download\"} 1\n"},
        {"process unreadable", [](MetricsSnapshot&) {}, "process_open_fds", ""},
        {"process",
         [](MetricsSnapshot& s) {
             s.process = server::ProcessFigures{1765000000.5, 12.25, 8 << 20, 300 << 20, 17, 1024};
         },
         "process_cpu_seconds", "process_cpu_seconds_total 12.25\n"},
        {"age in milliseconds", [](MetricsSnapshot& s) { s.frameAgeSeconds = 61.007; },
         "kt64_centre_status_age_seconds", "kt64_centre_status_age_seconds 61.007\n"},
        {"every lamp", [](MetricsSnapshot& s) { s.alarmBits = 0xA1; }, "kt64_centre_alarm",
         "kt64_centre_alarm{lamp=\"A_SYNCTRAN\"} 1\nkt64_centre_alarm{lamp=\"A_SET\"} 0\n"
         "kt64_centre_alarm{lamp=\"A_AKU36\"} 0\nkt64_centre_alarm{lamp=\"A_POWER\"} 0\n"
         "kt64_centre_alarm{lamp=\"A_SYNC\"} 0\nkt64_centre_alarm{lamp=\"A_ANTENA\"} 1\n"
         "kt64_centre_alarm{lamp=\"A_MANSET\"} 0\nkt64_centre_alarm{lamp=\"A_LINE1\"} 1\n"},
        // Texts come from the centre's bytes: a quote, a backslash or a line
        // feed must not end the label or the line.
        {"escaped labels",
         [](MetricsSnapshot& s) {
             s.buildType = "KT-64/D\"F\\\n/1";
             s.serialNum = "\"";
         },
         "kt64_centre_build",
         "kt64_centre_build_info{source=\"D\",build_type=\"KT-64/D\\\"F\\\\\\n/1\",serial=\"\\\"\"} 1\n"},
        {"no source yet", [](MetricsSnapshot& s) { s.buildType = "KT-64/"; }, "kt64_centre_build",
         "kt64_centre_build_info{source=\"\",build_type=\"KT-64/\",serial=\"0A/1B2C\"} 1\n"},
        {"offset west of GMT", [](MetricsSnapshot& s) { s.localOffsetSeconds = -12600; },
         "kt64_centre_local_offset_seconds", "kt64_centre_local_offset_seconds -12600\n"},
    };
    for (const Row& row : rows) {
        MetricsSnapshot s = answering();
        row.change(s);
        const std::string text = server::renderMetrics(s, server::MetricsFormat::OpenMetrics);
        const std::string samples = samplesOf(text, row.family);
        EXPECT_EQ(samples, row.samples) << row.what << ", " << row.family;
        EXPECT_TRUE(text.ends_with("\n# EOF\n")) << row.what;
    }
}

// The record as the worker leaves it, read into the figures: what is kept
// while the centre is silent, and the centre's clock against this one's.
TEST(ServerMetrics, SnapshotOfTheRecord) {
    using namespace std::chrono;
    // 1,765,000,005 s after 1970 as the centre's DATE (day 25569 is 1970).
    constexpr double kCentreGmt = 25569.0 + 1'765'000'005.0 / 86400.0;
    const auto answering = [](server::DeviceRecord& r) {
        r.device.StatusValid = true;
        r.device.FrameNo = 3;
        r.device.FrameMonotonicNs = 10'000'000'000;
        r.device.FrameRealtimeNs = 1'765'000'003'900'000'000;  // this computer: 2.1 s behind
        r.device.GmtTime = kCentreGmt;
        r.device.BuildType = "KT-64/DCF/2/485 V1.3";
        r.device.SerialNum = "0A/1B2C";
    };
    struct Row {
        const char* what;
        void (*change)(server::DeviceRecord&);
        const char* family;
        const char* samples;
    };
    const Row rows[] = {
        // Whole seconds, as kt64ctl shows the difference: the centre's
        // second against the second this computer was in.
        {"centre ahead", [](server::DeviceRecord&) {}, "kt64_centre_clock_offset_seconds",
         "kt64_centre_clock_offset_seconds 2\n"},
        {"centre behind", [](server::DeviceRecord& r) { r.device.GmtTime = kCentreGmt - 5.0 / 86400.0; },
         "kt64_centre_clock_offset_seconds", "kt64_centre_clock_offset_seconds -3\n"},
        {"silent", [](server::DeviceRecord& r) { r.device.StatusValid = false; }, "kt64_centre_clock_offset_seconds",
         ""},
        {"silent", [](server::DeviceRecord& r) { r.device.StatusValid = false; }, "kt64_centre_build",
         "kt64_centre_build_info{source=\"D\",build_type=\"KT-64/DCF/2/485 V1.3\",serial=\"0A/1B2C\"} 1\n"},
        {"silent", [](server::DeviceRecord& r) { r.device.StatusValid = false; }, "kt64_centre_identity_age_seconds",
         "kt64_centre_identity_age_seconds 1.5\n"},
        {"never answered",
         [](server::DeviceRecord& r) {
             r.device.StatusValid = false;
             r.device.FrameNo = 0;
         },
         "kt64_centre_build", ""},
    };
    for (const Row& row : rows) {
        server::SharedDevice device;
        device.access([&](server::DeviceRecord& r) {
            answering(r);
            row.change(r);
        });
        const auto now = steady_clock::time_point(nanoseconds(11'500'000'000));
        const auto snapshot = server::takeMetricsSnapshot(device, {}, 0, now);
        EXPECT_EQ(samplesOf(server::renderMetrics(snapshot, server::MetricsFormat::Text), row.family), row.samples)
            << row.what << ", " << row.family;
    }
}

TEST(ServerMetrics, FormatFollowsAccept) {
    using server::MetricsFormat;
    struct Row {
        const char* accept;
        MetricsFormat format;
    };
    for (const Row& row : {
             Row{"", MetricsFormat::Text},
             Row{"*/*", MetricsFormat::Text},
             Row{"text/plain", MetricsFormat::Text},
             // The monitoring server's own.
             Row{"application/openmetrics-text;version=1.0.0,application/openmetrics-text;version=0.0.1;q=0.75,"
                 "text/plain;version=0.0.4;q=0.5,*/*;q=0.1",
                 MetricsFormat::OpenMetrics},
             Row{"Application/OpenMetrics-Text; version=1.0.0", MetricsFormat::OpenMetrics},
             Row{"text/plain;q=0.9, application/openmetrics-text;q=0.2", MetricsFormat::OpenMetrics},
             // Weight zero: "anything but this".
             Row{"application/openmetrics-text;q=0, */*", MetricsFormat::Text},
             Row{"application/openmetrics-text; q=0.000", MetricsFormat::Text},
             Row{"application/openmetrics-textual", MetricsFormat::Text},
         }) {
        EXPECT_EQ(server::negotiateMetricsFormat(row.accept), row.format) << row.accept;
    }
    EXPECT_EQ(server::contentType(MetricsFormat::Text), "text/plain; version=0.0.4; charset=utf-8");
    const std::string text = server::renderMetrics(answering(), MetricsFormat::Text);
    // The text format names the samples and knows neither units nor the end.
    EXPECT_NE(text.find("# HELP kt64_link_exchanges_total Status"), std::string::npos) << text;
    EXPECT_NE(text.find("# TYPE kt64_centre_build_info gauge\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("# UNIT"), std::string::npos) << text;
    EXPECT_EQ(text.find("# EOF"), std::string::npos) << text;
}

TEST(ServerMetrics, ProcessFiguresFromProc) {
    // Fields 1 to 24 of proc(5) and a few more; the name may hold blanks
    // and parentheses.
    const std::string tail =
        " S 1 1234 1234 0 -1 4194560 1000 0 0 0 250 75 0 0 20 0 5 0 4200 314572800 2048 18446744073709551615 1 1\n";
    const std::string boot = "cpu  1 2 3\nbtime 1765000000\nprocesses 99\n";
    struct Row {
        const char* what;
        std::string stat, system;
        bool read;
    };
    for (const Row& row : {
             Row{"plain name", "1234 (VqSrvKt64)" + tail, boot, true},
             Row{"name with ) (", "1234 (Vq) (Srv)" + tail, boot, true},
             Row{"no boot time", "1234 (VqSrvKt64)" + tail, "cpu  1 2 3\n", false},
             Row{"cut short", "1234 (VqSrvKt64) S 1 1234 1234 0 -1 4194560 1000 0 0 0 250 75", boot, false},
             Row{"no name", "1234 VqSrvKt64" + tail, boot, false},
         }) {
        const auto figures = server::parseProcessFigures(row.stat, row.system, 100, 4096);
        ASSERT_EQ(figures.has_value(), row.read) << row.what;
        if (!figures) continue;
        EXPECT_EQ(figures->cpuSeconds, 3.25) << row.what;
        EXPECT_EQ(figures->startTimeSeconds, 1765000042.0) << row.what;
        EXPECT_EQ(figures->virtualBytes, 314572800U) << row.what;
        EXPECT_EQ(figures->residentBytes, 2048U * 4096U) << row.what;
    }
}

TEST(ServerMetrics, AddressValues) {
    struct Row {
        const char* text;
        bool on;
        const char* host;
        std::uint16_t port;
    };
    for (const Row& row :
         {Row{"", false, "", 0}, Row{"off", false, "", 0}, Row{" OFF ", false, "", 0},
          Row{"on", true, "127.0.0.1", 6465}, Row{"On", true, "127.0.0.1", 6465}, Row{"9100", true, "127.0.0.1", 9100},
          Row{"0.0.0.0", true, "0.0.0.0", 6465}, Row{"192.168.1.5:9100", true, "192.168.1.5", 9100},
          Row{"::", true, "::", 6465}, Row{"[::]:9100", true, "::", 9100}, Row{"[fd00::5]", true, "fd00::5", 6465},
          Row{"fd00::5", true, "fd00::5", 6465}}) {
        const auto address = server::parseMetricsAddress(row.text);
        ASSERT_EQ(address.has_value(), row.on) << row.text;
        if (!address) continue;
        EXPECT_EQ(address->host, row.host) << row.text;
        EXPECT_EQ(address->port, row.port) << row.text;
    }
    // Refused, never read as something else: a port out of range, a name,
    // half an address.
    for (const char* text : {"0", "65536", "yes", "metrics.example", "192.168.1.5:", "192.168.1.5:x", "[::1",
                             "[::1]9100", "192.168.1:9100", "1.2.3.4:99999"})
        EXPECT_THROW(server::parseMetricsAddress(text), server::MetricsAddressError) << text;
}

}  // namespace
}  // namespace kt64::test
