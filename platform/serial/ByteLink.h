// The byte link that the centre's procedures talk through: a request goes out
// with one write, an answer comes back with one read that waits at most the
// link's time-outs. SerialPort is the real one; tests put a scripted fake in
// its place so the procedures run without a device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kt64::serial {

class ByteLink {
public:
    virtual ~ByteLink() = default;

    // Reads up to buffer.size() bytes, waiting no longer than the link's
    // time-outs allow. Returns how many arrived; fewer than asked (even 0) is
    // not an error, the protocol judges a short answer. Throws
    // SerialPortError when the device fails or has gone.
    virtual std::size_t read(std::span<std::uint8_t> buffer) = 0;

    // Writes the bytes with one system write. Returns how many went out (a
    // short count is returned, not retried). Throws SerialPortError when the
    // device fails or has gone.
    virtual std::size_t write(std::span<const std::uint8_t> bytes) = 0;

    // Drops every byte already received and not yet read: an answer that came
    // after its read timed out, or line noise. Called before each request so
    // that an answer is never taken from an earlier exchange. Throws
    // SerialPortError when the device fails or has gone.
    virtual void discardInput() = 0;
};

}  // namespace kt64::serial
