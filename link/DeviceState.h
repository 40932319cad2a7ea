// DeviceState: the link server's one picture of the centre. It holds the
// worker's command queue, the outcome of the last exchange
// (ErrorCode/ErrorText/StatusValid), every field decoded from the last good
// 50-byte status frame, the values clients asked to be written but that have
// not gone out yet (the New... fields and the PendingParams mask), and the
// command-list transfer state. Fields keep the order and names the rest of
// the server uses. A plain struct: the status decoding (StatusFrame.h) and
// the procedures (Procedures.h) write it; the worker decides how getters on
// other threads see it (Lock guards CommandQueue only).
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "HResult.h"
#include "OleDate.h"

namespace kt64::link {

// Bits of PendingParams: which pending values the parameters request sends.
enum PendingParam : std::uint32_t {
    P_LOCALOFFSET = 0x01,
    P_KEYTIMEZL = 0x02,
    P_CHANGETIMEZL = 0x04,
    P_KEYTIMELZ = 0x08,
    P_CHANGETIMELZ = 0x10,
    P_CHANGETIMEON = 0x20,
};

// Decoded from the status frame. Zero until the first good frame. Copied
// whole between the worker's copy and the shared one, so a field added here
// is published with the others.
struct DecodedStatus {
    DATE GmtTime = 0;
    DATE LocTime = 0;
    DATE LineTime = 0;  // time of day on 1 January 1900 (2.0 = 00:00)
    bool AlarmSyncTran = false;
    bool AlarmSet = false;
    bool AlarmAku36 = false;
    bool AlarmPower = false;
    bool AlarmSync = false;
    bool AlarmAntena = false;
    bool AlarmManSet = false;
    bool AlarmLine1 = false;
    double LocalOffset = 0;  // days, local minus GMT
    std::int32_t KeyTimeZL = 0;
    DATE ChangeTimeZL = 0;  // month, day and hour in 1900
    std::int32_t KeyTimeLZ = 0;
    DATE ChangeTimeLZ = 0;
    bool SetChangeTimeOn = false;
    bool SetWinterTime = false;
    bool SetLine1AnalOn = false;
    bool SetLine1DigitOn = false;
    std::string SerialNum;  // "0A/1B2C"
    std::string BuildType;  // "KT-64/GPS/1/232 V1.2"
    bool NoSyncSource = false;
    std::int32_t LineDigitType = 0;
    // When the last byte of the last good status frame was read: the
    // server's monotonic and real-time clocks (ns since their epochs), and
    // the number of good frames so far. A client that times the centre's
    // second change needs the instant of the frame, not of its own call.
    std::int64_t FrameMonotonicNs = 0;
    std::int64_t FrameRealtimeNs = 0;
    std::uint64_t FrameNo = 0;
    // When the request that the last good frame answers was written (the
    // monotonic clock): the centre took the time it reports no earlier.
    std::int64_t RequestMonotonicNs = 0;
};

// Pending values; each is read only by the request its setter queues.
// Copied whole, like DecodedStatus.
struct PendingValues {
    DATE NewGmtTime = 0;
    bool NewLineAnalOn = false;
    bool NewLineDigitOn = false;
    DATE NewLineTime = 0;
    std::array<std::uint8_t, 3> NewSerial{};
    std::array<std::uint8_t, 3> NewBuild{};  // source, relay outputs, interface codes
    std::int32_t NewLineDigitType = 0;
    double NewLocalOffset = 0;
    std::int32_t NewKeyTimeZL = 0;
    DATE NewChangeTimeZL = 0;
    std::int32_t NewKeyTimeLZ = 0;
    DATE NewChangeTimeLZ = 0;
    bool NewChangeTimeOn = false;
    std::uint32_t PendingParams = 0;  // PendingParam bits
};

// Command-list transfer as clients see it.
struct TransferState {
    // The last complete image downloaded (2905 bytes); empty when none, or
    // once a new download is queued. An upload's image waits elsewhere
    // (the server's SendBuffer).
    std::vector<std::uint8_t> TransferBuffer;
    std::int32_t SendRemaining = 0;  // bytes still to send, counts down
    std::int32_t RecvCount = 0;      // bytes received, counts up
    bool SendFailed = false;
    bool RecvFailed = false;
};

// The groups are bases so that every user keeps naming the fields directly.
struct DeviceState : DecodedStatus, PendingValues, TransferState {
    // Queued worker commands, guarded by Lock.
    std::deque<std::int32_t> CommandQueue;
    std::string ErrorText{text::kNoError};
    HRESULT ErrorCode = E_KT64_NOERROR;
    // True when the last exchange ended with a good status frame.
    bool StatusValid = false;
    // When the request now under way was written (monotonic clock), until
    // its answer is judged; then it becomes RequestMonotonicNs.
    std::int64_t PendingRequestMonotonicNs = 0;
    std::mutex Lock;
};

}  // namespace kt64::link
