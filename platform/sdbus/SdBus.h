// Ownership of sd-bus handles (bus connection, message, error) and the names
// of systemd's manager object on the system bus. The link server (service
// installation), its clients (starting the service on demand) and the
// console's control of the synchronisation service all talk to systemd
// through these.
#pragma once

#include <systemd/sd-bus.h>

#include <memory>

namespace kt64::sdbus {

inline constexpr const char* kSystemdDestination = "org.freedesktop.systemd1";
inline constexpr const char* kSystemdPath = "/org/freedesktop/systemd1";
inline constexpr const char* kSystemdManager = "org.freedesktop.systemd1.Manager";
inline constexpr const char* kSystemdUnit = "org.freedesktop.systemd1.Unit";

struct BusCloser {
    void operator()(sd_bus* bus) const noexcept { sd_bus_flush_close_unref(bus); }
};
using Bus = std::unique_ptr<sd_bus, BusCloser>;

struct MessageRelease {
    void operator()(sd_bus_message* m) const noexcept { sd_bus_message_unref(m); }
};
using Message = std::unique_ptr<sd_bus_message, MessageRelease>;

// sd_bus_error with its cleanup; pass &error to the calls.
struct BusError {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    BusError() = default;
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    ~BusError() { sd_bus_error_free(&error); }
};

}  // namespace kt64::sdbus
