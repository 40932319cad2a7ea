// Scanning a tool's command line against its option table (see OptionScanner.h).
#include "OptionScanner.h"

#include <algorithm>
#include <ostream>

namespace kt64::cli {

namespace {

// "-5" and "-0.5" are values (a negative offset, say), not options.
bool looksNumeric(std::string_view word) {
    return word.size() > 1 && word[0] == '-' &&
           std::all_of(word.begin() + 1, word.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

bool looksLikeOption(std::string_view word) { return word.size() >= 2 && word[0] == '-' && !looksNumeric(word); }

}  // namespace

bool ScannedLine::has(std::string_view name) const {
    return std::any_of(options.begin(), options.end(), [&](const auto& o) { return o.first == name; });
}

ScannedLine scanOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& table,
                        AfterCommand after) {
    ScannedLine line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        const bool afterCommand = !line.positional.empty();
        if (word == "--" || (afterCommand && after == AfterCommand::Arguments)) {
            line.positional.insert(line.positional.end(),
                                   args.begin() + static_cast<std::ptrdiff_t>(i) + (word == "--"), args.end());
            break;
        }
        if (!looksLikeOption(word)) {
            line.positional.push_back(word);
            continue;
        }
        // "--name=value" names its option before the '='.
        const std::size_t equals = word.starts_with("--") ? word.find('=') : std::string::npos;
        const std::string name = word.substr(0, equals);
        const auto spec = std::find_if(table.begin(), table.end(), [&](const OptionSpec& s) { return s.name == name; });
        if (spec == table.end()) {
            if (afterCommand && after == AfterCommand::CommandOptions) {
                line.positional.push_back(word);
                continue;
            }
            throw OptionError("unknown option " + name);
        }
        if (!spec->takesValue) {
            if (equals != std::string::npos) throw OptionError(name + " takes no value");
            line.options.emplace_back(name, "");
        } else if (equals != std::string::npos) {
            line.options.emplace_back(name, word.substr(equals + 1));
        } else if (i + 1 < args.size()) {
            line.options.emplace_back(name, args[++i]);
        } else {
            throw OptionError(name + " needs " + std::string(spec->valueName));
        }
    }
    return line;
}

int refuseLine(std::ostream& err, std::string_view tool, std::string_view reason) {
    err << tool << ": " << reason << "\nTry '" << tool << " --help'.\n";
    return kUsageStatus;
}

}  // namespace kt64::cli
