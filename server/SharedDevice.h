// The one DeviceState of the server process as the worker and the client
// calls share it.
//
// Two locks, never held across port I/O or sleeps:
//  - the state lock guards every field that client calls read or write
//    (decoded status, StatusValid, ErrorCode/ErrorText, the pending New...
//    values, PendingParams, the transfer counters and buffers), so a getter
//    never sees a half-written date or text and a snapshot is always from one
//    exchange;
//  - DeviceState::Lock guards CommandQueue only (Enqueue and the worker's
//    look-and-remove).
// The worker runs its exchanges on a private working copy and publishes the
// outcome under the state lock (LinkWorker), so a client call never waits for
// the line.
//
// Two transfer buffers: SendBuffer holds an image queued for upload (client
// writes it, the worker takes it when the upload starts); TransferBuffer holds
// the last downloaded image, readable until the next download is queued.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "DeviceState.h"

namespace kt64::server {

struct DeviceRecord {
    link::DeviceState device;
    // Image waiting for upload: n + 7 bytes (the last 7 spare, zero).
    std::vector<std::uint8_t> SendBuffer;
    // A download is queued or running (StartGetRozkazy refuses meanwhile).
    bool DownloadBusy = false;
};

class SharedDevice {
public:
    SharedDevice() = default;
    SharedDevice(const SharedDevice&) = delete;
    SharedDevice& operator=(const SharedDevice&) = delete;

    // Runs f on the record under the state lock and returns its result.
    template <class F>
    decltype(auto) access(F&& f) {
        std::lock_guard lock(stateLock_);
        return std::forward<F>(f)(record_);
    }
    template <class F>
    decltype(auto) access(F&& f) const {
        std::lock_guard lock(stateLock_);
        return std::forward<F>(f)(std::as_const(record_));
    }

    // Appends code unless it is already waiting (force appends anyway).
    // Returns whether it was appended: false means the same command is still
    // waiting and will run with the values stored meanwhile.
    bool enqueue(std::int32_t code, bool force = false);
    // The worker's look-and-remove of the head.
    std::optional<std::int32_t> takeHead();
    // Copy of the queue, head first (tests, diagnostics).
    std::vector<std::int32_t> queued();

private:
    mutable std::mutex stateLock_;
    DeviceRecord record_;
};

// Copies the fields decoded from a status frame and the frame's stamps
// (DecodedStatus, whole).
void copyDecodedFields(const link::DeviceState& from, link::DeviceState& to);
// Copies the values clients store for the setting requests (PendingValues,
// whole).
void copyPendingValues(const link::DeviceState& from, link::DeviceState& to);

}  // namespace kt64::server
