// ServerLink: CentreLink over the client object.
#include "ServerLink.h"

namespace kt64::console {

template <typename F>
auto ServerLink::call(F f) {
    if (!server_) throw program::LinkError(client::E_RPC_SERVER_UNAVAILABLE, std::nullopt);
    try {
        return f();
    } catch (const client::ServerError& e) {
        throw program::LinkError(e.code(), e.description());
    }
}

bool ServerLink::Connected() const { return server_ && server_->leaseHeld(); }

std::string ServerLink::BuildType() {
    return call([&] { return server_->GetBuildType(); });
}

void ServerLink::PutRozkazy(std::span<const std::uint8_t> image) {
    call([&] { server_->PutRozkazy(image, client::kVtArrayUi1); });
}

std::uint32_t ServerLink::RozkazPos() {
    return call([&] { return server_->GetRozkazPos(); });
}

void ServerLink::StartGetRozkazy() {
    call([&] { server_->StartGetRozkazy(); });
}

std::uint32_t ServerLink::RozkazRxPos() {
    return call([&] { return server_->GetRozkazRxPos(); });
}

program::ReceivedList ServerLink::GetRozkazy() {
    return call([&] {
        auto list = server_->GetRozkazy();
        return program::ReceivedList{list.vt, std::move(list.bytes)};
    });
}

}  // namespace kt64::console
