// Splitting and building the centre's type and serial number texts.
#include "HiddenFunctionsRules.h"

#include "BuildType.h"

namespace kt64::console {

namespace {

// A list's index for an entry, -1 for none.
int listIndex(std::optional<std::size_t> entry) { return entry ? static_cast<int>(*entry) : -1; }

}  // namespace

bool accessCodeMatches(std::string_view typed) { return typed == kAccessCode; }

BuildTypeChoice splitBuildType(std::string_view buildType) {
    const auto fields = link::readBuildType(buildType);
    BuildTypeChoice choice;
    choice.model = fields.model;
    choice.source = listIndex(link::entryNamed(link::kSourceNames, fields.source));
    choice.relays = listIndex(link::entryNamed(link::kRelayNames, fields.relays));
    choice.interface = listIndex(link::entryContained(link::kInterfaceNames, fields.interface));
    return choice;
}

SerialParts splitSerialNum(std::string_view serialNum) {
    const auto fields = link::nonEmptyFields(serialNum);
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
