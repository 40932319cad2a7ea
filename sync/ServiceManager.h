// Whether this host runs a service manager (systemd booted as init). The
// synchronisation service runs as a systemd unit; on a host without one
// (containers, minimal systems) the stand-alone program takes its place and
// refuses to run where the service manager does. The console's service
// control chooses its path by the same test.
#pragma once

#include <filesystem>

namespace kt64::sync {

// The folder whose existence tells that systemd is running:
// $KT64_SYSTEMD_RUNDIR when set and not empty, else /run/systemd/system.
std::filesystem::path serviceManagerMarker();

bool serviceManagerRunning();

// The unit name of the synchronisation service.
inline constexpr const char* kServiceUnit = "HoralService.service";
// The stand-alone program's file name and its start-up marker.
inline constexpr const char* kStandaloneProgram = "HoralService9x";
inline constexpr const char* kStartMarker = "Orvu";

}  // namespace kt64::sync
