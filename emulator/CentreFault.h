// Faults the emulated centre can be told to show, so the link core's failure
// paths can be driven on demand. One fault is active at a time; setting a new
// one replaces the old. A fault lasts until it is changed, or for a given
// number of answers ("once", "times N").
//
//   none           answer normally
//   silent         ignore every request: nothing is applied, nothing answered
//   late MS        apply, then answer MS milliseconds later
//   checksum       answer with the last byte's bits 0x5A flipped (XOR no longer 0)
//   marker         answer with a broken marker and a correct checksum: status
//                  byte 27 = 0x00, acknowledgement byte 2 = 0x03, record answer
//                  byte 2 = 0x08
//   short          answer with the last byte left off (49, 5 or 12 bytes)
//   ack-refuse K   record K of a write (0xDD) is not stored and not
//                  acknowledged; record K of a read (0xEE) is not answered
//   ack-corrupt K  record K is handled, but its acknowledgement or answer
//                  carries a wrong checksum
//   garbage N      N stray bytes (0x55) go out before the answer, as line noise
//                  or a dropped-in device would put them
//
// The first five and garbage act on every answer (status frames, acknowledgements, record
// answers); the ack- faults only on the record with index K, in every transfer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kt64::sim {

enum class FaultKind { None, Silent, Late, Checksum, Marker, Short, AckRefuse, AckCorrupt, Garbage };

struct Fault {
    FaultKind kind = FaultKind::None;
    // Milliseconds for Late, the record index for AckRefuse and AckCorrupt, the
    // number of stray bytes for Garbage.
    int argument = 0;
    // How many more answers (for the ack- faults: occurrences of record K) it
    // affects; -1 = until changed.
    int remaining = -1;

    friend bool operator==(const Fault&, const Fault&) = default;
};

// Parses "KIND [ARG] [once|times N]" as listed above. On failure returns none
// and, when error is given, a one-line reason.
std::optional<Fault> parseFault(std::string_view text, std::string* error = nullptr);

// The text form parseFault reads back, e.g. "late 300 times 2".
std::string describeFault(const Fault& fault);

}  // namespace kt64::sim
