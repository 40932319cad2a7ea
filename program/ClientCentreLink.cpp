// ClientCentreLink: CentreLink over the link-server client object.
#include "ClientCentreLink.h"

namespace kt64::program {

template <typename F>
auto ClientCentreLink::call(F f) {
    if (!server_) throw LinkError(client::E_RPC_SERVER_UNAVAILABLE, std::nullopt);
    try {
        return f();
    } catch (const client::ServerError& e) {
        throw LinkError(e.code(), e.description());
    }
}

bool ClientCentreLink::Connected() const { return server_ && server_->leaseHeld(); }

std::string ClientCentreLink::BuildType() {
    return call([&] { return server_->GetBuildType(); });
}

void ClientCentreLink::PutRozkazy(std::span<const std::uint8_t> image) {
    call([&] { server_->PutRozkazy(image, client::kVtArrayUi1); });
}

std::uint32_t ClientCentreLink::RozkazPos() {
    return call([&] { return server_->GetRozkazPos(); });
}

void ClientCentreLink::StartGetRozkazy() {
    call([&] { server_->StartGetRozkazy(); });
}

std::uint32_t ClientCentreLink::RozkazRxPos() {
    return call([&] { return server_->GetRozkazRxPos(); });
}

ReceivedList ClientCentreLink::GetRozkazy() {
    return call([&] {
        auto list = server_->GetRozkazy();
        return ReceivedList{list.vt, std::move(list.bytes)};
    });
}

std::optional<LinkError> ClientCentreLink::centreFault() {
    if (!server_) return std::nullopt;
    try {
        // The device-read event keeps one signal given while nobody waited,
        // from an exchange before the transfer: the first wait may take that
        // one, the second is the end of an exchange after the transfer, which
        // tells the centre's state now.
        server_->WaitForDeviceRead();
        server_->WaitForDeviceRead();
        server_->GetGmtTime();
    } catch (const client::ServerError& e) {
        return LinkError(e.code(), e.description());
    }
    return std::nullopt;
}

}  // namespace kt64::program
