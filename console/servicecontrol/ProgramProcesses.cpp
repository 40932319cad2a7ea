// Scanning /proc for a program's processes.
#include "ProgramProcesses.h"

#include <unistd.h>

#include <cctype>
#include <charconv>
#include <string>
#include <system_error>

#include "WholeFile.h"

namespace kt64::servicecontrol {
namespace {

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::optional<pid_t> pidOf(const std::string& name) {
    pid_t pid = 0;
    const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (ec != std::errc{} || end != name.data() + name.size() || pid <= 0) return std::nullopt;
    return pid;
}

// A process's stat line; "" when it cannot be read (the process has ended
// since the folder was listed).
std::string readStat(const std::filesystem::path& path) {
    try {
        return readWholeFile(path, {0, 4096, "more than a process's stat line holds"});
    } catch (const FileError&) {
        return {};
    }
}

}  // namespace

std::string_view executableFileName(std::string_view target) {
    constexpr std::string_view kDeleted = " (deleted)";
    if (target.ends_with(kDeleted)) target.remove_suffix(kDeleted.size());
    const auto slash = target.rfind('/');
    return slash == std::string_view::npos ? target : target.substr(slash + 1);
}

bool parseStat(std::string_view stat, std::string_view& name, char& state) {
    const auto open = stat.find('(');
    const auto close = stat.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) return false;
    if (close + 2 >= stat.size() || stat[close + 1] != ' ') return false;
    name = stat.substr(open + 1, close - open - 1);
    state = stat[close + 2];
    return true;
}

std::vector<pid_t> findProgramProcesses(std::string_view fileName, const std::filesystem::path& procRoot) {
    std::vector<pid_t> found;
    std::error_code ec;
    // Stepped with an error code: the folder changes while it is listed.
    for (std::filesystem::directory_iterator it(procRoot, ec), end; !ec && it != end; it.increment(ec)) {
        const std::filesystem::directory_entry& entry = *it;
        const auto pid = pidOf(entry.path().filename().string());
        if (!pid) continue;

        std::string_view command;
        char state = 0;
        const std::string stat = readStat(entry.path() / "stat");
        if (!parseStat(stat, command, state) || state == 'Z' || state == 'X') continue;

        std::error_code linkError;
        const auto target = std::filesystem::read_symlink(entry.path() / "exe", linkError);
        const std::string targetText = linkError ? std::string() : target.string();
        const std::string_view name = linkError ? command : executableFileName(targetText);
        if (sameNameIgnoringCase(name, fileName)) found.push_back(*pid);
    }
    return found;
}

}  // namespace kt64::servicecontrol
