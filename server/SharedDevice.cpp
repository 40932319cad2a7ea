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
    static_cast<link::DecodedStatus&>(to) = from;
}

void copyPendingValues(const link::DeviceState& from, link::DeviceState& to) {
    static_cast<link::PendingValues&>(to) = from;
}

}  // namespace kt64::server
