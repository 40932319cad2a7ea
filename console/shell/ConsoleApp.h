// Start-up of the console program Kt64 ("KT64mon"): the single-instance
// rule, the application profile, the document with a new program, the
// frame with all its views. runConsole() is main() without the process, so
// tests can start the console in their own process.
#pragma once

#include <filesystem>

namespace kt64::console {

inline constexpr const char* kSecondInstanceText = "Program KT64mon jest już uruchomiony";

struct ConsoleStart {
    // Folder of the single-instance lock file.
    std::filesystem::path lockFolder;
};

// Runs the console in the existing QApplication until its window closes;
// returns the exit code. A second instance shows kSecondInstanceText and
// returns 1 without opening a window.
int runConsole(const ConsoleStart& start);

}  // namespace kt64::console
