// ZoneAgreement: whether this computer's time zone keeps the same local time
// as the centre.
//
// The clock is set from the centre's local time, and the PC turns its UTC
// clock into local time through its own zone. When the two differ (a PC left
// at the installation's UTC beside a centre keeping Polish time) every cycle
// would set the clock off by the difference, an hour in winter and two in
// summer, and a time daemon fed from the centre would be told the same.
// Every status frame carries both of the centre's clocks, so the centre's
// offset (local minus GMT) is known with each reading; it is compared with
// the offset the PC's zone has at the centre's GMT instant, so that on the
// change days both must have changed for the readings to agree.
//
// The centre's offset is rounded to the quarter hour (every zone's offset is
// a multiple of it): its two clocks are set apart, and a local clock set by
// hand a few seconds or minutes off is the centre's business, not a zone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "SyncSchedule.h"

namespace kt64::sync {

// The PC's zone at one instant.
struct PcZone {
    std::string name;                // "Europe/Warsaw", "Etc/UTC", a TZ rule
    std::int32_t offsetSeconds = 0;  // local time minus UTC then

    friend bool operator==(const PcZone&, const PcZone&) = default;
};

struct ZoneMismatch {
    PcZone pc;
    std::int32_t centreOffsetSeconds = 0;  // local minus GMT, to the quarter hour

    friend bool operator==(const ZoneMismatch&, const ZoneMismatch&) = default;
};

// The centre's local minus GMT of one frame (both in the same count of
// seconds), to the nearest quarter hour.
std::int32_t centreOffsetSeconds(LocalSeconds centreLocal, LocalSeconds centreGmt);

// nullopt when the PC's zone at the centre's GMT instant keeps the centre's
// local time.
std::optional<ZoneMismatch> compareZones(LocalSeconds centreLocal, LocalSeconds centreGmt, const PcZone& pc);

// "UTC+02:00", "UTC-05:00", "UTC+05:45".
std::string utcOffsetText(std::int32_t seconds);

// The log's line for a mismatch: the PC's zone, the centre's offset and what
// to do.
std::string zoneMismatchText(const ZoneMismatch& mismatch);

}  // namespace kt64::sync
