// ServiceAdvertisement: the link server announces itself on the local
// network through the Avahi daemon, so that the console's computer picker
// can list it: service type _kt64._tcp, instance name the computer's name,
// port the RpcPort the clients connect to.
//
// The announcement is a convenience, never a condition of serving: with no
// daemon (or no system bus) the server runs as before and says once, through
// the log callback, that it is not advertised. A daemon that goes away later
// is reported once the same way. The Avahi client runs on its own thread
// (threaded poll), so nothing here waits on the daemon.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kt64::server {

inline constexpr std::string_view kAdvertisedServiceType = "_kt64._tcp";

class ServiceAdvertisement {
public:
    using Log = std::function<void(std::string_view)>;

    // Starts announcing name on port; log receives the one-line reports.
    ServiceAdvertisement(std::string name, std::uint16_t port, Log log);
    ~ServiceAdvertisement();
    ServiceAdvertisement(const ServiceAdvertisement&) = delete;
    ServiceAdvertisement& operator=(const ServiceAdvertisement&) = delete;

    // True once the daemon has confirmed the announcement.
    bool established() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// The name the server announces: the host name up to its first dot.
std::string advertisedComputerName();

}  // namespace kt64::server
