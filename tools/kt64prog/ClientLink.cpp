// The program transfers' link over the link-server client: each member
// calls the Kt64Srv client object and turns its ServerError into the
// LinkError the transfers show (the server's description, or none when the
// connection itself failed).
#include <utility>

#include "CentreConnection.h"
#include "Kt64Client.h"
#include "Registry.h"
#include "RpcLog.h"

namespace kt64::prog {

namespace {

class ClientLink : public program::CentreLink {
    // Runs one client call, its failure turned into a LinkError.
    template <typename F>
    auto call(F f) {
        if (!server_) throw program::LinkError(client::E_RPC_SERVER_UNAVAILABLE, std::nullopt);
        try {
            return f();
        } catch (const client::ServerError& e) {
            throw program::LinkError(e.code(), e.description());
        }
    }

public:
    explicit ClientLink(std::unique_ptr<client::Kt64Srv> server) : server_(std::move(server)) {}

    bool Connected() const override { return server_ && server_->leaseHeld(); }
    std::string BuildType() override {
        return call([&] { return server_->GetBuildType(); });
    }
    void PutRozkazy(std::span<const std::uint8_t> image) override {
        call([&] { server_->PutRozkazy(image, client::kVtArrayUi1); });
    }
    std::uint32_t RozkazPos() override {
        return call([&] { return server_->GetRozkazPos(); });
    }
    void StartGetRozkazy() override {
        call([&] { server_->StartGetRozkazy(); });
    }
    std::uint32_t RozkazRxPos() override {
        return call([&] { return server_->GetRozkazRxPos(); });
    }
    program::ReceivedList GetRozkazy() override {
        return call([&] {
            auto list = server_->GetRozkazy();
            return program::ReceivedList{list.vt, std::move(list.bytes)};
        });
    }

private:
    std::unique_ptr<client::Kt64Srv> server_;
};

// CompName under HKEY_LOCAL_MACHINE\Software\Ardonis\Kt64Prog; "" (this
// computer) when it is not set. Throws reg::RegistryError when the registry
// cannot be read: the configured computer must not silently become this one.
std::string configuredComputer() {
    if (auto key = reg::Key::open(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Prog")) {
        if (auto name = key->string("CompName")) return *name;
    }
    return {};
}

}  // namespace

std::unique_ptr<program::CentreLink> connectCentre(const std::optional<std::string>& computer, std::ostream& err) {
    rpc::routeRpcLogToJournal("kt64prog");
    try {
        auto server = client::ConnectServer(computer ? *computer : configuredComputer());
        // A server started just now has not read the centre yet; its first
        // reading makes BuildType valid.
        try {
            server->WaitForDeviceRead();
        } catch (const client::ServerError&) {
        }
        return std::make_unique<ClientLink>(std::move(server));
    } catch (const client::ServerError& e) {
        // The fixed text, then one line with the cause and what to do.
        err << e.displayText() << "\n";
        if (!e.description()) {
            const std::string fix = client::connectionFix(e);
            err << "kt64prog: " << e.what() << (fix.empty() ? "" : ": " + fix) << "\n";
        }
        return std::make_unique<ClientLink>(nullptr);
    } catch (const reg::RegistryError& e) {
        err << client::kNoServerErrorText << "\nkt64prog: " << e.what() << "\n";
        return std::make_unique<ClientLink>(nullptr);
    }
}

}  // namespace kt64::prog
