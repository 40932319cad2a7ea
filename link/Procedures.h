// The procedures the worker runs, one per request to the centre: each writes
// its request through the byte link, reads the answer and records the outcome
// in DeviceState. Whatever waits in the input is dropped before each request
// (and each record of a transfer) goes out. A request answered by a status frame reads 50 bytes and
// hands them to the status decoding, which records any failure. Serial
// failures (SerialPortError) pass through to the caller, which treats them
// as a port failure. None of them holds a lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "ByteLink.h"
#include "DeviceState.h"
#include "HResult.h"

namespace kt64::link {

using serial::ByteLink;

// Records the instants a good status frame's last byte was read and counts
// the frame (FrameMonotonicNs, FrameRealtimeNs, FrameNo); the frame's request
// was written at PendingRequestMonotonicNs (RequestMonotonicNs).
void stampFrame(DeviceState& state, std::chrono::steady_clock::time_point monotonic,
                std::chrono::system_clock::time_point realtime);

// Request 0x11, then the status frame. Returns the decoding's outcome.
HRESULT exchangeStatus(ByteLink& link, DeviceState& state);

// Setting requests, each answered by the status frame. The values come from
// the pending New... fields. setTime and setLineTime send nothing when their
// date does not convert (or, for the time, lies outside 2000..2099): they
// record 0x80040202 "Błędne dane ustawiane." and clear StatusValid.
HRESULT setTime(ByteLink& link, DeviceState& state);      // 0x22, NewGmtTime
HRESULT switchLines(ByteLink& link, DeviceState& state);  // 0x77, NewLineAnalOn/DigitOn
HRESULT setLineTime(ByteLink& link, DeviceState& state);  // 0x88, NewLineTime
HRESULT setSerial(ByteLink& link, DeviceState& state);    // 0xAA, NewSerial
HRESULT setType(ByteLink& link, DeviceState& state);      // 0xBB, NewBuild
// 0x33 from the pending values and the current ones; PendingParams becomes 0
// once the frame is written.
HRESULT setParams(ByteLink& link, DeviceState& state);
HRESULT setDigitalLineType(ByteLink& link, DeviceState& state);  // 0x99, NewLineDigitType

// Called after every record with the transfer counter's new value
// (SendRemaining or RecvCount). Returning false stops the transfer, which
// then counts as failed: this is how a worker that is asked to stop avoids
// waiting the 16 s of a whole transfer.
using TransferProgress = std::function<bool(std::int32_t counter)>;

// Record-by-record upload of buffer (n + 7 bytes, the last 7 spare) while
// sendRemaining > 0: 0xDD per record, one acknowledgement each; the first bad
// or missing acknowledgement stops it. Returns true on success.
bool uploadRecords(ByteLink& link, std::span<const std::uint8_t> buffer, std::int32_t& sendRemaining,
                   const TransferProgress& progress = {});
// Record-by-record download into buffer (at least 2905 bytes) while
// recvCount < 2905: 0xEE per record; stops at the first bad or missing
// answer, recvCount staying at the bytes received. Returns true on success.
bool downloadRecords(ByteLink& link, std::span<std::uint8_t> buffer, std::int32_t& recvCount,
                     const TransferProgress& progress = {});

// The server's upload of a command list: buffer (the image, SendRemaining
// bytes) padded with zeros to whole records, then uploadRecords. remaining
// counts down as records are acknowledged.
bool uploadCommandList(ByteLink& link, std::vector<std::uint8_t> buffer, std::int32_t& remaining,
                       const TransferProgress& progress = {});
// The server's download of a command list: buffer = 2912 zero bytes,
// count = 0, then downloadRecords.
bool downloadCommandList(ByteLink& link, std::vector<std::uint8_t>& buffer, std::int32_t& count,
                         const TransferProgress& progress = {});

// How a transfer's end shows in the state clients read. An upload:
// SendFailed = failure, SendRemaining = 0. A download: RecvFailed =
// failure, RecvCount = the bytes received; only a complete image becomes
// TransferBuffer (2905 bytes), so a client never takes a part of a list for
// the centre's whole one.
void endUpload(DeviceState& state, bool ok);
void endDownload(DeviceState& state, bool ok, std::int32_t count, std::span<const std::uint8_t> buffer);

// Buffer sizes of the two transfers.
inline constexpr std::size_t kTransferSpare = 7;
inline constexpr std::size_t kReceiveBufferSize = 2912;

}  // namespace kt64::link
