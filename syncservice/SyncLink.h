// The seam between the synchronisation worker and the link server: connect
// to the server on a computer for one cycle, then read the centre's time and
// wait for the server's next read of the centre. The real link is
// ClientSyncLink over the link server's client library; tests use a fake.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "CentreBracket.h"
#include "HResult.h"
#include "OleDate.h"

namespace kt64::sync {

// A failed connection or call, with the server's HRESULT and, when the
// server supplied one, its error description (UTF-8).
class LinkError : public std::runtime_error {
public:
    LinkError(HRESULT code, std::optional<std::string> description)
        : std::runtime_error(description ? *description : "link server call failed"),
          code_(code),
          description_(std::move(description)) {}
    HRESULT code() const noexcept { return code_; }
    const std::optional<std::string>& description() const noexcept { return description_; }

private:
    HRESULT code_;
    std::optional<std::string> description_;
};

// getSyncTime's value with the stamps of the frame it comes from (the
// stamps' placement: half the call's round trip, in which the server
// answered), and the centre's GMT in the same frame.
struct StampedReading : FrameStamps {
    DATE time = 0.0;
    DATE gmt = 0.0;
};

// The link server's object for one cycle; released when destroyed.
class SyncServer {
public:
    virtual ~SyncServer() = default;
    // The centre's local time in whole seconds. Throws LinkError.
    virtual DATE getSyncTime() = 0;
    // The centre's time with the stamp of the status frame it comes from,
    // placed on this process's monotonic clock. Fails exactly when
    // getSyncTime does. Throws LinkError.
    virtual StampedReading getStampedSyncTime() = 0;
    // The centre's GMT in whole seconds (of the server's last frame). Throws
    // LinkError.
    virtual DATE getGmtTime() = 0;
    // Returns when the server has completed its next read of the centre.
    // Throws LinkError (a time-out included).
    virtual void waitForDeviceRead() = 0;
};

class SyncConnector {
public:
    virtual ~SyncConnector() = default;
    // Creates the link server's object on computer. Throws LinkError when no
    // connection was made.
    virtual std::unique_ptr<SyncServer> connect(const std::string& computer) = 0;
};

}  // namespace kt64::sync
