// AutomationObject: the link server's automation object (the class Kt64Srv
// of the interface) without any transport.
// Every member of IKt64Srv is one method here that answers a CallStatus (the
// HRESULT and its Polish text) and, for getters, the value. The gRPC service
// is a thin layer over it; tests call it directly.
//
// Apartment: calls run one at a time (one mutex for every member), as on the
// server's single apartment thread; they overlap only with the worker.
// WaitForDeviceRead is the one exception by design: it registers its wait
// while serialised, then waits outside, so one waiting client does not hold
// every other client up for up to 5 s.
//
// Getters answer from the last published status without touching the port;
// setters store the pending value, queue a worker command and return at once.
// Refusals of setters are recorded in ErrorCode/ErrorText (so getters that
// fail later may report them) except the registry and wait errors of
// SetComPort, GetComPort and WaitForDeviceRead and the readiness refusals of
// GetSyncTime.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "CallResult.h"
#include "DeviceReadEvent.h"
#include "OleDate.h"
#include "ServerConfig.h"
#include "SharedDevice.h"
#include "StampedSyncTime.h"

namespace kt64::server {

// VARTYPE of the command-list container: VT_ARRAY | VT_UI1.
inline constexpr std::uint32_t kVtArrayOfBytes = 0x2011;
// Longest wait of WaitForDeviceRead.
inline constexpr std::chrono::milliseconds kDeviceReadTimeout{5000};

using link::StampedSyncTime;

class AutomationObject {
public:
    AutomationObject(SharedDevice& device, DeviceReadEvent& readEvent, ServerConfig& config);

    CallResult<DATE> GetSyncTime();
    // GetSyncTime with the frame's stamps; refuses exactly when it does.
    CallResult<StampedSyncTime> GetSyncTimeStamped();
    CallStatus SetComPort(std::uint32_t PortNo);
    CallResult<std::uint32_t> GetComPort();
    // Blocking form, for in-process callers.
    CallStatus WaitForDeviceRead();
    // Asynchronous form: done runs once, on the event's dispatcher thread.
    void WaitForDeviceRead(std::function<void(CallStatus)> done);

    CallResult<DATE> GetGmtTime();
    CallStatus PutGmtTime(DATE newVal);
    CallResult<DATE> GetLocTime();
    CallStatus PutLocTime(DATE newVal);
    CallResult<DATE> GetLineTime();
    CallStatus PutLineTime(DATE newVal);
    CallResult<std::uint32_t> GetAlarmFlag();  // FAlarm bits
    CallResult<std::uint32_t> GetSetFlag();    // FSet bits
    CallStatus PutSetFlag(std::uint32_t newVal);
    CallResult<double> GetLocalOffset();
    CallStatus PutLocalOffset(double newVal);
    CallResult<std::int32_t> GetKeyTimeZL();  // EKeyChg
    CallStatus PutKeyTimeZL(std::int32_t newVal);
    CallResult<DATE> GetChangeTimeZL();
    CallStatus PutChangeTimeZL(DATE newVal);
    CallResult<std::int32_t> GetKeyTimeLZ();
    CallStatus PutKeyTimeLZ(std::int32_t newVal);
    CallResult<DATE> GetChangeTimeLZ();
    CallStatus PutChangeTimeLZ(DATE newVal);
    CallStatus ComunicationEnable(std::uint32_t Enabled);
    CallResult<std::string> GetSerialNum();
    CallStatus PutSerialNum(std::string_view newVal);
    CallResult<std::string> GetBuildType();
    CallStatus PutBuildType(std::string_view newVal);
    CallResult<std::int32_t> GetLineDigitType();  // EDigLine
    CallStatus PutLineDigitType(std::int32_t newVal);
    CallStatus PutChangeTimeOn(std::uint32_t newVal);

    // The downloaded command list (2905 bytes, VARTYPE 0x2011).
    CallResult<std::vector<std::uint8_t>> GetRozkazy();
    // vt is the VARIANT's type; bytes the elements of its one-dimensional
    // byte array.
    CallStatus PutRozkazy(std::uint32_t vt, std::span<const std::uint8_t> bytes);
    CallResult<std::uint32_t> GetRozkazPos();
    CallStatus StartGetRozkazy();
    CallResult<std::uint32_t> GetRozkazRxPos();

private:
    // The validity rule: S_OK while the status is valid, else the last error.
    static CallStatus validity(const link::DeviceState& dev);
    // Stores the refusal as the last error and returns it.
    CallStatus refuse(HRESULT hr, std::string_view text);
    // A refusal already under the state lock.
    static CallStatus refuseLocked(DeviceRecord& r, HRESULT hr, std::string_view text);

    template <class T, class Read>
    CallResult<T> statusGetter(Read read);

    // Stores a parameter value under its PendingParams bit and queues the
    // parameters request (result ignored).
    template <class Store>
    CallStatus putParam(std::uint32_t bit, Store store);

    std::mutex apartment_;
    SharedDevice& device_;
    DeviceReadEvent& readEvent_;
    ServerConfig& config_;
};

// Text parsing of the SerialNum setter, exposed for tests.
// SerialNum: "XX/XXXX"; bytes 1..3 from the three hexadecimal groups, each
// read up to its first non-hex character; a group that starts with one leaves
// that byte as it was. false when the text is not 7 characters with '/' third.
bool parseSerialText(std::string_view text, std::array<std::uint8_t, 3>& serial);

}  // namespace kt64::server
