// Comparing the centre's offset with the PC's zone.
#include "ZoneAgreement.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace kt64::sync {
namespace {

constexpr LocalSeconds kQuarterHour = 15 * 60;

// Half away from zero, so that +00:07:30 and -00:07:30 round alike.
LocalSeconds toQuarterHour(LocalSeconds seconds) {
    const LocalSeconds magnitude = (std::llabs(seconds) + kQuarterHour / 2) / kQuarterHour * kQuarterHour;
    return seconds < 0 ? -magnitude : magnitude;
}

}  // namespace

std::int32_t centreOffsetSeconds(LocalSeconds centreLocal, LocalSeconds centreGmt) {
    constexpr LocalSeconds kMax = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::clamp(toQuarterHour(centreLocal - centreGmt), -kMax, kMax));
}

std::optional<ZoneMismatch> compareZones(LocalSeconds centreLocal, LocalSeconds centreGmt, const PcZone& pc) {
    const std::int32_t centre = centreOffsetSeconds(centreLocal, centreGmt);
    if (centre == toQuarterHour(pc.offsetSeconds)) return std::nullopt;
    return ZoneMismatch{pc, centre};
}

std::string utcOffsetText(std::int32_t seconds) {
    const long long magnitude = std::llabs(static_cast<long long>(seconds));
    char text[32];
    std::snprintf(text, sizeof text, "UTC%c%02lld:%02lld", seconds < 0 ? '-' : '+', magnitude / 3600,
                  magnitude % 3600 / 60);
    return text;
}

std::string zoneMismatchText(const ZoneMismatch& m) {
    return "Nie zsynchronizowano: strefa czasowa komputera " + m.pc.name + " (" + utcOffsetText(m.pc.offsetSeconds) +
           ") nie zgadza się z czasem lokalnym centrali (" + utcOffsetText(m.centreOffsetSeconds) +
           "). Ustaw strefę czasową komputera zgodną z centralą (np. timedatectl set-timezone Europe/Warsaw) "
           "albo przesunięcie czasu lokalnego w centrali.\n";
}

}  // namespace kt64::sync
