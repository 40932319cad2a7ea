// Parsing and formatting of registry values for kt64reg.
#include "ValueText.h"

#include <charconv>
#include <cstdio>

#include "KeyPath.h"

namespace kt64::regtool {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isSeparator(char c) { return c == ' ' || c == ',' || c == ':' || c == '-' || c == '\t'; }

std::optional<std::uint32_t> dwordOf(const reg::Value& value) {
    if (value.type != reg::ValueType::Dword || value.data.size() != 4) return std::nullopt;
    const auto& d = value.data;
    return static_cast<std::uint32_t>(d[0]) | static_cast<std::uint32_t>(d[1]) << 8 |
           static_cast<std::uint32_t>(d[2]) << 16 | static_cast<std::uint32_t>(d[3]) << 24;
}

}  // namespace

std::optional<reg::ValueType> parseTypeName(std::string_view text) {
    std::string t = reg::foldName(text);
    if (t.rfind("reg_", 0) == 0) t.erase(0, 4);
    if (t == "sz") return reg::ValueType::Sz;
    if (t == "expand_sz") return reg::ValueType::ExpandSz;
    if (t == "binary") return reg::ValueType::Binary;
    if (t == "dword") return reg::ValueType::Dword;
    return std::nullopt;
}

std::uint32_t parseDword(std::string_view text) {
    const std::string shown(text);
    std::string_view digits = text;
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
        base = 16;
    }
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (digits.empty() || ec == std::errc::invalid_argument || end != digits.data() + digits.size())
        throw ValueTextError("not a DWORD (decimal or 0x hex): '" + shown + "'");
    if (ec == std::errc::result_out_of_range)
        throw ValueTextError("DWORD out of range (0..4294967295): '" + shown + "'");
    return value;
}

std::vector<std::uint8_t> parseHexBytes(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    std::size_t i = 0;
    while (i < text.size()) {
        if (isSeparator(text[i])) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < text.size() && !isSeparator(text[j])) ++j;
        const std::string_view group = text.substr(i, j - i);
        if (group.size() % 2 != 0) throw ValueTextError("odd number of hex digits in '" + std::string(group) + "'");
        for (std::size_t k = 0; k < group.size(); k += 2) {
            const int hi = hexDigit(group[k]);
            const int lo = hexDigit(group[k + 1]);
            if (hi < 0 || lo < 0) throw ValueTextError("not a hex byte: '" + std::string(group.substr(k, 2)) + "'");
            bytes.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
        }
        i = j;
    }
    return bytes;
}

reg::Value parseValue(reg::ValueType type, std::string_view text) {
    reg::Value value{type, {}};
    switch (type) {
    case reg::ValueType::Dword: {
        const std::uint32_t v = parseDword(text);
        value.data = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                      static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
        break;
    }
    case reg::ValueType::Binary:
        value.data = parseHexBytes(text);
        break;
    case reg::ValueType::Sz:
    case reg::ValueType::ExpandSz:
        value.data.assign(text.begin(), text.end());
        break;
    }
    return value;
}

std::string formatHexBytes(std::span<const std::uint8_t> data) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i != 0) out += ' ';
        out += kHex[data[i] >> 4];
        out += kHex[data[i] & 0x0F];
    }
    return out;
}

std::string formatData(const reg::Value& value) {
    if (const auto d = dwordOf(value)) return std::to_string(*d);
    if (value.type == reg::ValueType::Sz || value.type == reg::ValueType::ExpandSz)
        return std::string(value.data.begin(), value.data.end());
    return formatHexBytes(value.data);
}

std::string formatListedData(const reg::Value& value) {
    if (const auto d = dwordOf(value)) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "0x%08x (%u)", static_cast<unsigned>(*d), static_cast<unsigned>(*d));
        return buf;
    }
    return formatData(value);
}

}  // namespace kt64::regtool
