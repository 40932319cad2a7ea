// The worker's link over the link server's client library.
#include "ClientSyncLink.h"

#include "Kt64Client.h"

namespace kt64::sync {
namespace {

LinkError asLinkError(const client::ServerError& e) { return LinkError(e.code(), e.description()); }

class ClientSyncServer final : public SyncServer {
public:
    explicit ClientSyncServer(std::unique_ptr<client::ServerProxy> server) : server_(std::move(server)) {}

    DATE getSyncTime() override {
        try {
            return server_->GetSyncTime();
        } catch (const client::ServerError& e) {
            throw asLinkError(e);
        }
    }

    StampedReading getStampedSyncTime() override {
        client::StampedSyncTime answer;
        try {
            answer = server_->GetSyncTimeStamped();
        } catch (const client::ServerError& e) {
            throw asLinkError(e);
        }
        // The server answered somewhere between sending and receiving; the
        // middle is the best guess, off by at most half the round trip. The
        // frame's age on the server's clock then places it on ours, whether
        // the server runs on this computer or another.
        const auto answered = answer.sent + (answer.received - answer.sent) / 2;
        const auto age = std::chrono::nanoseconds(answer.ServerMonotonicNs - answer.FrameMonotonicNs);
        const auto requestAge = std::chrono::nanoseconds(answer.ServerMonotonicNs - answer.RequestMonotonicNs);
        // A server without the request's stamp gives 0: no earlier bound then.
        const auto requested = answer.RequestMonotonicNs != 0 && requestAge >= age
                                   ? std::chrono::time_point_cast<SteadyTime::duration>(answered - requestAge)
                                   : SteadyTime{};
        // A server that does not send the frame's GMT is asked for it.
        const DATE gmt = answer.GmtTime != 0.0 ? answer.GmtTime : getGmtTime();
        const FrameStamps stamps{
            std::chrono::time_point_cast<SteadyTime::duration>(answered - age), answer.FrameNo, requested,
            std::chrono::duration_cast<std::chrono::nanoseconds>(answer.received - answer.sent) / 2};
        return {stamps, answer.Time, gmt};
    }

    DATE getGmtTime() override {
        try {
            return server_->GetGmtTime();
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
    std::unique_ptr<client::ServerProxy> server_;
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
