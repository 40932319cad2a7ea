// The unit file's text and its installation and removal; see the header.
#include "ServiceUnit.h"

#include "Registry.h"
#include "WholeFile.h"

#include <cstdlib>
#include <fstream>
#include <system_error>

namespace kt64::server {

namespace fs = std::filesystem;

namespace {
// systemd's quoting: a double-quoted word with backslash escapes.
std::string unitQuoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + '"';
}

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}
}  // namespace

bool customUnitDirectory() {
    const char* dir = std::getenv("KT64_UNIT_DIR");
    return dir != nullptr && *dir != '\0';
}

fs::path unitDirectory() {
    if (customUnitDirectory()) return std::getenv("KT64_UNIT_DIR");
    return "/etc/systemd/system";
}

fs::path unitPath() { return unitDirectory() / kUnitFileName; }

std::string unitText(const fs::path& module, const std::optional<std::string>& registryPath) {
    const fs::path registry = registryPath ? fs::path(*registryPath) : fs::path(reg::kDefaultRegistryPath);
    std::string text(unitTemplate());
    replaceAll(text, "%MODULE%", unitQuoted(module.string()));
    replaceAll(text, "%REGISTRY_DIR%", unitQuoted(registry.parent_path().string()));
    replaceAll(text, "%ENVIRONMENT%\n",
               registryPath ? "Environment=" + unitQuoted("KT64_REGISTRY=" + *registryPath) + "\n" : std::string());
    return text;
}

std::vector<fs::path> vendorUnitPaths() {
    if (const char* dir = std::getenv("KT64_VENDOR_UNIT_DIR"); dir != nullptr && *dir != '\0')
        return {fs::path(dir) / kUnitFileName};
    // A unit directory of one's own goes with no system's units.
    if (customUnitDirectory()) return {};
    return {fs::path("/usr/lib/systemd/system") / kUnitFileName, fs::path("/lib/systemd/system") / kUnitFileName};
}

namespace {
// The unit's text; "" when there is no such unit or it cannot be read.
std::string readText(const fs::path& path) {
    try {
        return readWholeFile(path, {0, 1 << 20, "more than a unit file holds (1 MiB)"});
    } catch (const FileError&) {
        return {};
    }
}

// The package's unit says all that the written one would.
bool packagedUnitMatches(const std::string& text) {
    for (const auto& path : vendorUnitPaths())
        if (readText(path) == text) return true;
    return false;
}
}  // namespace

bool serviceInstalled() {
    std::error_code ec;
    return fs::exists(unitPath(), ec);
}

bool installService(const fs::path& module, ServiceManager& manager, const InstallMessages& say) {
    std::error_code ec;
    const auto dir = unitDirectory();
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir, ec)) {
        say(install_text::kNoManager);
        return false;
    }
    std::optional<std::string> registry;
    if (const char* r = std::getenv("KT64_REGISTRY"); r != nullptr && *r != '\0') registry = fs::absolute(r).string();

    const auto text = unitText(module, registry);
    if (packagedUnitMatches(text)) {
        manager.reload();
        return true;
    }

    // Written beside the unit and renamed over it, so the manager never reads
    // half a unit.
    const auto target = unitPath();
    auto temp = target;
    temp += ".new";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            fs::remove(temp, ec);
            say(install_text::kCreateFailed);
            return false;
        }
    }
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        say(install_text::kCreateFailed);
        return false;
    }
    manager.reload();
    return true;
}

bool uninstallService(ServiceManager& manager, const InstallMessages& say) {
    const auto target = unitPath();
    std::error_code ec;
    if (!fs::exists(target, ec)) return true;
    try {
        openRegularFile(target);
    } catch (const FileError&) {
        say(install_text::kOpenFailed);
        return false;
    }
    bool ok = true;
    if (manager.isRunning(kUnitFileName) && !manager.stop(kUnitFileName)) {
        say(install_text::kStopFailed);
        ok = false;
    }
    if (!fs::remove(target, ec) || ec) {
        say(install_text::kDeleteFailed);
        return false;
    }
    manager.reload();
    return ok;
}

}  // namespace kt64::server
