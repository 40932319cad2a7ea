// Switch recognition; see the header.
#include "Switches.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace kt64::server {

namespace {
bool sameWord(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}
}  // namespace

const std::string_view kSwitchUsage =
    "Usage: VqSrvKt64 [-RegServer | -UnregServer | -Service | --help]\n"
    "  (no switch)   run the link server (as started on demand by its clients)\n"
    "  -RegServer    register it for on-demand start by its clients\n"
    "  -UnregServer  remove its registration (and its service)\n"
    "  -Service      install it as a system service started on demand\n"
    "                (systemctl enable VqSrvKt64: also at every boot)\n"
    "Switches start with '-' or '/' in any case (/regserver). Exit status:\n"
    "0 done, 1 failed (the reason is printed), 2 wrong command line.\n"
    "Registry: $KT64_REGISTRY, else /var/lib/kt64/registry.db; the registration\n"
    "and the server's own settings in root's store, $KT64_SYSTEM_REGISTRY, else\n"
    "/var/lib/kt64/system/registry.db (the switches need root).\n";

Switch parseSwitches(std::span<const std::string_view> words, std::string_view* unknown) {
    static constexpr std::array<std::pair<std::string_view, Switch>, 10> known{{
        {"RegServer", Switch::RegServer},
        {"UnregServer", Switch::UnregServer},
        {"Service", Switch::Service},
        {"Embedding", Switch::Run},
        {"Automation", Switch::Run},
        {"-help", Switch::Help},
        {"help", Switch::Help},
        {"h", Switch::Help},
        {"?", Switch::Help},
        {"-h", Switch::Help},
    }};
    for (auto word : words) {
        if (word.size() < 2 || (word[0] != '-' && word[0] != '/')) continue;
        const auto name = word.substr(1);
        Switch found = Switch::Unknown;
        for (const auto& [text, sw] : known)
            if (sameWord(name, text)) found = sw;
        if (found == Switch::Run) continue;  // a launcher's own switch
        if (found == Switch::Unknown && unknown != nullptr) *unknown = word;
        return found;
    }
    return Switch::Run;
}

}  // namespace kt64::server
