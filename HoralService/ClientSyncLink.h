// ClientSyncLink: the synchronisation worker's link to the real link server
// through its client library; each connect() creates the server's object on
// the named computer for one cycle, and a failure of the library becomes a
// LinkError with the server's HRESULT and description.
#pragma once

#include "SyncLink.h"

namespace kt64::sync {

class ClientSyncLink final : public SyncConnector {
public:
    // clientName: how the program is named in the link server's log.
    explicit ClientSyncLink(std::string clientName) : clientName_(std::move(clientName)) {}
    std::unique_ptr<SyncServer> connect(const std::string& computer) override;

private:
    std::string clientName_;
};

}  // namespace kt64::sync
