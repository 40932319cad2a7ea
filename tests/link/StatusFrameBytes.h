// A well-formed status frame for tests: a KT-64/GPS/1/232 V1.2 centre on
// 17 May 2024, 12:34:56 GMT / 14:34:56 local (offset +1 h plus summer time), line at
// 08:30, change rules last Sunday of March 2 h / October 3 h. seal() sets the
// checksum byte after a test changes bytes.
#pragma once

#include <array>
#include <cstdint>

#include "Frame.h"

namespace kt64::test {
using namespace kt64::link;

using StatusBytes = std::array<std::uint8_t, kStatusFrameSize>;

inline StatusBytes& seal(StatusBytes& f) {
    f[49] = 0;
    f[49] = xorOf(f);
    return f;
}

inline StatusBytes goodStatus() {
    StatusBytes f = {
        0x1B, 0x44, 0x00,                    // 0..2
        0x56, 0x34, 0x12, 0x17, 0x05, 0x24,  // 3..8 GMT
        0x00,                                // 9
        0x56, 0x34, 0x14, 0x17, 0x05, 0x24,  // 10..15 local
        0x00,                                // 16
        0x30, 0x08,                          // 17..18 line 08:30
        0x81, 0x00, 0x00,                    // 19..21 no alarms
        0x64, 0x0A, 0x1B, 0x2C,              // 22..25 model, serial
        0x00, 0x1B, 0x55, 0x00,              // 26..29
        0x00, 0x01, 0x00,                    // 30..32 offset +1 h
        0x00, 0x31, 0x03,                    // 33..35 W->S last Sunday, 31 March
        0x00, 0x27, 0x10,                    // 36..38 S->W last Sunday, 27 October
        0x23,                                // 39 hours 2 / 3
        0x01, 0x00, 0x01, 0x00,              // 40..43 change on, summer, analogue on
        0x11, 0x11, 0x11, 0x22, 0x12,        // 44..48 GPS, 1 relay, RS-232, D_GGMMSSDDMMYY, V1.2
        0x00,                                // 49 checksum
    };
    return seal(f);
}

}  // namespace kt64::test
