// The shared option scanner: each row is a command line and what the tools
// must see of it, or the exact reason they print.
#include <gtest/gtest.h>

#include "OptionScanner.h"

namespace {

using kt64::cli::AfterCommand;
using kt64::cli::OptionError;
using kt64::cli::OptionSpec;
using kt64::cli::scanOptions;

const std::vector<OptionSpec> kTable = {
    {"--computer", true, "a computer name"}, {"--yes", false}, {"-h", false}, {"--days", true}};

struct Row {
    std::vector<std::string> args;
    std::string options;     // "name=value;" per option, in order
    std::string positional;  // words joined by '|'
    std::string error;       // exact reason, or "" for success
    AfterCommand after = AfterCommand::Options;
};

TEST(OptionScanner, Table) {
    const Row rows[] = {
        {{"send", "f.dsk", "--yes"}, "--yes=;", "send|f.dsk", ""},
        {{"--computer", "pc:5000", "list"}, "--computer=pc:5000;", "list", ""},
        // A value that looks like an option is still the option's value.
        {{"--computer", "--yes"}, "--computer=--yes;", "", ""},
        {{"list", "--computer"}, "", "", "--computer needs a computer name"},
        {{"list", "--days"}, "", "", "--days needs a value"},
        {{"list", "--bogus"}, "", "", "unknown option --bogus"},
        {{"--computer=pc:5000", "--days="}, "--computer=pc:5000;--days=;", "", ""},
        {{"--yes=no"}, "", "", "--yes takes no value"},
        {{"--bogus=1"}, "", "", "unknown option --bogus"},
        // The command's own options pass through, the table's still count.
        {{"lines", "--analog", "on", "--yes", "--zl=x"},
         "--yes=;",
         "lines|--analog|on|--zl=x",
         "",
         AfterCommand::CommandOptions},
        {{"--analog", "lines"}, "", "", "unknown option --analog", AfterCommand::CommandOptions},
        // After the command every word is data.
        {{"-h", "set", "K", "-x", "--yes", "--"}, "-h=;", "set|K|-x|--yes|--", "", AfterCommand::Arguments},
        // Repeats are all kept, in order, so the tool can let the last win.
        {{"--days", "3", "x", "--days", "5"}, "--days=3;--days=5;", "x", ""},
        // "--" ends the options; later words are positional even if they look like options.
        {{"--yes", "--", "--bogus", "-h"}, "--yes=;", "--bogus|-h", ""},
        // A negative number and a lone "-" (standard input) are arguments.
        {{"shift", "-5", "-"}, "", "shift|-5|-", ""},
        {{}, "", "", ""},
    };
    for (const Row& row : rows) {
        std::string joined;
        for (const auto& a : row.args) joined += a + " ";
        SCOPED_TRACE(joined);
        if (!row.error.empty()) {
            try {
                scanOptions(row.args, kTable, row.after);
                ADD_FAILURE() << "no error";
            } catch (const OptionError& e) {
                EXPECT_EQ(e.what(), row.error);
            }
            continue;
        }
        const auto line = scanOptions(row.args, kTable, row.after);
        std::string options, positional;
        for (const auto& [name, value] : line.options) options += name + "=" + value + ";";
        for (const auto& p : line.positional) positional += (positional.empty() ? "" : "|") + p;
        EXPECT_EQ(options, row.options);
        EXPECT_EQ(positional, row.positional);
    }
}

}  // namespace
