// kt64prog's way to the link server: the client object on the configured
// computer, behind the transfers' CentreLink (ClientCentreLink).
#include <utility>

#include "CentreConnection.h"
#include "ClientCentreLink.h"
#include "Kt64Client.h"
#include "Registry.h"
#include "RpcLog.h"

namespace kt64::prog {

namespace {

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
        return std::make_unique<program::ClientCentreLink>(std::move(server));
    } catch (const client::ServerError& e) {
        // The fixed text, then one line with the cause and what to do.
        err << e.displayText() << "\n";
        if (!e.description()) {
            const std::string fix = client::connectionFix(e);
            err << "kt64prog: " << e.what() << (fix.empty() ? "" : ": " + fix) << "\n";
        }
        return std::make_unique<program::ClientCentreLink>(nullptr);
    } catch (const reg::RegistryError& e) {
        err << client::kNoServerErrorText << "\nkt64prog: " << e.what() << "\n";
        return std::make_unique<program::ClientCentreLink>(nullptr);
    }
}

}  // namespace kt64::prog
