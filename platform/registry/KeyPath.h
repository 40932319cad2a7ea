// Naming rules of the registry: hive names, splitting backslash key paths
// into their components, and the case folding under which two key or value
// names are the same name. Pure text functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Registry.h"

namespace kt64::reg {

// Deepest key path accepted (levels below the hive root).
inline constexpr std::size_t kMaxKeyDepth = 512;
// Longest key name component, in bytes of UTF-8.
inline constexpr std::size_t kMaxKeyNameBytes = 255 * 3;

// Splits "Software\Ardonis\Kt64Srv" into its components. One leading and one
// trailing backslash are tolerated; an empty path names the hive's root.
// Throws RegistryError(kErrorInvalidData) for an empty inner component
// ("a\\b"), a component longer than kMaxKeyNameBytes, or more than
// kMaxKeyDepth levels.
std::vector<std::string_view> splitKeyPath(std::string_view path);

// The form under which names compare: letters of ASCII, Latin-1, Latin
// Extended-A (the Polish letters among them), Greek and Cyrillic mapped to
// lower case; every other byte, including malformed UTF-8, kept as it is.
std::string foldName(std::string_view name);

// Splits "HKLM\Software\Ardonis" into its hive and the path below it.
// nullopt when the first component is not a hive name.
struct QualifiedKey {
    Hive hive;
    std::string path;
};
std::optional<QualifiedKey> parseQualifiedKey(std::string_view text);

}  // namespace kt64::reg
