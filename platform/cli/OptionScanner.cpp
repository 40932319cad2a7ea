// Scanning a tool's command line against its option table (see OptionScanner.h).
#include "OptionScanner.h"

#include <algorithm>

namespace kt64::cli {

namespace {

// "-5" and "-0.5" are values (a negative offset, say), not options.
bool looksNumeric(std::string_view word) {
    return word.size() > 1 && word[0] == '-' &&
           std::all_of(word.begin() + 1, word.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

}  // namespace

bool ScannedLine::has(std::string_view name) const {
    return std::any_of(options.begin(), options.end(), [&](const auto& o) { return o.first == name; });
}

ScannedLine scanOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& table) {
    ScannedLine line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--") {
            line.positional.insert(line.positional.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        }
        if (word.size() < 2 || word[0] != '-' || looksNumeric(word)) {
            line.positional.push_back(word);
            continue;
        }
        const auto spec = std::find_if(table.begin(), table.end(), [&](const OptionSpec& s) { return s.name == word; });
        if (spec == table.end()) throw OptionError("unknown option " + word);
        if (!spec->takesValue) {
            line.options.emplace_back(word, "");
            continue;
        }
        if (i + 1 >= args.size()) throw OptionError(word + " needs a value");
        line.options.emplace_back(word, args[++i]);
    }
    return line;
}

}  // namespace kt64::cli
