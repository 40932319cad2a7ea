// A program of the build started by a test with its own environment, its
// standard error captured; waited for with a time limit and killed when the
// test ends early.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ProgramPaths.h"
#include "TestEnvironment.h"

namespace kt64::test {

class ChildProcess {
public:
    // env: extra or replaced "NAME=value" entries; "NAME=" with removeEnv
    // entries removes the variable.
    ChildProcess(const std::string& program, std::vector<std::string> args, std::vector<std::string> env,
                 std::vector<std::string> removeEnv = {}) {
        const std::string path = (executableDirectory() / program).string();
        std::vector<std::string> argvText{program};
        argvText.insert(argvText.end(), args.begin(), args.end());

        std::vector<std::string> envText;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('='));
            bool replaced = false;
            for (const auto& r : removeEnv) replaced |= r == name;
            for (const auto& x : env) replaced |= x.substr(0, x.find('=')) == name;
            if (!replaced) envText.push_back(entry);
        }
        envText.insert(envText.end(), env.begin(), env.end());

        std::vector<char*> argv, envp;
        for (auto& a : argvText) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : envText) envp.push_back(e.data());
        envp.push_back(nullptr);

        int err[2];
        if (::pipe2(err, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(err[1], 2);
            ::execve(path.c_str(), argv.data(), envp.data());
            ::_exit(126);
        }
        ::close(err[1]);
        stderr_ = err[0];
    }

    ~ChildProcess() {
        if (pid_ > 0 && !status_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (stderr_ >= 0) ::close(stderr_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    void signal(int signo) { ::kill(pid_, signo); }

    // The exit code, or nullopt when the program did not end in time (or died of a signal).
    std::optional<int> wait(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!status_) {
            int status = 0;
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                status_ = status;
                break;
            }
            if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!WIFEXITED(*status_)) return std::nullopt;
        return WEXITSTATUS(*status_);
    }

    bool running() {
        if (status_) return false;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = status;
            return false;
        }
        return true;
    }

    // Everything written on standard error so far (the program has ended).
    std::string errorOutput() {
        std::string out;
        char buffer[512];
        ssize_t n;
        while ((n = ::read(stderr_, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(n));
        return out;
    }

private:
    pid_t pid_ = -1;
    int stderr_ = -1;
    std::optional<int> status_;
};

using kt64::test::eventually;

}  // namespace kt64::test
