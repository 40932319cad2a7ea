// The registered identifiers of the link server's automation class: type
// library, class, interface, application and ProgIDs, in the registry's
// spelling (braces, upper-case hex). Clients use the CLSID to find a local
// server to start, error objects carry the IID and the ProgID, registration
// writes all of them.
#pragma once

#include <cstdint>
#include <string_view>

namespace kt64::ids {

// Type library VqSrvKt64Lib 1.0, "VqSrvKt64 1.0 Type Library".
inline constexpr std::string_view kLibId = "{828A2822-64AD-4A21-B10F-EA27D3E88AAE}";
inline constexpr std::string_view kLibName = "VqSrvKt64Lib";
inline constexpr std::string_view kLibHelp = "VqSrvKt64 1.0 Type Library";

// Coclass Kt64Srv, "Kt64Srv Class".
inline constexpr std::string_view kClsid = "{FFDCA866-8EB7-48D2-9DBF-48BB2575BC22}";
inline constexpr std::string_view kClassName = "Kt64Srv Class";

// Dual interface IKt64Srv, "IKt64Srv Interface": the GUID of every error object.
inline constexpr std::string_view kIid = "{2F6A1A67-8C67-45AB-9D91-B52017390859}";
inline constexpr std::string_view kInterfaceName = "IKt64Srv Interface";

// The class's event source (no events are ever fired).
inline constexpr std::string_view kEventsIid = "{CC8F80D6-CDB7-40D4-94F3-0A2E8341B46C}";

// Enumerations of the type library.
inline constexpr std::string_view kFAlarmId = "{C45BF0AF-0AE7-4E35-941A-3A65C1ECA819}";
inline constexpr std::string_view kFSetId = "{4D226676-5F31-4DCC-A893-E01022E2A635}";
inline constexpr std::string_view kEKeyChgId = "{A8C500F9-3D05-460C-83EB-1413C07B4910}";
inline constexpr std::string_view kEDigLineId = "{319CDB3C-5269-4059-B094-B2077B8BBC46}";

// FAlarm: the bits of the AlarmFlag property.
enum FAlarm : std::uint32_t {
    A_SYNCTRAN = 1,
    A_SET = 2,
    A_AKU36 = 4,
    A_POWER = 8,
    A_SYNC = 16,
    A_ANTENA = 32,
    A_MANSET = 64,
    A_LINE1 = 128,
};
// FSet: the bits of the SetFlag property.
enum FSet : std::uint32_t {
    S_CHANGETIMEON = 1,
    S_WINTERTIME = 2,
    S_LINE1ANALON = 4,
    S_LINE1DIGITON = 8,
};

// Application: AppID, its name (also service name and log source).
inline constexpr std::string_view kAppId = "{9F200A91-BDDC-4309-AB37-98F1ECFDF63A}";
inline constexpr std::string_view kAppName = "VqSrvKt64";

// ProgIDs; the versioned one is the source of every error object.
inline constexpr std::string_view kProgId = "VqSrvKt64.Kt64Srv.1";
inline constexpr std::string_view kVersionIndependentProgId = "VqSrvKt64.Kt64Srv";

// Registry keys (backslash-separated): the server's configuration under
// HKEY_LOCAL_MACHINE, and the class key whose LocalServer32 default value is
// the server executable's full path under HKEY_CLASSES_ROOT.
inline constexpr std::string_view kConfigKey = "Software\\Ardonis\\Kt64Srv";
inline constexpr std::string_view kLocalServerKey = "CLSID\\{FFDCA866-8EB7-48D2-9DBF-48BB2575BC22}\\LocalServer32";

// REG_DWORD in kConfigKey: the TCP port the server listens on and clients
// call; kDefaultRpcPort when missing.
inline constexpr std::string_view kRpcPortValue = "RpcPort";
inline constexpr unsigned kDefaultRpcPort = 6464;

}  // namespace kt64::ids
