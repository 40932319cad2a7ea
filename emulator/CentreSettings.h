// What the emulated centre starts with: its clocks, its time-zone and change
// parameters, its lines, its type, serial number and alarm bits. The program
// fills it from its command line; tests fill it directly. The values are kept
// in the centre's own terms (codes as the status frame carries them).
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "TimeSource.h"

namespace kt64::sim {

// One change of time: which Sunday (0 last, 1..4 first to fourth) of which
// month, at which hour. The hour is read on the clock in force just before the
// change: winter (standard) local time for the change to summer, summer local
// time for the change back, so 2 h in March and 3 h in October both fall on
// 01:00 GMT with an offset of +1 h.
struct ChangeRule {
    int key = 0;
    int month = 3;
    int hour = 2;

    friend bool operator==(const ChangeRule&, const ChangeRule&) = default;
};

// Status frame codes (bytes 44, 45, 46, 47).
namespace code {
inline constexpr std::uint8_t kSourceNone = 0x00, kSourceGps = 0x11, kSourceDcf = 0x22, kSourceRs = 0x33,
                              kSourceLin = 0x44;
inline constexpr std::uint8_t kRelaysNone = 0x00, kRelaysOne = 0x11, kRelaysTwo = 0x22;
inline constexpr std::uint8_t kInterfaceNone = 0x00, kInterface232 = 0x11, kInterface485 = 0x22;
inline constexpr std::uint8_t kDigitalHm = 0x00, kDigitalHms = 0x11, kDigitalHmsDate = 0x22;
}  // namespace code

struct CentreSettings {
    // GMT at start; none = the time source's UTC time.
    std::optional<TimePoint> startGmt;

    // Local offset: local time minus GMT, in minutes (-23:59 .. +23:59).
    int offsetMinutes = 60;
    bool changeOn = true;
    ChangeRule winterToSummer{0, 3, 2};
    ChangeRule summerToWinter{0, 10, 3};

    bool analogOn = true;
    bool digitalOn = true;
    std::uint8_t digitalType = code::kDigitalHmsDate;
    // Analogue line time at start in minutes after midnight; none = the
    // centre's local time at start.
    std::optional<int> lineMinutes;

    std::uint8_t model = 0x64;
    std::uint8_t source = code::kSourceGps;
    std::uint8_t relays = code::kRelaysTwo;
    std::uint8_t interface = code::kInterface232;
    std::uint8_t firmware = 0x12;  // high nibble major, low nibble minor: V1.2
    std::array<std::uint8_t, 3> serial{0x01, 0x23, 0x45};
    // Status bytes 19, 20, 21 as sent. 0x81 in byte 19 = synchronisation
    // transmission present (bit 7) and antenna present (bit 0): no alarm.
    std::array<std::uint8_t, 3> alarms{0x81, 0x00, 0x00};
};

}  // namespace kt64::sim
