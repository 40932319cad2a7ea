// Starting, finding and terminating the stand-alone synchronisation program.
#include "StandaloneServiceControl.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

#include "ProgramProcesses.h"
#include "ServiceManager.h"
#include "UniqueFd.h"

namespace kt64::servicecontrol {
namespace {

// Runs in the forked child of a possibly multi-threaded process: only
// async-signal-safe calls. Forks the program's process so that it belongs
// to init, not to the console, and reports a failed exec's errno on report.
[[noreturn]] void launchDetached(const char* path, char* const argv[], int report) {
    const pid_t grandchild = ::fork();
    if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
    ::setsid();
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        if (null > 2) ::close(null);
    }
    // Nothing else of the console goes with the program: every other
    // descriptor it inherited without close-on-exec (a pipe among them would
    // keep its reader waiting for ever) closes at the exec. The report pipe
    // is close-on-exec already, so a failed exec can still be reported.
    ::syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC);
    ::execv(path, argv);
    const int error = errno;
    [[maybe_unused]] auto n = ::write(report, &error, sizeof error);
    ::_exit(127);
}

}  // namespace

StandaloneServiceControl::StandaloneServiceControl(std::filesystem::path programFolder,
                                                   std::chrono::milliseconds stopWait)
    : program_(std::move(programFolder) / sync::kStandaloneProgram), stopWait_(stopWait) {}

bool StandaloneServiceControl::start() {
    const std::string path = program_.string();
    std::string name = sync::kStandaloneProgram;
    std::string marker = sync::kStartMarker;
    char* argv[] = {name.data(), marker.data(), nullptr};

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    // The parent's owners; the child leaves only by exec or _exit, so their
    // destructors never run there.
    UniqueFd reportRead(pipeFds[0]);
    UniqueFd reportWrite(pipeFds[1]);
    const pid_t child = ::fork();
    if (child == 0) launchDetached(path.c_str(), argv, pipeFds[1]);
    reportWrite.reset();
    if (child < 0) return false;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // The pipe closes without data when exec succeeded.
    int execError = 0;
    ssize_t n;
    while ((n = ::read(reportRead.get(), &execError, sizeof execError)) < 0 && errno == EINTR) {
    }
    reportRead.reset();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
}

bool StandaloneServiceControl::stop() {
    const auto pids = findProgramProcesses(sync::kStandaloneProgram);
    bool signalled = false;
    for (const pid_t pid : pids) signalled |= ::kill(pid, SIGTERM) == 0;
    if (!signalled) return false;

    const auto deadline = std::chrono::steady_clock::now() + stopWait_;
    while (std::chrono::steady_clock::now() < deadline && !findProgramProcesses(sync::kStandaloneProgram).empty())
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return true;
}

int StandaloneServiceControl::state() {
    return findProgramProcesses(sync::kStandaloneProgram).empty() ? kStateStopped : kStateRunning;
}

}  // namespace kt64::servicecontrol
