// The kt64sim program as a user runs it: with --link and --control, a fault
// changed through the control socket while a client talks to the link, and
// SIGTERM ending it with the link and the socket removed.
#include <gtest/gtest.h>

#include <grp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <filesystem>
#include <thread>

#include "CentreTestSupport.h"
#include "LineClient.h"
#include "TestEnvironment.h"
#include "WrongFiles.h"

extern char** environ;

namespace kt64::test {
using namespace kt64::sim;
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const link::Bytes kStatusRequest{0x1B, 0x11, 0x00, 0x0A};

// One control command over a fresh connection; returns the reply line.
std::string controlCommand(const fs::path& socketPath, const std::string& line) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socketPath.c_str());
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        const std::string out = line + "\n";
        if (::write(fd, out.data(), out.size()) == static_cast<ssize_t>(out.size())) {
            char c;
            while (::read(fd, &c, 1) == 1 && c != '\n') reply += c;
        }
    }
    ::close(fd);
    return reply;
}

// Runs kt64sim with the arguments, stderr and stdout discarded; returns its
// exit status (-1 when it did not end within 10 s).
int runToEnd(std::vector<std::string> args) {
    args.insert(args.begin(), KT64SIM_PATH);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, KT64SIM_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = -1;
    if (!kt64::test::eventually([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 10s)) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Kt64simProgram, FaultChangesAtRunTimeAndSigtermRemovesTheLink) {
    const kt64::test::TempDir folder;
    const fs::path& dir = folder.path();
    const auto link = dir / "centre";
    const auto control = dir / "control";
    // The pty goes to this process's group (a site gives dialout).
    const group* own = ::getgrgid(::getegid());
    ASSERT_NE(own, nullptr);
    std::vector<std::string> args = {KT64SIM_PATH,     "--link",  link.string(),         "--control",
                                     control.string(), "--gmt",   "2024-05-17 12:34:56", "--alarm",
                                     "0x81,0x40,0x00", "--group", own->gr_name};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, KT64SIM_PATH, nullptr, nullptr, argv.data(), environ), 0);

    ASSERT_TRUE(kt64::test::eventually([&] { return fs::exists(control) && fs::exists(link); }, 10s));
    struct stat pty {};
    ASSERT_EQ(::stat(link.c_str(), &pty), 0);
    EXPECT_EQ(pty.st_gid, ::getegid());
    EXPECT_EQ(pty.st_mode & 07777, 0660u);
    {
        LineClient client(link.string());
        auto answer = client.exchange(kStatusRequest, 50);
        ASSERT_EQ(answer.size(), 50u);
        EXPECT_EQ(link::xorOf(answer), 0);
        EXPECT_EQ(answer[20], 0x40);  // --alarm took effect
        EXPECT_EQ(hexOf(link::ByteSpan(answer).subspan(6, 3)), "17 05 24");

        EXPECT_EQ(controlCommand(control, "fault marker"), "ok");
        answer = client.exchange(kStatusRequest, 50);
        ASSERT_EQ(answer.size(), 50u);
        EXPECT_EQ(answer[27], 0x00);
        EXPECT_EQ(link::xorOf(answer), 0);

        EXPECT_EQ(runToEnd({"--tell", control.string(), "fault", "none"}), 0);
        answer = client.exchange(kStatusRequest, 50);
        ASSERT_EQ(answer.size(), 50u);
        EXPECT_EQ(answer[27], 0x1B);
        EXPECT_EQ(controlCommand(control, "fault sideways").rfind("error: ", 0), 0u);
        EXPECT_EQ(runToEnd({"--tell", control.string(), "fault", "sideways"}), 1);
    }

    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    int status = -1;
    ASSERT_TRUE(kt64::test::eventually([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 10s));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_FALSE(fs::exists(fs::symlink_status(control)));
}

TEST(Kt64simProgram, BadOptionsAreRefusedWithExitCode2) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--offset", "25:00"},
                                                 {"--fault", "sideways"},
                                                 {"--link"},
                                                 {"stray"},
                                                 {"--tell"},
                                                 {"--bogus", "1"},
                                                 {"--pacing=1"},
                                                 {"--group", "no-such-group-kt64"},
                                                 {"--mode", "0800"}})
        EXPECT_EQ(runToEnd(args), 2) << args[0];
    EXPECT_EQ(runToEnd({"--tell", "/nonexistent/kt64sim-control", "get", "state"}), 1);
}

TEST(Kt64simProgram, WrongImageFilesAreRefusedByName) {
    kt64::test::TempDir dir;
    for (const auto& wrong : kt64::test::wrongImageFiles(dir.path(), "a command list has 2905")) {
        SCOPED_TRACE(wrong.shown);
        const std::vector<std::string> words{KT64SIM_PATH, "--image", wrong.file.string()};
        const auto run = kt64::test::runProgram(wrong.unreadable ? kt64::test::withoutReadOverride(words) : words,
                                                dir.path(), kt64::test::kWrongFileLimits);
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.err, "kt64sim: --image: " + wrong.shown + "\n");
    }
}

}  // namespace
}  // namespace kt64::test
