// A program run to its end by a test, its standard output and error kept
// in files of a scratch folder (so a chatty program cannot fill a pipe and
// stall), then read back whole.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kt64::testing {

struct ProgramOutcome {
    int code;  // exit status, -1 when killed by a signal
    std::string out;
    std::string err;
};

// words[0] is the program's path. The output files are made 0666 so a
// program run under another user (setpriv) can write them.
inline ProgramOutcome runProgram(std::vector<std::string> words, const std::filesystem::path& folder) {
    const auto outPath = folder / "program.out", errPath = folder / "program.err";
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666), 1);
        ::dup2(::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666), 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const auto slurp = [](const std::filesystem::path& p) {
        std::ostringstream s;
        s << std::ifstream(p).rdbuf();
        return s.str();
    };
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(outPath), slurp(errPath)};
}

}  // namespace kt64::testing
