// A program run to its end by a test, its standard output and error kept
// in files of a scratch folder (so a chatty program cannot fill a pipe and
// stall), then read back whole.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TestEnvironment.h"

namespace kt64::test {

struct ProgramOutcome {
    int code;  // exit status, -1 when killed by a signal
    std::string out;
    std::string err;
    bool timedOut = false;  // killed for running past RunLimits::time
};

// Bounds for a program fed input that might make it hang or eat memory:
// it is killed once time has passed, and its address space is capped. The
// sanitizers reserve terabytes of address space for their shadow memory,
// so there the cap is left out (they report an allocation that large
// themselves).
struct RunLimits {
    std::chrono::milliseconds time{0};  // 0: no limit
    rlim_t addressSpace = 0;            // bytes; 0: no cap
};

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KT64_TEST_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KT64_TEST_SANITIZED 1
#endif

// words[0] is the program's path. The output files are made 0666 so a
// program run under another user (setpriv) can write them.
inline ProgramOutcome runProgram(std::vector<std::string> words, const std::filesystem::path& folder,
                                 RunLimits limits = {}) {
    const auto outPath = folder / "program.out", errPath = folder / "program.err";
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Nothing on its input: a program that asks would otherwise wait
        // on the terminal of whoever runs the tests.
        ::dup2(::open("/dev/null", O_RDONLY), 0);
        ::dup2(::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666), 1);
        ::dup2(::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666), 2);
#ifndef KT64_TEST_SANITIZED
        if (limits.addressSpace != 0) {
            const rlimit cap{limits.addressSpace, limits.addressSpace};
            ::setrlimit(RLIMIT_AS, &cap);
        }
#endif
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    bool timedOut = false;
    if (limits.time.count() == 0) {
        ::waitpid(pid, &status, 0);
    } else {
        const auto deadline = std::chrono::steady_clock::now() + limits.time;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                timedOut = true;
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, fileText(outPath), fileText(errPath), timedOut};
}

}  // namespace kt64::test
