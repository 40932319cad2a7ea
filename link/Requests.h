// The server's requests to the centre as pure frame builders, and the checks
// of the two answers that are not a status frame. Every frame is
// ESC, command, length L, L data bytes, XOR checksum (Frame.h).
//
// Worked frames (hex):
//   status request                      1B 11 00 0A
//   GMT 17 May 2024 12:34:56            1B 22 06 56 34 12 17 05 24 79
//   analogue line on, digital off       1B 77 02 01 00 6F
//   analogue line time 08:30            1B 88 03 11 30 08 B9
//   digital line full time and date     1B 99 02 11 22 B3
//   offset +1 h, last Sunday of March at 2 h, last Sunday of October at 3 h,
//   change on                           1B 33 0A 11 00 01 00 00 03 00 10 23 01 03
//   read record 0                       1B EE 02 00 00 F7
//   write record acknowledgement        1B DD 02 xx xx cs  (xx not interpreted)
//   read record answer                  1B EE 09 xx xx r0 r1 r2 r3 r4 r5 r6 cs
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "DeviceState.h"
#include "Frame.h"
#include "OleDate.h"

namespace kt64::link {

using Record = std::array<std::uint8_t, kRecordSize>;

// The six values of the parameters request, each either pending or as the
// last status reported it.
struct ParamValues {
    double localOffset = 0;  // days
    std::int32_t keyTimeZL = 0;
    DATE changeTimeZL = 0;
    std::int32_t keyTimeLZ = 0;
    DATE changeTimeLZ = 0;
    bool changeTimeOn = false;
};

// Pending value where its PendingParams bit is set, else the current one.
ParamValues paramValuesOf(const DeviceState& state);

// Whole minutes and hours of an offset in days, rounded to the second with the
// offset's sign: minutes = trunc((d +/- 0.5 s) * 1440) rem 60, hours =
// trunc((d +/- 0.5 s) * 24) rem 24 (both carry the offset's sign).
struct OffsetParts {
    int minutes = 0;
    int hours = 0;
};
OffsetParts offsetParts(double offsetDays);

Bytes statusRequest();
// nullopt when the date does not convert or its year is outside 2000..2099.
std::optional<Bytes> setTimeRequest(DATE gmt);
Bytes switchLinesRequest(bool analogueOn, bool digitalOn);
// Hours and minutes of the time of day; nullopt when the date does not convert.
std::optional<Bytes> lineTimeRequest(DATE lineTime);
Bytes serialRequest(const std::array<std::uint8_t, 3>& serial);
Bytes typeRequest(const std::array<std::uint8_t, 3>& build);
// 0x33 request. Change hours above 9 cannot be packed in one digit: only the
// low four bits of the hour go out. Dates that do not convert send month 0
// and hour 0.
Bytes paramsRequest(const ParamValues& values);
Bytes digitalLineRequest(std::int32_t lineType);
Bytes writeRecordRequest(std::uint16_t index, std::span<const std::uint8_t, kRecordSize> record);
Bytes readRecordRequest(std::uint16_t index);

// A 6-byte write acknowledgement: XOR 0 and starting 1B DD 02; the two bytes
// after the header are not compared with anything.
bool isWriteAck(ByteSpan answer);
// The 7 record bytes of a 13-byte read answer (XOR 0, starting 1B EE 09),
// nullopt otherwise.
std::optional<Record> parseReadAnswer(ByteSpan answer);

}  // namespace kt64::link
