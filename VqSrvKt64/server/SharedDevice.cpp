// Queue operations under DeviceState::Lock and the field copies the worker
// uses to move values between the shared record and its working copy.
#include "SharedDevice.h"

#include <algorithm>

namespace kt64::server {

bool SharedDevice::enqueue(std::int32_t code, bool force) {
    // Lock and CommandQueue are touched only here and in takeHead/queued,
    // never under the state lock, so the two locks are never nested.
    auto& dev = record_.device;
    std::lock_guard lock(dev.Lock);
    if (!force && std::find(dev.CommandQueue.begin(), dev.CommandQueue.end(), code) != dev.CommandQueue.end())
        return false;
    dev.CommandQueue.push_back(code);
    return true;
}

std::optional<std::int32_t> SharedDevice::takeHead() {
    auto& dev = record_.device;
    std::lock_guard lock(dev.Lock);
    if (dev.CommandQueue.empty()) return std::nullopt;
    auto head = dev.CommandQueue.front();
    dev.CommandQueue.pop_front();
    return head;
}

std::vector<std::int32_t> SharedDevice::queued() {
    auto& dev = record_.device;
    std::lock_guard lock(dev.Lock);
    return {dev.CommandQueue.begin(), dev.CommandQueue.end()};
}

void copyDecodedFields(const link::DeviceState& from, link::DeviceState& to) {
    to.GmtTime = from.GmtTime;
    to.LocTime = from.LocTime;
    to.LineTime = from.LineTime;
    to.AlarmSyncTran = from.AlarmSyncTran;
    to.AlarmSet = from.AlarmSet;
    to.AlarmAku36 = from.AlarmAku36;
    to.AlarmPower = from.AlarmPower;
    to.AlarmSync = from.AlarmSync;
    to.AlarmAntena = from.AlarmAntena;
    to.AlarmManSet = from.AlarmManSet;
    to.AlarmLine1 = from.AlarmLine1;
    to.LocalOffset = from.LocalOffset;
    to.KeyTimeZL = from.KeyTimeZL;
    to.ChangeTimeZL = from.ChangeTimeZL;
    to.KeyTimeLZ = from.KeyTimeLZ;
    to.ChangeTimeLZ = from.ChangeTimeLZ;
    to.SetChangeTimeOn = from.SetChangeTimeOn;
    to.SetWinterTime = from.SetWinterTime;
    to.SetLine1AnalOn = from.SetLine1AnalOn;
    to.SetLine1DigitOn = from.SetLine1DigitOn;
    to.SerialNum = from.SerialNum;
    to.BuildType = from.BuildType;
    to.NoSyncSource = from.NoSyncSource;
    to.LineDigitType = from.LineDigitType;
    to.FrameMonotonicNs = from.FrameMonotonicNs;
    to.FrameRealtimeNs = from.FrameRealtimeNs;
    to.FrameNo = from.FrameNo;
    to.RequestMonotonicNs = from.RequestMonotonicNs;
}

void copyPendingValues(const link::DeviceState& from, link::DeviceState& to) {
    to.NewGmtTime = from.NewGmtTime;
    to.NewLineAnalOn = from.NewLineAnalOn;
    to.NewLineDigitOn = from.NewLineDigitOn;
    to.NewLineTime = from.NewLineTime;
    to.NewSerial = from.NewSerial;
    to.NewBuild = from.NewBuild;
    to.NewLineDigitType = from.NewLineDigitType;
    to.NewLocalOffset = from.NewLocalOffset;
    to.NewKeyTimeZL = from.NewKeyTimeZL;
    to.NewChangeTimeZL = from.NewChangeTimeZL;
    to.NewKeyTimeLZ = from.NewKeyTimeLZ;
    to.NewChangeTimeLZ = from.NewChangeTimeLZ;
    to.NewChangeTimeOn = from.NewChangeTimeOn;
    to.PendingParams = from.PendingParams;
}

}  // namespace kt64::server
