// The link server's state as metrics for a site's monitoring: what a
// district's IT team needs to see of every centre from one place (is it
// answering, which lamps are lit, do the lines run, do transfers fail, does
// its clock keep time), and of the link server itself (version, start,
// CPU, memory, descriptors).
//
// Three pieces, so that the text is tested without a server and the server
// without a centre:
//  - MetricsSnapshot: a plain copy of everything published, taken in one
//    short pass over the shared record and the counters (takeMetricsSnapshot);
//  - renderMetrics: the exposition text of a snapshot in either format a
//    scraper may ask for (negotiateMetricsFormat): the Prometheus text format
//    0.0.4, which every tool reads (promtool, curl), and OpenMetrics 1.0.0,
//    which the monitoring server asks for; a pure function;
//  - parseMetricsAddress: the registry value MetricsAddress.
// The decoded status (lamps, lines, offsets) is published only while the
// centre answers: a lamp last seen lit must not stay lit in the monitoring
// while nothing is known, which would keep its alert firing on stale data;
// the centre-up metric and the frame age say why it is missing. The
// centre's identity (build type, serial number) is the exception: it names
// the site on every dashboard, so it stays, with its age beside it.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "SharedDevice.h"

namespace kt64::server {

// Counted by the link worker since it started.
struct LinkCounters {
    // Status exchanges the centre answered with a good frame, and those it
    // did not (silence, a bad frame, the port lost under it): a silent
    // centre must not look like a busy one.
    std::uint64_t answered = 0;
    std::uint64_t unanswered = 0;
    std::uint64_t badFrames = 0;     // answers with a wrong marker, length or checksum
    std::uint64_t portFailures = 0;  // failed opens and ports lost while open
    // Command-list transfers; index 0 uploads, 1 downloads.
    std::array<std::uint64_t, 2> transfersStarted{}, transfersFinished{}, transfersFailed{};
    // When the last transfer each way finished whole: the system clock in
    // ns since 1970; 0 before the first.
    std::array<std::int64_t, 2> transferLastSuccessNs{};
    // Communication switched off from the console: the worker's state, not
    // a count, read with the counters so that a paused link is not taken
    // for a dead centre.
    bool paused = false;
};

// The link server process as /proc tells of it.
struct ProcessFigures {
    double startTimeSeconds = 0;  // since 1970
    double cpuSeconds = 0;        // user and system
    std::uint64_t residentBytes = 0;
    std::uint64_t virtualBytes = 0;
    std::uint64_t openFds = 0;
    std::uint64_t maxFds = 0;
};

// From the texts of /proc/<pid>/stat and /proc/stat (its btime line) with
// the clock ticks per second and the page size; the descriptors are left
// to the caller. None when either text is not what the kernel writes.
std::optional<ProcessFigures> parseProcessFigures(std::string_view pidStat, std::string_view systemStat,
                                                  long ticksPerSecond, long pageSize);
// This process's figures, none when /proc cannot be read.
std::optional<ProcessFigures> readProcessFigures();

struct MetricsSnapshot {
    bool centreUp = false;
    // Since the last good status frame; none before the first. The
    // identity below comes from that frame, so this is its age too.
    std::optional<double> frameAgeSeconds;
    std::uint32_t alarmBits = 0;  // FAlarm bits of the last good frame
    std::string buildType;        // "KT-64/GPS/1/232 V1.2"
    std::string serialNum;        // "0A/1B2C"
    bool analogLineOn = false, digitalLineOn = false;
    double localOffsetSeconds = 0;
    bool winterTime = false, timeChangeOn = false;
    // The centre's GMT less this computer's UTC at the last good frame,
    // whole seconds as kt64ctl shows it; none while the centre is silent.
    std::optional<double> clockOffsetSeconds;
    LinkCounters counters;
    std::size_t holders = 0;      // leases of clients, and a running transfer
    std::size_t queueLength = 0;  // commands waiting for the worker
    std::string serverVersion;    // the project's version
    std::optional<ProcessFigures> process;
};

// Copies the published state and reads this process's figures; the state
// lock and the queue lock are each held for one copy, never both at once.
MetricsSnapshot takeMetricsSnapshot(SharedDevice& device, const LinkCounters& counters, std::size_t holders,
                                    std::chrono::steady_clock::time_point now);

// The two exposition formats. Text is the default: it is what a person
// with curl and every tool understand; OpenMetrics only for a scraper that
// asks for it.
enum class MetricsFormat { Text, OpenMetrics };
inline constexpr std::string_view kTextContentType = "text/plain; version=0.0.4; charset=utf-8";
inline constexpr std::string_view kOpenMetricsContentType =
    "application/openmetrics-text; version=1.0.0; charset=utf-8";
std::string_view contentType(MetricsFormat format);
// OpenMetrics when the Accept header lists application/openmetrics-text
// with a weight above zero, else the text format.
MetricsFormat negotiateMetricsFormat(std::string_view accept);
std::string renderMetrics(const MetricsSnapshot& snapshot, MetricsFormat format);

// Port of the metrics when MetricsAddress names none: the interface's port
// (6464) plus one.
inline constexpr std::uint16_t kDefaultMetricsPort = 6465;

struct MetricsAddress {
    std::string host;  // numeric: "127.0.0.1", "::1", "0.0.0.0", "::"
    std::uint16_t port = kDefaultMetricsPort;
};

class MetricsAddressError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// MetricsAddress as an administrator writes it: "" or "off" (any case):
// none; "on": this computer only on the default port; "9100": this
// computer only on that port; "192.168.1.5", "192.168.1.5:9100", "::",
// "[::]:9100", "[fd00::5]": that address. Throws MetricsAddressError naming
// the value and an example for anything else (a name, a port beyond 65535).
std::optional<MetricsAddress> parseMetricsAddress(std::string_view text);

}  // namespace kt64::server
