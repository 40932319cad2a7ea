// SyncSettings: the synchronisation programs' settings in the registry key
// HKLM\Software\Ardonis\Kt64Prog, read once at start, and the LastSync value
// written after each successful synchronisation.
//
// Values (missing, of another type, or unusable = missing: the default is
// written over it and used):
//   HourSync  REG_BINARY 8 bytes, a DATE (little-endian double); only its
//             time of day is used                        default 0.0
//   FreqSync  REG_DWORD, minutes between synchronisations;
//             1440 = once a day at HourSync              default 24
//   SyncOd    REG_DWORD read as signed, lower bound (s)  default 0
//   SyncDo    REG_DWORD read as signed, upper bound (s)  default 0
//   CompName  REG_SZ or REG_EXPAND_SZ (unexpanded), at most 15 characters,
//             the computer of the link server            default defaultCompName()
//   SyncSnd   REG_DWORD, non-zero = tone after a synchronisation  default 0
//   SyncZmiany REG_DWORD, how many of the centre's second changes a cycle
//             times before setting the clock, at most 300; 0 = set the
//             whole second of the first reading after a change, as
//             earlier versions did                       default 20
//   SyncSock  REG_SZ, path of the time daemon's SOCK reference-clock
//             socket; when set, offset samples go there once a second
//             instead of the clock being set             default "" (none)
//   MetricsFolder REG_SZ, folder of the monitoring's text-file collector
//             where the service keeps kt64-sync.prom (SyncMetrics.h);
//             "" = no metrics          default kDefaultMetricsFolder
//   LastSync  REG_BINARY 8 bytes, the centre time last applied (written only)
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "OleDate.h"

namespace kt64::sync {

inline constexpr std::string_view kSettingsKey = "Software\\Ardonis\\Kt64Prog";
inline constexpr std::size_t kMaxCompNameCharacters = 15;
// Where the node exporter of Debian's monitoring package reads text files.
inline constexpr std::string_view kDefaultMetricsFolder = "/var/lib/prometheus/node-exporter";

struct SyncSettings {
    DATE hourSync = 0.0;
    std::uint32_t freqSync = 24;
    std::int32_t deviationFrom = 0;
    std::int32_t deviationTo = 0;
    std::string compName;
    bool syncSnd = false;
    // 20 changes narrow the second change to about 12 ms at the server's
    // poll period of about 123 ms (2P/(N + 1)), for 20 s more per cycle.
    std::uint32_t timedChanges = 20;
    std::string syncSock;
    std::string metricsFolder{kDefaultMetricsFolder};
};

inline constexpr std::uint32_t kMaxTimedChanges = 300;

// The 8 bytes of a DATE as the registry keeps them (IEEE double, little-endian).
std::vector<std::uint8_t> dateBytes(DATE date);
// nullopt unless exactly 8 bytes.
std::optional<DATE> dateFromBytes(std::span<const std::uint8_t> bytes);

// Number of characters of a UTF-8 text (bytes that do not continue a sequence).
std::size_t characterCount(std::string_view text);

// This computer's name as the default CompName: the host name, or
// "localhost" (which also names this computer) when the host name is longer
// than CompName may be.
std::string defaultCompName();

// Reads the settings, opening the key or creating it when missing, and
// writes the default of every value that is missing. nullopt when the key
// can be neither opened nor created (the registry store is unusable).
std::optional<SyncSettings> loadSyncSettings();

// Writes LastSync and flushes the key; does nothing when the key cannot be
// opened or written.
void recordLastSync(DATE reading);

}  // namespace kt64::sync
