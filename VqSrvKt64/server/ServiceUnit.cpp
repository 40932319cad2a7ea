// The unit file's text and its installation and removal; see the header.
#include "ServiceUnit.h"

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
    std::string text;
    text += "[Unit]\n";
    text += "Description=" + std::string(kServiceName) + "\n";
    text += "Wants=network-online.target\n";
    text += "After=network-online.target\n";
    text += "\n[Service]\n";
    text += "Type=notify\n";
    // An orderly stop lets a running transfer end (about 17 s at 4800 baud).
    text += "TimeoutStopSec=60\n";
    text += "ExecStart=" + unitQuoted(module.string()) + "\n";
    if (registryPath) text += "Environment=" + unitQuoted("KT64_REGISTRY=" + *registryPath) + "\n";
    return text;
}

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

    // Written beside the unit and renamed over it, so the manager never reads
    // half a unit.
    const auto target = unitPath();
    auto temp = target;
    temp += ".new";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << unitText(module, registry);
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
    if (!std::ifstream(target)) {
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
