// The line settings of a serial port (speed, parity, data and stop bits, flow
// control) as the port's open takes them, and their mapping onto termios.
// Parity and stop-bit values keep the numbering the callers use: parity
// 0 even, 1 mark, 2 none, 3 odd, 4 space; stop bits 0 one, 1 one and a half,
// 2 two; flow control 0 none. Mark and space parity are stick parity (CMSPAR
// with PARODD for mark, without it for space).
#pragma once

#include <termios.h>

#include <chrono>

namespace kt64::serial {

enum class Parity : int { Even = 0, Mark = 1, None = 2, Odd = 3, Space = 4 };
enum class StopBits : int { One = 0, OneAndHalf = 1, Two = 2 };
enum class FlowControl : int { None = 0 };

// Sets tio for the line: raw 8-bit bytes (no translation, no echo, no
// signals), receiver on and modem status lines ignored (CLOCAL) so that
// neither open nor read waits for carrier, no flow control, VMIN = VTIME = 0
// (reads are timed by the port itself). Returns 0, or EINVAL for a value the
// line cannot take: a speed without a termios rate, data bits outside 5..8,
// 1.5 stop bits with other than 5 data bits, flow control other than none.
int applyLineSettings(termios& tio, int baud, Parity parity, int dataBits, StopBits stopBits, FlowControl flow);

// The time one character takes on the line: its start bit, data bits,
// parity bit (unless none) and stop bits at baud bits a second; 10 bits at
// 4800 baud make 2.083 ms. Zero for a baud rate that is not positive.
std::chrono::nanoseconds characterTime(int baud, Parity parity, int dataBits, StopBits stopBits);

}  // namespace kt64::serial
