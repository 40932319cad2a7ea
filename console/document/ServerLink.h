// The program transfers' CentreLink on the console's link-server object:
// each member calls the client object and turns its ServerError into the
// LinkError the transfers show. It keeps its own reference to the object,
// so a transfer running on a worker thread is not cut short when the
// document releases the object meanwhile; the transfer's own calls then
// fail by their deadlines if the server is gone.
#pragma once

#include <memory>

#include "CentreLink.h"
#include "Kt64Client.h"

namespace kt64::console {

class ServerLink : public program::CentreLink {
public:
    explicit ServerLink(std::shared_ptr<client::Kt64Srv> server) : server_(std::move(server)) {}

    bool Connected() const override;
    std::string BuildType() override;
    void PutRozkazy(std::span<const std::uint8_t> image) override;
    std::uint32_t RozkazPos() override;
    void StartGetRozkazy() override;
    std::uint32_t RozkazRxPos() override;
    program::ReceivedList GetRozkazy() override;

private:
    template <typename F>
    auto call(F f);

    std::shared_ptr<client::Kt64Srv> server_;
};

}  // namespace kt64::console
