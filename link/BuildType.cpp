// Reading and writing the centre's type text.
#include "BuildType.h"

#include <cstdio>
#include <vector>

namespace kt64::link {

namespace {

// The name of code in names, or unknown for a code outside the table.
template <std::size_t N>
std::string_view nameOfCode(const std::array<std::string_view, N>& names, std::uint8_t code, std::string_view unknown) {
    const std::size_t entry = code / 0x11;
    if (code % 0x11 != 0 || entry >= N) return unknown;
    return names[entry];
}

template <std::size_t N>
std::optional<std::uint8_t> codeNamed(const std::array<std::string_view, N>& names, std::string_view field) {
    if (auto entry = entryNamed(names, field)) return codeOfEntry(*entry);
    return std::nullopt;
}

}  // namespace

std::vector<std::string_view> nonEmptyFields(std::string_view text) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find('/', start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) fields.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return fields;
}

std::string buildTypeText(std::uint8_t model, std::uint8_t source, std::uint8_t relays, std::uint8_t interface,
                          std::uint8_t version) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "KT-%.2X/", model);
    std::string text = buf;
    text.append(nameOfCode(kSourceNames, source, kUnknownSource)).append("/");
    text.append(nameOfCode(kRelayNames, relays, kUnknownRelays)).append("/");
    text.append(nameOfCode(kInterfaceNames, interface, kUnknownInterface));
    std::snprintf(buf, sizeof buf, " V%X.%X", version >> 4, version & 0x0F);
    return text + buf;
}

std::string buildTypeToSet(std::string_view source, std::string_view relays, std::string_view interface) {
    std::string text = "KT-64/";
    text.append(source).append("/").append(relays).append("/").append(interface).append("/");
    return text;
}

BuildTypeFields readBuildType(std::string_view text) {
    BuildTypeFields fields;
    std::string* const order[] = {&fields.model, &fields.source, &fields.relays, &fields.interface};
    std::size_t start = 0;
    for (std::string* field : order) {
        if (start > text.size()) break;
        auto slash = text.find('/', start);
        if (slash == std::string_view::npos) slash = text.size();
        *field = text.substr(start, slash - start);
        start = slash + 1;
    }
    if (!fields.relays.empty() && fields.relays.front() >= '0' && fields.relays.front() <= '9')
        fields.relayOutputs = fields.relays.front() - '0';
    return fields;
}

int relayOutputsOf(std::string_view text) { return readBuildType(text).relayOutputs.value_or(0); }

bool codesOfTextToSet(std::string_view text, std::array<std::uint8_t, 3>& codes) {
    const auto fields = nonEmptyFields(text);
    if (fields.empty() || fields[0] != "KT-64" || fields.size() > 4) return false;
    auto result = codes;
    if (fields.size() > 1) {
        auto code = codeNamed(kSourceNames, fields[1]);
        if (!code) return false;
        result[0] = *code;
    }
    if (fields.size() > 2) {
        auto code = codeNamed(kRelayNames, fields[2]);
        if (!code) return false;
        result[1] = *code;
    }
    if (fields.size() > 3) {
        auto code = codeNamed(kInterfaceNames, fields[3]);
        if (!code) return false;
        result[2] = *code;
    }
    codes = result;
    return true;
}

void codesOfReport(std::string_view reported, std::array<std::uint8_t, 3>& codes) {
    if (auto blank = reported.find(' '); blank != std::string_view::npos) reported = reported.substr(0, blank);
    const auto fields = nonEmptyFields(reported);
    if (fields.size() > 1)
        if (auto code = codeNamed(kSourceNames, fields[1])) codes[0] = *code;
    if (fields.size() > 2)
        if (auto code = codeNamed(kRelayNames, fields[2])) codes[1] = *code;
    if (fields.size() > 3)
        if (auto code = codeNamed(kInterfaceNames, fields[3])) codes[2] = *code;
}

}  // namespace kt64::link
