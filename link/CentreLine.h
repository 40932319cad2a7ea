// The centre's serial line as the protocol fixes it, for everything that
// opens the line or reckons with its speed: 4800 baud, 8 data bits, no
// parity, one stop bit, no flow control (10 bits a character on the wire),
// and the read time-outs within which the centre answers. The serial port
// itself (platform/serial) knows nothing of the centre; the link server,
// the emulated centre and the synchronisation's timing take the line from
// here.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "Frame.h"
#include "SerialPort.h"

namespace kt64::link {

inline constexpr int kLineBaud = 4800;
inline constexpr int kLineDataBits = 8;
inline constexpr serial::Parity kLineParity = serial::Parity::None;
inline constexpr serial::StopBits kLineStopBits = serial::StopBits::One;
// Start bit, the data bits and the stop bit.
inline constexpr int kLineBitsPerCharacter = 1 + kLineDataBits + 1;

// The time bytes characters take on the line.
constexpr std::chrono::nanoseconds lineTime(std::size_t bytes) {
    return std::chrono::nanoseconds(static_cast<long long>(bytes) * kLineBitsPerCharacter * 1'000'000'000LL /
                                    kLineBaud);
}

// Read time-outs within which the centre answers: at most 100 ms between
// two characters, 1 ms a character and 1500 ms over all.
inline constexpr serial::CommTimeouts kCentreTimeouts{100, 1, 1500, 0, 0};

// The status request (1B 11 00 0A), the shortest request the centre answers.
inline constexpr std::size_t kStatusRequestSize = 4;

// The link server's whole opening sequence, in its order: the device with
// the line above, queues 1000/1000, the centre's read time-outs (the write
// time-outs kept), RTS then DTR.
void openForCentre(serial::SerialPort& port, const std::string& devicePath);

}  // namespace kt64::link
