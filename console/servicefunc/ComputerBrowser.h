// ComputerBrowser: where the console's computer picker finds the computers
// that run a link server. On the local network they announce themselves by
// DNS-SD (service type _kt64._tcp, instance name = computer name, port =
// RpcPort); the browse domains stand for the domains and workgroups of a
// Windows network. The calls wait for the answers and are made off the GUI
// thread; tests put a fake behind this seam.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kt64::console {

inline constexpr std::string_view kBrowsedServiceType = "_kt64._tcp";

struct BrowsedComputer {
    std::string name;    // the announced computer name
    std::string domain;  // the browse domain it was found in
    std::uint16_t port = 0;
    friend bool operator==(const BrowsedComputer&, const BrowsedComputer&) = default;
};

class ComputerBrowser {
public:
    virtual ~ComputerBrowser() = default;
    // The browse domains, the default one first; empty when there is no
    // daemon or no domain.
    virtual std::vector<std::string> domains() = 0;
    // The computers offering the service in one domain, each once.
    virtual std::vector<BrowsedComputer> computers(const std::string& domain) = 0;
};

// The text the picker returns and the form stores as CompName: the name, or
// "name:port" when the server listens on another port than defaultPort.
std::string compNameOf(const BrowsedComputer& computer, std::uint16_t defaultPort);

// The Avahi daemon's browser (libavahi-client); answers are collected until
// the daemon says it has sent all it knows, or until the time limit.
std::shared_ptr<ComputerBrowser> makeAvahiComputerBrowser();

}  // namespace kt64::console
