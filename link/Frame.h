// Byte-level rules shared by every frame on the centre's serial line: BCD
// numbers, the XOR checksum and the ESC / command / length / data / checksum
// frame. Pure functions over byte spans; both the link core and the centre
// emulator build on them.
//
//   offset 0    1B            ESC
//   offset 1    cmd           command code (table below)
//   offset 2    L             number of data bytes
//   offset 3..  data          L bytes
//   offset 3+L  checksum      XOR of bytes 0 .. 2+L
//
// Example, the status request: 1B 11 00 0A. A received frame is good when the
// XOR of all its bytes, checksum included, is 0. The 50-byte status frame has
// its own layout (two ESC markers, one checksum over all 50 bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kt64::link {

using Bytes = std::vector<std::uint8_t>;
using ByteSpan = std::span<const std::uint8_t>;

inline constexpr std::uint8_t kEsc = 0x1B;

// Command codes of the requests the server sends.
enum class Command : std::uint8_t {
    Status = 0x11,
    SetTime = 0x22,
    SetParams = 0x33,
    SwitchLines = 0x77,
    SetLineTime = 0x88,
    SetDigitalLine = 0x99,
    SetSerial = 0xAA,
    SetType = 0xBB,
    WriteRecord = 0xDD,
    ReadRecord = 0xEE,
};

inline constexpr std::size_t kStatusFrameSize = 50;
inline constexpr std::size_t kRecordSize = 7;
inline constexpr std::size_t kRecordCount = 415;
inline constexpr std::size_t kImageSize = kRecordSize * kRecordCount;  // 2905
inline constexpr std::size_t kWriteAckSize = 6;                        // 1B DD 02 xx xx cs
inline constexpr std::size_t kReadAnswerSize = 13;                     // 1B EE 09 xx xx r0..r6 cs

// BCD byte of a value 0..99: tens digit in the high nibble.
constexpr std::uint8_t bcdEncode(int v) { return static_cast<std::uint8_t>(((v / 10) << 4) | (v % 10)); }

// Value of a BCD byte, or -1 when a nibble is not a decimal digit.
constexpr int bcdDecode(std::uint8_t b) {
    if ((b & 0x0F) > 9 || b >= 0xA0) return -1;
    return (b >> 4) * 10 + (b & 0x0F);
}

// Value of one BCD digit (a nibble), or -1 for 0xA..0xF.
constexpr int bcdDigit(std::uint8_t nibble) { return bcdDecode(nibble & 0x0F); }

// XOR of all bytes.
constexpr std::uint8_t xorOf(ByteSpan bytes) {
    std::uint8_t x = 0;
    for (auto b : bytes) x ^= b;
    return x;
}

// ESC, command, length, data, checksum.
Bytes buildFrame(std::uint8_t command, ByteSpan data);
inline Bytes buildFrame(Command command, ByteSpan data) { return buildFrame(static_cast<std::uint8_t>(command), data); }

}  // namespace kt64::link
