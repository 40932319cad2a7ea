// Installing and removing the link server as a system service: the systemd
// unit VqSrvKt64.service in the unit directory ($KT64_UNIT_DIR, else
// /etc/systemd/system). The unit runs the executable in its own process,
// started on demand only (installed, never enabled), after the network is up,
// with readiness notification:
//
//   [Unit]
//   Description=VqSrvKt64
//   Wants=network-online.target
//   After=network-online.target
//
//   [Service]
//   Type=notify
//   ExecStart="/usr/bin/VqSrvKt64"
//   Environment="KT64_REGISTRY=..."   (only when the installer ran with one)
//
// No [Install] section: nothing enables it at boot; an administrator or a
// program starts it on demand (systemctl start VqSrvKt64). It runs as root.
//
// The service manager is reached through ServiceManager; installation
// problems are reported through InstallMessages with the texts below, and
// make the switch fail.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kt64::server {

inline constexpr std::string_view kServiceName = "VqSrvKt64";
inline constexpr std::string_view kUnitFileName = "VqSrvKt64.service";

namespace install_text {
inline constexpr std::string_view kNoManager = "Could not open Service Manager";
inline constexpr std::string_view kCreateFailed = "Could not start service";
inline constexpr std::string_view kOpenFailed = "Could not open service";
inline constexpr std::string_view kStopFailed = "Could not stop service";
inline constexpr std::string_view kDeleteFailed = "Could not delete service";
}  // namespace install_text

// What stands in for the service control manager besides the unit files.
class ServiceManager {
public:
    virtual ~ServiceManager() = default;
    // Whether the unit is running (active, activating, reloading).
    virtual bool isRunning(std::string_view unit) = 0;
    // Stops the unit and waits for it; false when that failed.
    virtual bool stop(std::string_view unit) = 0;
    // Makes the manager read the unit files again (best effort).
    virtual void reload() = 0;
};

// A unit directory of one's own is not watched by any service manager: no
// unit there can be running, and nobody needs to be told about changes.
class DetachedServiceManager final : public ServiceManager {
public:
    bool isRunning(std::string_view) override { return false; }
    bool stop(std::string_view) override { return true; }
    void reload() override {}
};

using InstallMessages = std::function<void(std::string_view text)>;

std::filesystem::path unitDirectory();
std::filesystem::path unitPath();
// Whether $KT64_UNIT_DIR names a unit directory of one's own.
bool customUnitDirectory();

std::string unitText(const std::filesystem::path& module, const std::optional<std::string>& registryPath);

bool serviceInstalled();
// Writes the unit (replacing an older one) and tells the manager.
bool installService(const std::filesystem::path& module, ServiceManager& manager, const InstallMessages& say);
// Stops a running service and deletes the unit; true when none is installed.
bool uninstallService(ServiceManager& manager, const InstallMessages& say);

}  // namespace kt64::server
