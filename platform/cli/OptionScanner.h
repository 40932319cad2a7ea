// One scanner for the tools' command lines, so every tool treats options
// alike: a table says which names exist and which take a value; the scanner
// splits the words into options (in order, repeats kept, so the tool decides
// whether the last one wins) and positional arguments. A value follows its
// option as the next word or after '=' ("--computer=pc"). "--" ends the
// options; a word such as "-5" is a number, not an option. A malformed line
// throws OptionError with the one-line reason the tools print, and every
// tool refuses it the same way (refuseLine: reason, pointer to --help,
// exit status 2).
#pragma once

#include <iosfwd>
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
    // What the value is, for "--computer needs a computer name".
    std::string_view valueName = "a value";
};

// What the words after the first positional one (the command) may be.
enum class AfterCommand {
    // Options anywhere; an unknown one is refused wherever it stands.
    Options,
    // The table's options still count anywhere; other option-like words
    // after the command are the command's own ("lines --analog on").
    CommandOptions,
    // Everything after the command is an argument, however it looks
    // (a value to store may start with '-').
    Arguments,
};

struct ScannedLine {
    std::vector<std::pair<std::string, std::string>> options;  // name, value ("" for flags)
    std::vector<std::string> positional;

    bool has(std::string_view name) const;
};

// Throws OptionError "unknown option X", "X needs <value name>" or
// "X takes no value".
ScannedLine scanOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& table,
                        AfterCommand after = AfterCommand::Options);

// Exit status of a command line the tool could not understand.
inline constexpr int kUsageStatus = 2;

// Prints "TOOL: REASON" and "Try 'TOOL --help'." to err; returns kUsageStatus.
int refuseLine(std::ostream& err, std::string_view tool, std::string_view reason);

}  // namespace kt64::cli
