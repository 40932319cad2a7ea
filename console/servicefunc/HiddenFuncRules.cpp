// Splitting and building the centre's type and serial number texts.
#include "HiddenFuncRules.h"

#include "BuildType.h"
#include "ConfViewRules.h"

namespace kt64::console {

namespace {

template <std::size_t N>
int entryEqual(const std::array<std::string_view, N>& entries, std::string_view field) {
    for (std::size_t i = 0; i < N; ++i)
        if (entries[i] == field) return static_cast<int>(i);
    return -1;
}

template <std::size_t N>
int entryContained(const std::array<std::string_view, N>& entries, std::string_view field) {
    for (std::size_t i = 0; i < N; ++i)
        if (field.find(entries[i]) != std::string_view::npos) return static_cast<int>(i);
    return -1;
}

}  // namespace

bool accessCodeMatches(std::string_view typed) { return typed == kAccessCode; }

BuildTypeChoice splitBuildType(std::string_view buildType) {
    const auto fields = program::readBuildType(buildType);
    BuildTypeChoice choice;
    choice.model = fields.model;
    choice.source = entryEqual(kSourceEntries, fields.source);
    choice.relays = entryEqual(kRelayEntries, fields.relays);
    choice.interface = entryContained(kInterfaceEntries, fields.interface);
    return choice;
}

std::string buildTypeText(std::string_view source, std::string_view relays, std::string_view interface) {
    std::string text = "KT-64/";
    text.append(source).append("/").append(relays).append("/").append(interface).append("/");
    return text;
}

SerialParts splitSerialNum(std::string_view serialNum) {
    const auto fields = slashFields(serialNum);
    SerialParts parts;
    if (fields.size() > 0) parts.first = fields[0];
    if (fields.size() > 1) parts.second = fields[1];
    return parts;
}

std::string serialNumText(std::string_view first, std::string_view second) {
    std::string text(first);
    text.append("/").append(second);
    return text;
}

}  // namespace kt64::console
