// ClientSyncLink: the synchronisation worker's link to the real link server
// through its client library; each connect() creates the server's object on
// the named computer for one cycle, and a failure of the library becomes a
// LinkError with the server's HRESULT and description. cancel() ends a
// connection or call in progress at once, so a stop need not wait for its
// deadline (up to 8 s).
#pragma once

#include <memory>
#include <string>

#include "SyncLink.h"

namespace kt64::client {
class CallCancellation;
}

namespace kt64::sync {

class ClientSyncLink final : public SyncConnector {
public:
    // clientName: how the program is named in the link server's log.
    explicit ClientSyncLink(std::string clientName);
    std::unique_ptr<SyncServer> connect(const std::string& computer) override;
    // Ends the call or connection in progress and every later one (they
    // fail with a LinkError); for a program that is stopping.
    void cancel();

private:
    std::string clientName_;
    std::shared_ptr<client::CallCancellation> cancellation_;
};

}  // namespace kt64::sync
