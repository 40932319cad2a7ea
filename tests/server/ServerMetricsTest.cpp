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
    s.counters.exchanges = 1234;
    s.counters.badFrames = 3;
    s.counters.portFailures = 1;
    s.counters.transfersStarted = {2, 1};
    s.counters.transfersFinished = {1, 1};
    s.counters.transfersFailed = {1, 0};
    s.holders = 2;
    s.queueLength = 1;
    return s;
}

TEST(ServerMetrics, AnsweringCentreInFull) {
    EXPECT_EQ(server::renderMetrics(answering()), R"(# TYPE kt64_centre_up gauge
# HELP kt64_centre_up Whether the centre answered the last status request (1) or not (0).
kt64_centre_up 1
# TYPE kt64_centre_status_age_seconds gauge
# UNIT kt64_centre_status_age_seconds seconds
# HELP kt64_centre_status_age_seconds Time since the last good status frame.
kt64_centre_status_age_seconds 0.25
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
# TYPE kt64_centre_build info
# HELP kt64_centre_build What the centre reports of itself; source is the synchronisation source's letter (G, D, R, 0 for none).
kt64_centre_build_info{source="G",build_type="KT-64/GPS/1/232 V1.2",serial="0A/1B2C"} 1
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
# TYPE kt64_link_exchanges counter
# HELP kt64_link_exchanges Status exchanges with the centre.
kt64_link_exchanges_total 1234
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
# EOF
)");
}

// The sample lines of one family (an info family's samples end in _info).
std::string samplesOf(const std::string& text, const std::string& family) {
    std::string out;
    for (std::size_t at = 0, end = 0; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        const std::string line = text.substr(at, end + 1 - at);
        for (const std::string& name : {family, family + "_info"})
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
        // not stay lit; the age still says how long.
        {"silent", [](MetricsSnapshot& s) { s.centreUp = false; }, "kt64_centre_alarm", ""},
        {"silent", [](MetricsSnapshot& s) { s.centreUp = false; }, "kt64_centre_build", ""},
        {"silent", [](MetricsSnapshot& s) { s.centreUp = false; }, "kt64_centre_status_age_seconds",
         "kt64_centre_status_age_seconds 0.25\n"},
        {"never answered",
         [](MetricsSnapshot& s) {
             s.centreUp = false;
             s.frameAgeSeconds.reset();
         },
         "kt64_centre_status_age_seconds", ""},
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
        const std::string text = server::renderMetrics(s);
        const std::string samples = samplesOf(text, row.family);
        EXPECT_EQ(samples, row.samples) << row.what << ", " << row.family;
        EXPECT_TRUE(text.ends_with("kt64_server_queue_length 1\n# EOF\n")) << row.what;
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
