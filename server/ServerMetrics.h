// The link server's state as metrics for a site's monitoring: what a
// district's IT team needs to see of every centre from one place (is it
// answering, which lamps are lit, do the lines run, do transfers fail).
//
// Three pieces, so that the text is tested without a server and the server
// without a centre:
//  - MetricsSnapshot: a plain copy of everything published, taken in one
//    short pass over the shared record and the counters (takeMetricsSnapshot);
//  - renderMetrics: the exposition text of a snapshot (OpenMetrics 1.0.0,
//    which the monitoring server reads natively), a pure function;
//  - parseMetricsAddress: the registry value MetricsAddress.
// The decoded status (lamps, lines, offset, build) is published only while
// the centre answers: a lamp last seen lit must not stay lit in the
// monitoring while nothing is known, which would keep its alert firing on
// stale data; the centre-up metric and the frame age say why it is missing.
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
    std::uint64_t exchanges = 0;     // status exchanges finished
    std::uint64_t badFrames = 0;     // answers with a wrong marker, length or checksum
    std::uint64_t portFailures = 0;  // failed opens and ports lost while open
    // Command-list transfers; index 0 uploads, 1 downloads.
    std::array<std::uint64_t, 2> transfersStarted{}, transfersFinished{}, transfersFailed{};
};

struct MetricsSnapshot {
    bool centreUp = false;
    // Since the last good status frame; none before the first.
    std::optional<double> frameAgeSeconds;
    std::uint32_t alarmBits = 0;  // FAlarm bits of the last good frame
    std::string buildType;        // "KT-64/GPS/1/232 V1.2"
    std::string serialNum;        // "0A/1B2C"
    bool analogLineOn = false, digitalLineOn = false;
    double localOffsetSeconds = 0;
    bool winterTime = false, timeChangeOn = false;
    LinkCounters counters;
    std::size_t holders = 0;      // leases of clients, and a running transfer
    std::size_t queueLength = 0;  // commands waiting for the worker
};

// Copies the published state; the state lock and the queue lock are each
// held for one copy, never both at once.
MetricsSnapshot takeMetricsSnapshot(SharedDevice& device, const LinkCounters& counters, std::size_t holders,
                                    std::chrono::steady_clock::time_point now);

inline constexpr std::string_view kMetricsContentType = "application/openmetrics-text; version=1.0.0; charset=utf-8";
std::string renderMetrics(const MetricsSnapshot& snapshot);

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
