// Installing and removing the link server as a system service: the systemd
// unit VqSrvKt64.service in the unit directory ($KT64_UNIT_DIR, else
// /etc/systemd/system).
//
// The unit's text comes from one template, VqSrvKt64.service.in, which the
// package also installs (filled in for /usr/bin/VqSrvKt64), so the unit a
// site gets from the package and the one "-Service" writes cannot differ.
// The template's placeholders:
//   %MODULE%        the executable, quoted for systemd
//   %REGISTRY_DIR%  the folder of the registry (the only writable path)
//   %ENVIRONMENT%   a line of its own: Environment="KT64_REGISTRY=..." when
//                   the installer ran with a registry of its own, else the
//                   line is dropped
// The unit runs the executable in its own process as the system user
// _kt64srv (group kt64, serial ports through dialout) in a sandbox, started
// on demand, after the network is up, with readiness notification. Its
// [Install] section lets an administrator enable it at boot (a watched
// site); neither the package nor "-Service" enables it.
//
// When the service manager already has the same unit text from the package
// (in /usr/lib/systemd/system or /lib/systemd/system), "-Service" writes no
// copy into /etc/systemd/system, which would only hide the packaged unit's
// later updates.
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
#include <vector>

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

// The template as built into the program.
std::string_view unitTemplate();
// The template filled in; registryPath is the registry file given to the
// installer ($KT64_REGISTRY), nullopt for the default one.
std::string unitText(const std::filesystem::path& module, const std::optional<std::string>& registryPath);
// The units the package installs, where the service manager reads them:
// $KT64_VENDOR_UNIT_DIR's when set, none beside a unit directory of one's
// own, else /usr/lib/systemd/system's and /lib/systemd/system's.
std::vector<std::filesystem::path> vendorUnitPaths();

bool serviceInstalled();
// Writes the unit (replacing an older one) and tells the manager.
bool installService(const std::filesystem::path& module, ServiceManager& manager, const InstallMessages& say);
// Stops a running service and deletes the unit; true when none is installed.
bool uninstallService(ServiceManager& manager, const InstallMessages& say);

}  // namespace kt64::server
