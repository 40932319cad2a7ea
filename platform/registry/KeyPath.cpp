// Hive names, key path splitting and name case folding.
#include "KeyPath.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace kt64::reg {

namespace {

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

// Lower-case partner of a code point, for the scripts a configuration name
// may plausibly use; other code points map to themselves.
char32_t lowerCodePoint(char32_t c) {
    if (c >= U'A' && c <= U'Z') return c + 0x20;
    // Latin-1: U+00C0..U+00DE except the multiplication sign U+00D7.
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    // Latin Extended-A: upper/lower pairs, even-odd except in the two ranges
    // U+0139..U+0148 and U+0179..U+017E, which pair odd-even; U+0130 (dotted
    // I), U+0138 (kra) and U+0149 stand alone; U+0178 is Ÿ (lower U+00FF).
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130) return U'i';
        if (c == 0x178) return 0xFF;
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return c % 2 == 1 ? c + 1 : c;
        if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        return c % 2 == 0 ? c + 1 : c;
    }
    // Greek capitals U+0391..U+03AB (U+03A2 unassigned) and the accented ones.
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 0x25;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 0x3F;
    // Cyrillic: U+0400..U+040F -> U+0450.., U+0410..U+042F -> U+0430..
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;
    return c;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        // Every code point lowerCodePoint changes lies below U+0800, so the
        // only longer sequences reaching here are copied through unchanged.
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::optional<Hive> parseHive(std::string_view text) {
    if (equalsIgnoreAsciiCase(text, "HKLM") || equalsIgnoreAsciiCase(text, "HKEY_LOCAL_MACHINE"))
        return Hive::LocalMachine;
    if (equalsIgnoreAsciiCase(text, "HKCR") || equalsIgnoreAsciiCase(text, "HKEY_CLASSES_ROOT"))
        return Hive::ClassesRoot;
    return std::nullopt;
}

std::string_view hiveName(Hive hive) { return hive == Hive::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CLASSES_ROOT"; }

std::vector<std::string_view> splitKeyPath(std::string_view path) {
    if (!path.empty() && path.front() == '\\') path.remove_prefix(1);
    std::vector<std::string_view> parts;
    if (path.empty()) return parts;
    if (path.front() == '\\') throw RegistryError(kErrorInvalidData, "registry: empty component in key path");
    if (path.back() == '\\') path.remove_suffix(1);
    for (;;) {
        const auto pos = path.find('\\');
        const std::string_view part = path.substr(0, pos);
        if (part.empty()) throw RegistryError(kErrorInvalidData, "registry: empty component in key path");
        if (part.size() > kMaxKeyNameBytes)
            throw RegistryError(kErrorInvalidData,
                                "registry: key name too long: " + std::string(part.substr(0, 40)) + "...");
        parts.push_back(part);
        if (parts.size() > kMaxKeyDepth) throw RegistryError(kErrorInvalidData, "registry: key path too deep");
        if (pos == std::string_view::npos) break;
        path.remove_prefix(pos + 1);
    }
    return parts;
}

std::string foldName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    const auto* p = reinterpret_cast<const std::uint8_t*>(name.data());
    const std::size_t n = name.size();
    std::size_t i = 0;
    while (i < n) {
        const std::uint8_t b = p[i];
        if (b < 0x80) {
            out += asciiLower(static_cast<char>(b));
            ++i;
            continue;
        }
        // Only two-byte sequences (U+0080..U+07FF) hold letters that fold;
        // anything else, well-formed or not, is copied byte for byte.
        if ((b & 0xE0) == 0xC0 && b >= 0xC2 && i + 1 < n && (p[i + 1] & 0xC0) == 0x80) {
            const char32_t c = (static_cast<char32_t>(b & 0x1F) << 6) | (p[i + 1] & 0x3F);
            appendUtf8(out, lowerCodePoint(c));
            i += 2;
            continue;
        }
        out += static_cast<char>(b);
        ++i;
    }
    return out;
}

std::optional<QualifiedKey> parseQualifiedKey(std::string_view text) {
    const auto pos = text.find('\\');
    const auto hive = parseHive(text.substr(0, pos));
    if (!hive) return std::nullopt;
    return QualifiedKey{*hive, pos == std::string_view::npos ? std::string() : std::string(text.substr(pos + 1))};
}

}  // namespace kt64::reg
