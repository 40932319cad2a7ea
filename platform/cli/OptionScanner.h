// One scanner for the tools' command lines, so every tool treats options
// alike: a table says which names exist and which take a value; the scanner
// splits the words into options (in order, repeats kept, so the tool decides
// whether the last one wins) and positional arguments. "--" ends the options;
// a word such as "-5" is a number, not an option. A malformed line throws
// OptionError with the one-line reason the tools print before their usage.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kt64::cli {

class OptionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct OptionSpec {
    std::string_view name;  // "--computer", "-h"
    bool takesValue = false;
};

struct ScannedLine {
    std::vector<std::pair<std::string, std::string>> options;  // name, value ("" for flags)
    std::vector<std::string> positional;

    bool has(std::string_view name) const;
};

// Throws OptionError "unknown option X" or "X needs a value".
ScannedLine scanOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& table);

// Exit status of a command line the tool could not understand.
inline constexpr int kUsageStatus = 2;

}  // namespace kt64::cli
