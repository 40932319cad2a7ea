// The link server's registration data under HKEY_CLASSES_ROOT, as the
// switches write and remove it ("%MODULE%" = the executable's full path):
//
//   AppID\{9F200A91-BDDC-4309-AB37-98F1ECFDF63A}   (default) "VqSrvKt64"
//                                                 LocalService "VqSrvKt64"  (service only)
//   AppID\VqSrvKt64.EXE                           AppID "{9F200A91-...}"
//   VqSrvKt64.Kt64Srv.1                           (default) "Kt64Srv Class"
//   VqSrvKt64.Kt64Srv.1\CLSID                     (default) "{FFDCA866-...}"
//   VqSrvKt64.Kt64Srv                             (default) "Kt64Srv Class"
//   VqSrvKt64.Kt64Srv\CLSID                       (default) "{FFDCA866-...}"
//   VqSrvKt64.Kt64Srv\CurVer                      (default) "VqSrvKt64.Kt64Srv.1"
//   CLSID\{FFDCA866-...}                          (default) "Kt64Srv Class", AppID "{9F200A91-...}"
//   CLSID\{FFDCA866-...}\ProgID                   (default) "VqSrvKt64.Kt64Srv.1"
//   CLSID\{FFDCA866-...}\VersionIndependentProgID (default) "VqSrvKt64.Kt64Srv"
//   CLSID\{FFDCA866-...}\Programmable             key only
//   CLSID\{FFDCA866-...}\LocalServer32            (default) "%MODULE%"
//   CLSID\{FFDCA866-...}\TypeLib                  (default) "{828A2822-...}"
//
// Removal deletes these keys and never the roots AppID and CLSID. Registry
// failures surface as HRESULTs of the Win32 facility (0x8007xxxx with the
// registry's error code), which end the process.
#pragma once

#include <filesystem>
#include <string>

#include "HResult.h"

namespace kt64::server {

inline constexpr unsigned kErrorFileNotFound = 2;
inline constexpr unsigned kErrorFailedServiceControllerConnect = 1063;
inline constexpr HRESULT E_FAIL_HR = hresultOf(0x80004005u);

// Each returns S_OK or the registry's failure. The entries live in the
// system store (root's); writeAppIdEntries first moves what an older
// installation left in the shared store (reg::moveToSystemStore).
HRESULT writeAppIdEntries(bool localService);
HRESULT removeAppIdEntries();
// Deletes an existing class key first, then writes every class entry.
HRESULT writeClassEntries(const std::filesystem::path& module);
HRESULT removeClassEntries();

// How the registration says the program runs.
enum class RunMode { LocalServer, Service };
struct RunDecision {
    HRESULT code = S_OK;  // failure: the program is not registered (or the store failed)
    RunMode mode = RunMode::LocalServer;
    std::string detail;  // a failed store: its text with the file's path
};
// Opens AppID\{...} for reading: missing -> 0x80070002; a LocalService value
// means service mode.
RunDecision runDecision();

}  // namespace kt64::server
