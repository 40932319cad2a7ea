// kt64reg: the administrator's command line for the system's registry
// (list, get, set and delete values and keys in the store that the link
// server, the console and the synchronisation service share).
//
// Exit codes: 0 done, 1 the registry refused or the key/value is missing,
// 2 the command line is wrong.
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "KeyPath.h"
#include "OptionScanner.h"
#include "Registry.h"
#include "ValueText.h"

namespace {

using namespace kt64;

constexpr int kExitFailed = 1;

constexpr const char* kUsage =
    "Usage:\n"
    "  kt64reg list KEY                   values and subkeys of KEY\n"
    "  kt64reg get KEY NAME               print one value's data\n"
    "  kt64reg set KEY NAME TYPE VALUE    create KEY when missing and store the value\n"
    "  kt64reg delete KEY [NAME]          delete the value NAME, or KEY with all its subkeys\n"
    "  kt64reg migrate                    move what an older installation left in the shared\n"
    "                                     store to root's (as root; see below)\n"
    "  kt64reg --help\n"
    "\n"
    "KEY is a hive followed by a backslash path, for example\n"
    "  'HKLM\\Software\\Ardonis\\Kt64Srv' (hives HKLM or HKEY_LOCAL_MACHINE,\n"
    "  HKCR or HKEY_CLASSES_ROOT). Key and value names ignore case.\n"
    "NAME '' is the key's default value.\n"
    "TYPE is dword, sz, expand_sz or binary (or REG_DWORD, REG_SZ, ...):\n"
    "  dword   decimal or 0x hex, 0..4294967295\n"
    "  sz      text (UTF-8)\n"
    "  binary  hex bytes, e.g. '01 0a ff' or 010aff\n"
    "\n"
    "The store is $KT64_REGISTRY, else /var/lib/kt64/registry.db (root and the\n"
    "group kt64 write it). HKCR and the link server's key\n"
    "HKLM\\Software\\Ardonis\\Kt64Srv, but for its Port, are kept in root's store,\n"
    "$KT64_SYSTEM_REGISTRY, else /var/lib/kt64/system/registry.db: only root\n"
    "writes them.\n"
    "Example: kt64reg set 'HKLM\\Software\\Ardonis\\Kt64Srv' Port dword 3\n";

// A command-line mistake: shown with a pointer to --help, exit code 2.
struct UsageError {
    std::string text;
};

// The registry answered "no such key/value": exit code 1.
struct NotFound {
    std::string text;
};

reg::QualifiedKey parseKey(std::string_view text) {
    auto key = reg::parseQualifiedKey(text);
    if (!key)
        throw UsageError{"'" + std::string(text) +
                         "' does not start with a hive (HKLM, HKEY_LOCAL_MACHINE, HKCR, HKEY_CLASSES_ROOT)"};
    return *key;
}

std::string fullName(const reg::QualifiedKey& key, const std::string& storedPath) {
    std::string name(reg::hiveName(key.hive));
    if (!storedPath.empty()) name += "\\" + storedPath;
    return name;
}

reg::Key openExisting(const reg::QualifiedKey& key) {
    auto opened = reg::Key::open(key.hive, key.path);
    if (!opened) throw NotFound{"key " + fullName(key, key.path) + " not found"};
    return std::move(*opened);
}

std::string shownName(const std::string& name) { return name.empty() ? "(default)" : name; }

void listKey(const reg::QualifiedKey& qk) {
    const reg::Key key = openExisting(qk);
    std::cout << fullName(qk, key.path()) << '\n';
    for (const auto& name : key.valueNames()) {
        const auto value = key.query(name);
        if (!value) continue;  // deleted by another process meanwhile
        std::cout << "    " << shownName(name) << "    " << reg::typeName(value->type) << "    "
                  << regtool::formatListedData(*value) << '\n';
    }
    for (const auto& sub : key.subkeyNames()) std::cout << "    " << sub << "\\\n";
}

void getValue(const reg::QualifiedKey& qk, const std::string& name) {
    const reg::Key key = openExisting(qk);
    const auto value = key.query(name);
    if (!value) throw NotFound{"value " + shownName(name) + " not found in " + fullName(qk, key.path())};
    std::cout << regtool::formatData(*value) << '\n';
}

void setValue(const reg::QualifiedKey& qk, const std::string& name, const std::string& typeText,
              const std::string& valueText) {
    const auto type = regtool::parseTypeName(typeText);
    if (!type) throw UsageError{"unknown type '" + typeText + "' (dword, sz, expand_sz, binary)"};
    reg::Value value;
    try {
        value = regtool::parseValue(*type, valueText);
    } catch (const regtool::ValueTextError& e) {
        throw UsageError{e.what()};
    }
    reg::Key key = reg::Key::create(qk.hive, qk.path);
    key.setValue(name, value);
}

void deleteEntry(const reg::QualifiedKey& qk, const std::vector<std::string>& args) {
    if (args.size() == 2) {
        if (reg::splitKeyPath(qk.path).empty()) throw UsageError{"a hive itself cannot be deleted"};
        if (!reg::deleteKey(qk.hive, qk.path)) throw NotFound{"key " + fullName(qk, qk.path) + " not found"};
        return;
    }
    reg::Key key = openExisting(qk);
    if (!key.deleteValue(args[2]))
        throw NotFound{"value " + shownName(args[2]) + " not found in " + fullName(qk, key.path())};
}

int run(const std::vector<std::string>& words) {
    // Only the command may follow an option: the words after it are keys,
    // names and data, and data may well start with '-'.
    static const std::vector<cli::OptionSpec> kOptions = {{"--help", false}, {"-h", false}};
    cli::ScannedLine line;
    try {
        line = cli::scanOptions(words, kOptions, cli::AfterCommand::Arguments);
    } catch (const cli::OptionError& e) {
        throw UsageError{e.what()};
    }
    const std::vector<std::string>& args = line.positional;
    if (line.has("--help") || line.has("-h") || (!args.empty() && args[0] == "help")) {
        std::cout << kUsage;
        return 0;
    }
    if (args.empty()) throw UsageError{"no command given"};
    const std::string& cmd = args[0];
    auto expect = [&](std::size_t lo, std::size_t hi) {
        if (args.size() < lo || args.size() > hi) throw UsageError{"wrong number of arguments for '" + cmd + "'"};
    };
    if (cmd == "list") {
        expect(2, 2);
        listKey(parseKey(args[1]));
    } else if (cmd == "get") {
        expect(3, 3);
        getValue(parseKey(args[1]), args[2]);
    } else if (cmd == "set") {
        expect(5, 5);
        setValue(parseKey(args[1]), args[2], args[3], args[4]);
    } else if (cmd == "delete") {
        expect(2, 3);
        deleteEntry(parseKey(args[1]), args);
    } else if (cmd == "migrate") {
        expect(1, 1);
        const int moved = reg::moveToSystemStore();
        std::cout << moved << " value(s) moved to " << reg::systemRegistryPath() << '\n';
    } else {
        throw UsageError{"unknown command '" + cmd + "'"};
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return run(args);
    } catch (const UsageError& e) {
        return cli::refuseLine(std::cerr, "kt64reg", e.text);
    } catch (const NotFound& e) {
        std::cerr << "kt64reg: " << e.text << '\n';
        return kExitFailed;
    } catch (const reg::RegistryError& e) {
        std::cerr << "kt64reg: " << e.what() << " (error " << e.code() << ")\n";
        return kExitFailed;
    } catch (const std::exception& e) {
        // Anything else (out of memory, a failed output stream) still ends
        // with its text and a failure code rather than an abort.
        std::cerr << "kt64reg: " << e.what() << '\n';
        return kExitFailed;
    }
}
