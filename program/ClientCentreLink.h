// The program transfers' CentreLink on the link-server client object, for
// every program that sends or receives a relay program (the console and
// kt64prog): each member calls the client object (ServerProxy) and turns its ServerError
// into the LinkError the transfers show (the server's description, or none
// when the connection itself failed). Without an object every call fails
// like a lost connection.
//
// It shares ownership of the object, so a transfer running on a worker
// thread is not cut short when the console's document lets the object go
// meanwhile; the transfer's own calls then fail by their deadlines if the
// server is gone. Whoever drops the last reference ends the object's lease,
// which waits for the server: the console does that off its GUI thread.
//
// Needs the link-server client, so it is not in the logic-only build.
#pragma once

#include <memory>

#include "CentreLink.h"
#include "Kt64Client.h"

namespace kt64::program {

class ClientCentreLink : public CentreLink {
public:
    explicit ClientCentreLink(std::shared_ptr<client::ServerProxy> server) : server_(std::move(server)) {}

    bool Connected() const override;
    std::string BuildType() override;
    void PutRozkazy(std::span<const std::uint8_t> image) override;
    std::uint32_t RozkazPos() override;
    void StartGetRozkazy() override;
    std::uint32_t RozkazRxPos() override;
    ReceivedList GetRozkazy() override;
    std::optional<LinkError> centreFault() override;

private:
    template <typename F>
    auto call(F f);

    std::shared_ptr<client::ServerProxy> server_;
};

}  // namespace kt64::program
