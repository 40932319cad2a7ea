// PseudoTerminal: an RAII pseudo-terminal pair standing in for a serial line.
// The slave side (slavePath(), e.g. /dev/pts/5) is what a serial client opens
// like a port; whoever plays the centre reads and writes the master side.
// The line is put in raw mode (no echo, no character translation, 8 bits),
// so every byte passes unchanged in both directions.
//
// By default the pair also keeps one descriptor of its own slave side open.
// Without it the master sees a hang-up (poll() reports POLLHUP, read() fails
// with EIO) whenever no client has the slave open, e.g. between a client's
// close and its next open. Pass holdSlave = false to observe those hang-ups.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "UniqueFd.h"

namespace kt64::serial {

class PseudoTerminal {
public:
    // Throws SerialPortError when the system refuses a new pty.
    explicit PseudoTerminal(bool holdSlave = true);
    ~PseudoTerminal();
    PseudoTerminal(PseudoTerminal&& other) noexcept = default;
    PseudoTerminal& operator=(PseudoTerminal&& other) noexcept;
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Master descriptor, non-blocking and close-on-exec; -1 once closed.
    int masterFd() const noexcept { return master_.get(); }
    const std::string& slavePath() const noexcept { return slavePath_; }

    // Closes the master (and the held slave descriptor): for the slave's
    // user the device has gone, as when a USB adapter is pulled out.
    void closeMaster() noexcept;

    // Conveniences for tests: write all bytes to the master (throws
    // SerialPortError on failure), and read from the master whatever
    // arrives until count bytes are in or timeout passes without completing.
    void writeMaster(std::span<const std::uint8_t> bytes);
    std::size_t readMaster(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout);

private:
    void reset() noexcept;

    // Declared master first: members go in reverse order, so the held slave
    // is closed before the master, as reset() does.
    UniqueFd master_;
    UniqueFd heldSlave_;
    std::string slavePath_;
};

}  // namespace kt64::serial
