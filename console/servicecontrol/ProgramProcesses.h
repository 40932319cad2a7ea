// Finding the running processes of a program by its executable's file name,
// as the console does to watch and stop the stand-alone synchronisation
// program: every /proc/<pid> whose executable (/proc/<pid>/exe, else the
// command name in /proc/<pid>/stat when the link cannot be read) has that
// file name, compared without regard to ASCII case. Zombies are not counted.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace kt64::servicecontrol {

std::vector<pid_t> findProgramProcesses(std::string_view fileName, const std::filesystem::path& procRoot = "/proc");

// The executable's file name from the target of /proc/<pid>/exe
// ("/usr/bin/HoralService9x (deleted)" -> "HoralService9x").
std::string_view executableFileName(std::string_view linkTarget);

// The command name and state letter from the text of /proc/<pid>/stat
// ("123 (Horal Service) S 1 ..."); false when the text is malformed.
bool parseStat(std::string_view stat, std::string_view& name, char& state);

}  // namespace kt64::servicecontrol
