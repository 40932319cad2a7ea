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

Switch parseSwitches(std::span<const std::string_view> words) {
    static constexpr std::array<std::pair<std::string_view, Switch>, 3> known{{
        {"RegServer", Switch::RegServer},
        {"UnregServer", Switch::UnregServer},
        {"Service", Switch::Service},
    }};
    for (auto word : words) {
        if (word.size() < 2 || (word[0] != '-' && word[0] != '/')) continue;
        const auto name = word.substr(1);
        for (const auto& [text, sw] : known)
            if (sameWord(name, text)) return sw;
    }
    return Switch::Run;
}

}  // namespace kt64::server
