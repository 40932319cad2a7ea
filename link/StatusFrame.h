// Decoding of the centre's 50-byte status frame into DeviceState, and the
// synchronisation readiness rule built on the decoded alarms. Pure functions
// of the received bytes and the record; nothing here touches the port.
//
// Status frame (offsets in decimal, "bcd" = tens digit in the high nibble):
//   0  1B  1  44 ('D')  2  --
//   3..8   GMT   ss mm hh DD MM YY (bcd, year - 2000)      9 --
//   10..15 local ss mm hh DD MM YY (bcd)                   16 --
//   17 line minutes  18 line hours (bcd)
//   19 alarms: b7 clear = sync transmission, b6 set, b3 3.6 V battery,
//      b2 power low, b1 no sync 240 h, b0 clear = no antenna
//   20 b6 manual setting   21 b0 line 1 short circuit
//   22 model code   23 24 25 serial number   26 --
//   27 1B  28 55 ('U')  29 --
//   30 offset minutes  31 offset hours (bcd)  32 b0 offset negative
//   33 key W->S  34 day W->S  35 month W->S  36 key S->W  37 day  38 month
//   39 hour W->S (high digit) | hour S->W (low digit)
//   40..43 b0: change on, winter time, analogue line on, digital line on
//   44 source 00/11 GPS/22 DCF/33 RS/44 LIN  45 relays 00/11/22
//   46 interface 00/11 RS-232/22 RS-485  47 digital line type  48 version
//   49 checksum: XOR of all 50 bytes is 0
#pragma once

#include <cstdint>
#include <string>

#include "BuildType.h"
#include "DeviceState.h"
#include "Frame.h"
#include "HResult.h"

namespace kt64::link {

// Checks the received bytes (fewer than 50 = no answer, then the checksum,
// then the markers) and on success decodes every field into state and sets
// StatusValid, leaving ErrorCode/ErrorText as they were. On failure records
// the code and text, clears StatusValid and keeps every decoded field.
// Returns the outcome: S_OK or the failure code. Never throws.
HRESULT applyStatusFrame(ByteSpan received, DeviceState& state);

// "0A/1B2C" from the three serial number bytes.
std::string serialNumText(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3);

// Whether the centre's local time may be used to set a PC's clock: S_OK,
// or the refusal 0x80040209 with its text, or (no valid status) the last
// error with its text.
struct SyncReadiness {
    HRESULT code = S_OK;
    std::string text;
};
SyncReadiness syncReadiness(const DeviceState& state);

}  // namespace kt64::link
