// Where a program of the system lives and finds its data, and the name of
// the computer it runs on. The build tree mirrors an installation: programs
// in bin/, their data (templates, unit files) in share/kt64 beside it.
#pragma once

#include <filesystem>
#include <string>

namespace kt64 {

// The running program's file, resolved from /proc/self/exe.
std::filesystem::path executablePath();

// The folder holding the running program.
std::filesystem::path executableDirectory();

// The programs' data folder: $KT64_DATADIR when set and not empty, else
// executableDirectory()/../share/kt64 (normalised, not required to exist).
std::filesystem::path dataDirectory();

// This computer's host name (gethostname).
std::string computerName();

}  // namespace kt64
