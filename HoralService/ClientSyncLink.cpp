// The worker's link over the link server's client library.
#include "ClientSyncLink.h"

#include "Kt64Client.h"

namespace kt64::sync {
namespace {

LinkError asLinkError(const client::ServerError& e) { return LinkError(e.code(), e.description()); }

class ClientSyncServer final : public SyncServer {
public:
    explicit ClientSyncServer(std::unique_ptr<client::Kt64Srv> server) : server_(std::move(server)) {}

    DATE getSyncTime() override {
        try {
            return server_->GetSyncTime();
        } catch (const client::ServerError& e) {
            throw asLinkError(e);
        }
    }

    void waitForDeviceRead() override {
        try {
            server_->WaitForDeviceRead();
        } catch (const client::ServerError& e) {
            throw asLinkError(e);
        }
    }

private:
    std::unique_ptr<client::Kt64Srv> server_;
};

}  // namespace

ClientSyncLink::ClientSyncLink(std::string clientName)
    : clientName_(std::move(clientName)), cancellation_(std::make_shared<client::CallCancellation>()) {}

void ClientSyncLink::cancel() { cancellation_->cancel(); }

std::unique_ptr<SyncServer> ClientSyncLink::connect(const std::string& computer) {
    try {
        client::ConnectOptions options;
        options.clientName = clientName_;
        options.cancellation = cancellation_;
        return std::make_unique<ClientSyncServer>(client::ConnectServer(computer, options));
    } catch (const client::ServerError& e) {
        throw asLinkError(e);
    }
}

}  // namespace kt64::sync
