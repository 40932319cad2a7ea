// Writing and removing the registration entries listed in the header.
#include "Registration.h"

#include <string_view>

#include "Kt64SrvIds.h"
#include "Registry.h"

namespace kt64::server {

namespace {

using reg::Hive;
using reg::Key;

constexpr std::string_view kLocalServiceValue = "LocalService";
constexpr std::string_view kAppIdValue = "AppID";
constexpr std::string_view kExeAppIdKey = "AppID\\VqSrvKt64.EXE";

std::string appIdKey() { return "AppID\\" + std::string(ids::kAppId); }
std::string classKey() { return "CLSID\\" + std::string(ids::kClsid); }
std::string sub(const std::string& key, std::string_view name) { return key + "\\" + std::string(name); }

template <class F>
HRESULT guarded(F&& f) {
    try {
        f();
        return S_OK;
    } catch (const reg::RegistryError& e) {
        return hresultFromWin32(static_cast<unsigned>(e.code()));
    }
}

void setDefault(const std::string& path, std::string_view text) {
    Key::create(Hive::ClassesRoot, path).setString("", text);
}

}  // namespace

HRESULT writeAppIdEntries(bool localService) {
    return guarded([&] {
        // An older installation kept all this in the shared store, where
        // the group could change it: the server's settings move to root's
        // store, the old registration is dropped (written anew below).
        reg::moveToSystemStore();
        auto app = Key::create(Hive::ClassesRoot, appIdKey());
        app.setString("", ids::kAppName);
        if (localService)
            app.setString(kLocalServiceValue, ids::kAppName);
        else
            app.deleteValue(kLocalServiceValue);
        Key::create(Hive::ClassesRoot, kExeAppIdKey).setString(kAppIdValue, ids::kAppId);
    });
}

HRESULT removeAppIdEntries() {
    return guarded([] {
        if (auto app = Key::open(Hive::ClassesRoot, appIdKey())) app->deleteValue(kLocalServiceValue);
        reg::deleteKey(Hive::ClassesRoot, appIdKey());
        reg::deleteKey(Hive::ClassesRoot, kExeAppIdKey);
    });
}

HRESULT writeClassEntries(const std::filesystem::path& module) {
    return guarded([&] {
        const std::string progId(ids::kProgId);
        const std::string viProgId(ids::kVersionIndependentProgId);
        setDefault(progId, ids::kClassName);
        setDefault(sub(progId, "CLSID"), ids::kClsid);
        setDefault(viProgId, ids::kClassName);
        setDefault(sub(viProgId, "CLSID"), ids::kClsid);
        setDefault(sub(viProgId, "CurVer"), ids::kProgId);

        // The class key is written afresh, so nothing of an older
        // registration (another executable's path) survives under it.
        const auto cls = classKey();
        reg::deleteKey(Hive::ClassesRoot, cls);
        auto key = Key::create(Hive::ClassesRoot, cls);
        key.setString("", ids::kClassName);
        key.setString(kAppIdValue, ids::kAppId);
        setDefault(sub(cls, "ProgID"), ids::kProgId);
        setDefault(sub(cls, "VersionIndependentProgID"), ids::kVersionIndependentProgId);
        Key::create(Hive::ClassesRoot, sub(cls, "Programmable"));
        setDefault(sub(cls, "LocalServer32"), module.string());
        setDefault(sub(cls, "TypeLib"), ids::kLibId);
    });
}

HRESULT removeClassEntries() {
    return guarded([] {
        reg::deleteKey(Hive::ClassesRoot, ids::kProgId);
        reg::deleteKey(Hive::ClassesRoot, ids::kVersionIndependentProgId);
        reg::deleteKey(Hive::ClassesRoot, classKey());
    });
}

RunDecision runDecision() {
    try {
        auto app = Key::open(Hive::ClassesRoot, appIdKey());
        if (!app) return {hresultFromWin32(kErrorFileNotFound), RunMode::LocalServer, {}};
        return {S_OK, app->string(kLocalServiceValue) ? RunMode::Service : RunMode::LocalServer, {}};
    } catch (const reg::RegistryError& e) {
        return {hresultFromWin32(static_cast<unsigned>(e.code())), RunMode::LocalServer, e.what()};
    }
}

}  // namespace kt64::server
