// The VqSrvKt64 program itself: its switches writing and removing the
// registration and the service unit, the run-mode rules, the on-demand start
// from a client with the end about 5 s after the last lease, and a server
// that dies mid-call.
#include <gtest/gtest.h>

#include <filesystem>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <thread>

#include "CentreEmulator.h"
#include "CentreFault.h"
#include "Kt64Client.h"
#include "LocalSockets.h"
#include "Loopback.h"
#include "OtherComputer.h"
#include "Registry.h"
#include "TestEnvironment.h"
#include "ProgramRun.h"
#include "UniqueFd.h"

extern char** environ;

namespace kt64::test {
namespace {

using namespace std::chrono_literals;

const char* const kServer = KT64_SERVER_EXE;
const std::string kAppKey = "AppID\\{9F200A91-BDDC-4309-AB37-98F1ECFDF63A}";
const std::string kClassKey = "CLSID\\{FFDCA866-8EB7-48D2-9DBF-48BB2575BC22}";

pid_t spawnServer(const std::vector<std::string>& args) {
    std::vector<char*> argv{const_cast<char*>(kServer)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, kServer, nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
}

int runServer(const std::vector<std::string>& args) {
    const pid_t pid = spawnServer(args);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Captured {
    int code = -1;
    std::string out, err;
};

// The program with its standard output and error in files of dir.
Captured runServerCaptured(const std::vector<std::string>& args, const std::filesystem::path& dir) {
    const auto outFile = dir / "server.out", errFile = dir / "server.err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv{const_cast<char*>(kServer)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    Captured c;
    if (posix_spawn(&pid, kServer, &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) c.code = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    c.out = fileText(outFile);
    c.err = fileText(errFile);
    return c;
}

std::optional<std::string> classValue(const std::string& key, std::string_view name) {
    auto k = reg::Key::open(reg::Hive::ClassesRoot, key);
    return k ? k->string(name) : std::nullopt;
}

TEST(ServerProcess, SwitchesWriteAndRemoveTheRegistrationAndDecideTheRunMode) {
    TempRegistry registry;
    TempDir units;
    ScopedEnv unitDir("KT64_UNIT_DIR", units.path().string());
    ::unsetenv("NOTIFY_SOCKET");
    const auto unit = units.path() / "VqSrvKt64.service";

    EXPECT_EQ(runServer({}), 1) << "not registered";
    ASSERT_EQ(runServer({"-regserver"}), 0);
    EXPECT_EQ(classValue(kClassKey + "\\LocalServer32", ""), std::filesystem::canonical(kServer).string());
    EXPECT_EQ(classValue(kAppKey, "LocalService"), std::nullopt);

    ASSERT_EQ(runServer({"/SERVICE"}), 0);
    EXPECT_EQ(classValue(kAppKey, "LocalService"), "VqSrvKt64");
    EXPECT_TRUE(std::filesystem::exists(unit));
    EXPECT_EQ(runServer({}), 1) << "a service started by hand ends at once";

    ASSERT_EQ(runServer({"-RegServer"}), 0);
    EXPECT_FALSE(std::filesystem::exists(unit)) << "registering uninstalls the service";
    EXPECT_EQ(classValue(kAppKey, "LocalService"), std::nullopt);

    ASSERT_EQ(runServer({"/Service"}), 0);
    ASSERT_EQ(runServer({"-UnregServer"}), 0);
    EXPECT_FALSE(std::filesystem::exists(unit));
    EXPECT_FALSE(reg::Key::open(reg::Hive::ClassesRoot, kClassKey));
    EXPECT_FALSE(reg::Key::open(reg::Hive::ClassesRoot, kAppKey));
    EXPECT_FALSE(reg::Key::open(reg::Hive::ClassesRoot, "VqSrvKt64.Kt64Srv"));
    EXPECT_TRUE(reg::Key::open(reg::Hive::ClassesRoot, "CLSID"));
    EXPECT_EQ(runServer({}), 1);
}

// A registered server with the emulated centre as COM1 and its own RpcPort.
struct ProcessRig {
    ProcessRig() {
        sim::EmulatorOptions options;
        options.linkPath = (registry.dir() / "ttyKT").string();
        emulator = std::make_unique<sim::CentreEmulator>(options);
        emulator->start();
        reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv\\Devices")
            .setString("COM1", emulator->devicePath());
        reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv").setDword("RpcPort", port);
        // Loopback only: tests keep their traffic on this computer.
        reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv").setString("ListenAddress", "127.0.0.1");
        registered = runServer({"-RegServer"}) == 0;
    }

    TempRegistry registry;
    TempDir units;
    ScopedEnv unitDir{"KT64_UNIT_DIR", units.path().string()};
    std::uint16_t port = freeTcpPort();
    std::unique_ptr<sim::CentreEmulator> emulator;
    bool registered = false;
};

TEST(ServerProcess, CommandLineAndListenFailuresSayWhatIsWrong) {
    TempRegistry registry;
    TempDir units;
    ScopedEnv unitDir{"KT64_UNIT_DIR", units.path().string()};

    const Captured help = runServerCaptured({"--help"}, registry.dir());
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: VqSrvKt64")) << help.out;
    const Captured typo = runServerCaptured({"-RegSrever"}, registry.dir());
    EXPECT_EQ(typo.code, 2);
    EXPECT_TRUE(typo.err.starts_with("VqSrvKt64: unknown switch '-RegSrever'\nUsage: VqSrvKt64")) << typo.err;
    EXPECT_FALSE(reg::Key::open(reg::Hive::ClassesRoot, kClassKey)) << "a refused switch registers nothing";
    const Captured unregistered = runServerCaptured({}, registry.dir());
    EXPECT_EQ(unregistered.code, 1);
    EXPECT_NE(unregistered.err.find("not registered: run it once with -RegServer or -Service"), std::string::npos)
        << unregistered.err;

    // Another program holds the port.
    const int holder = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(holder, 1), 0);
    socklen_t len = sizeof a;
    ::getsockname(holder, reinterpret_cast<sockaddr*>(&a), &len);
    const std::uint16_t port = ntohs(a.sin_port);
    reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv").setDword("RpcPort", port);
    reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv").setString("ListenAddress", "127.0.0.1");
    reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv\\Devices")
        .setString("COM1", (registry.dir() / "no-tty").string());
    ASSERT_EQ(runServer({"-RegServer"}), 0);
    const Captured taken = runServerCaptured({}, registry.dir());
    ::close(holder);
    EXPECT_EQ(taken.code, 1);
    EXPECT_NE(taken.err.find("TCP port " + std::to_string(port) + " on 127.0.0.1: address in use"), std::string::npos)
        << taken.err;
    // One line: gRPC's own diagnostics go to the journal, not to the user.
    EXPECT_EQ(std::count(taken.err.begin(), taken.err.end(), '\n'), 1) << taken.err;
}

// A user outside the registry's group runs the server against a
// root-owned registry: it reads its registration and port, serves, and
// reports the serial port's own failure (not 0x80070005).
TEST(ServerProcess, AnUnprivilegedUserRunsTheServerOnARootOwnedRegistry) {
    if (::geteuid() != 0) GTEST_SKIP() << "switching users needs root";
    if (::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv (util-linux) is not installed";
    // The unprivileged user must be able to reach the build tree's program
    // and libraries; a checkout inside a private folder (mode 0700) is not.
    for (auto dir = std::filesystem::path(kServer).parent_path(); !dir.empty() && dir != dir.root_path();
         dir = dir.parent_path()) {
        if ((std::filesystem::status(dir).permissions() & std::filesystem::perms::others_exec) ==
            std::filesystem::perms::none)
            GTEST_SKIP() << dir << " cannot be entered by other users, so the server cannot run as one there";
    }
    TempRegistry registry;
    TempDir units;
    ScopedEnv unitDir{"KT64_UNIT_DIR", units.path().string()};
    std::filesystem::permissions(registry.dir(), std::filesystem::perms(0755));
    const std::uint16_t port = freeTcpPort();
    reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv").setDword("RpcPort", port);
    reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv").setString("ListenAddress", "127.0.0.1");
    const std::string device = (registry.dir() / "no-tty").string();
    reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv\\Devices").setString("COM1", device);
    ASSERT_EQ(runServer({"-RegServer"}), 0);
    // Its sockets go where its account may write, as /run/kt64 is the
    // service account's group's.
    TempDir sockets;
    ASSERT_EQ(::chown(sockets.path().c_str(), 65534, 65534), 0);
    std::filesystem::permissions(sockets.path(), std::filesystem::perms(0755));
    ScopedEnv socketDir{"KT64_RUNTIME_DIR", sockets.path().string()};

    std::vector<std::string> words{
        "/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--", kServer};
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
    // Connect only once it listens: a client finding nothing would start a
    // server of its own (as root).
    ASSERT_TRUE(eventually([&] { return listening(port); }));
    {
        std::unique_ptr<client::ServerProxy> c;
        ASSERT_TRUE(eventually([&] {
            try {
                c = client::ConnectServer("localhost:" + std::to_string(port));
                return true;
            } catch (const client::ServerError&) {
                return false;
            }
        }));
        // Port is missing and may not be written by this user: 1 holds.
        EXPECT_EQ(c->GetComPort(), 1u);
        std::optional<client::ServerError> error;
        ASSERT_TRUE(eventually([&] {
            try {
                c->GetGmtTime();
            } catch (const client::ServerError& e) {
                error = e;
            }
            return error && error->code() == E_KT64_PORT;
        }));
        EXPECT_EQ(error->description(), "No such file or directory (" + device + ")");
        // Writing needs the registry's group.
        try {
            c->SetComPort(2);
            ADD_FAILURE() << "an unprivileged server wrote the root-owned registry";
        } catch (const client::ServerError& e) {
            EXPECT_EQ(static_cast<std::uint32_t>(e.code()), 0x80040205u);
        }
    }
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

// The server started on demand gets the rig's environment, so it waits
// 500 ms after its last lease instead of a user's 5 s.
TEST(ServerProcess, AClientStartsTheServerWhichEndsItsIdleTimeAfterTheLastLease) {
    ProcessRig rig;
    ASSERT_TRUE(rig.registered);
    ScopedEnv idle("KT64_IDLE_SHUTDOWN_MS", "500");
    ASSERT_FALSE(listening(rig.port));
    std::chrono::steady_clock::time_point releasing;
    {
        auto c = client::ConnectServer("");  // this computer, RpcPort from the registry
        EXPECT_TRUE(listening(rig.port));
        EXPECT_TRUE(eventually([&] {
            try {
                return c->GetBuildType() == "KT-64/GPS/2/232 V1.2";
            } catch (const client::ServerError&) {
                return false;
            }
        }));
        EXPECT_TRUE(listening(rig.port)) << "a lease keeps it running";
        releasing = std::chrono::steady_clock::now();
    }
    ASSERT_TRUE(eventually([&] { return !listening(rig.port); }, 20s));
    const double lasted = secondsSince(releasing);
    std::printf("ended %.2f s after the last lease\n", lasted);
    EXPECT_GE(lasted, 0.5) << "ended before its idle time";
}

TEST(ServerProcess, AServerThatDiesMidCallGivesTheDescriptionLessError) {
    ProcessRig rig;
    ASSERT_TRUE(rig.registered);
    const pid_t pid = spawnServer({});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(eventually([&] { return listening(rig.port); }));
    auto c = client::ConnectServer("");
    c->ComunicationEnable(0);  // every wait now lasts up to about a second

    // Calls follow each other at once, so once the first has come back the
    // next one is under way on a live connection when the server dies.
    std::optional<client::ServerError> lost;
    std::atomic<int> answered{0};
    std::thread waiter([&] {
        for (int i = 0; i < 20 && !lost; ++i) {
            try {
                c->WaitForDeviceRead();
            } catch (const client::ServerError& e) {
                lost = e;
            }
            ++answered;
        }
    });
    EXPECT_TRUE(eventually([&] { return answered > 0; }, 10s));
    ::kill(pid, SIGKILL);
    waiter.join();
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(lost) << "the call did not fail";
    EXPECT_EQ(lost->description(), std::nullopt);
    EXPECT_EQ(lost->displayText(), client::kNoServerErrorText);
}

// An upload under way when the server is told to end (SIGTERM, or its last
// client gone) runs to its last record first: the centre must never be left
// with part of the new command list. Answers come 15 ms late, so the upload
// lasts longer than the 5 s the server waits after its last lease.
TEST(ServerProcess, AnUploadUnderWayEndsWholeBeforeTheServerDoes) {
    for (const bool terminate : {true, false}) {
        SCOPED_TRACE(terminate ? "SIGTERM" : "last lease gone");
        ProcessRig rig;
        ASSERT_TRUE(rig.registered);
        rig.emulator->setFault(*sim::parseFault("late 15"));
        const pid_t pid = spawnServer({});
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(eventually([&] { return listening(rig.port); }));
        std::vector<std::uint8_t> image(2905);
        for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 13 + 5);
        {
            auto c = client::ConnectServer("localhost:" + std::to_string(rig.port));
            ASSERT_TRUE(eventually([&] {
                try {
                    c->GetSerialNum();
                    return true;
                } catch (const client::ServerError&) {
                    return false;
                }
            }));
            c->PutRozkazy(image);
            ASSERT_TRUE(eventually([&] { return c->GetRozkazPos() < 2905 - 7 * 10; }));
            if (terminate) {
                ::kill(pid, SIGTERM);
                // The interface stays open while the transfer ends, so a
                // client following it sees its last records go.
                EXPECT_TRUE(eventually(
                    [&] {
                        try {
                            return c->GetRozkazPos() < 7 * 20;
                        } catch (const client::ServerError&) {
                            return false;
                        }
                    },
                    30s));
            }
        }
        int status = 0;
        ASSERT_TRUE(eventually([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 60s));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(rig.emulator->image(), image);
    }
}

// The readiness socket a service manager gives its services.
class NotifySocket {
public:
    explicit NotifySocket(const std::filesystem::path& path) : path_(path) {
        fd_.reset(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
        ::bind(fd_.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
        timeval tv{15, 0};
        ::setsockopt(fd_.get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    // The next notification, "" after 15 s without one.
    std::string next() {
        char buffer[512];
        const auto n = ::recv(fd_.get(), buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }

private:
    std::filesystem::path path_;
    kt64::UniqueFd fd_;
};

TEST(ServerProcess, AsAServiceItReportsReadinessServesAndStopsOnRequest) {
    ProcessRig rig;
    ScopedEnv idle("KT64_IDLE_SHUTDOWN_MS", "500");
    ASSERT_EQ(runServer({"-Service"}), 0);
    NotifySocket notify(rig.units.path() / "notify");
    ScopedEnv env("NOTIFY_SOCKET", (rig.units.path() / "notify").string());
    const pid_t pid = spawnServer({});
    ASSERT_GT(pid, 0);
    EXPECT_EQ(notify.next(), "READY=1");
    EXPECT_EQ(notify.next(), "STATUS=no lease held; runs until stopped");
    EXPECT_TRUE(listening(rig.port));
    ::kill(pid, SIGHUP);  // a request it does not know: logged, ignored
    {
        auto c = client::ConnectServer("localhost:" + std::to_string(rig.port));
        EXPECT_EQ(notify.next(), "STATUS=1 lease held; runs until stopped");
        EXPECT_TRUE(eventually([&] {
            try {
                c->GetSerialNum();
                return true;
            } catch (const client::ServerError&) {
                return false;
            }
        }));
    }
    EXPECT_EQ(notify.next(), "STATUS=no lease held; runs until stopped")
        << "a service does not end with its last client";
    EXPECT_TRUE(listening(rig.port));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(notify.next(), "STOPPING=1");
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// A default installation seen from another computer: it reads the centre,
// and every change it asks for is refused with the reason while the centre
// and the server stay as they were.
TEST(ServerProcess, AnotherComputerReadsButChangesNothing) {
    OtherComputer other;
    if (!other.why().empty()) GTEST_SKIP() << other.why();
    ProcessRig rig;
    ASSERT_TRUE(rig.registered);
    reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv").setString("ListenAddress", other.here());
    const pid_t pid = spawnServer({});
    ASSERT_GT(pid, 0);
    // Connect only once it serves this computer: a client finding nothing
    // would start a server of its own.
    ASSERT_TRUE(
        eventually([&] { return std::filesystem::exists(rpc::localSocketPath(rpc::LocalSocket::Control, rig.port)); }));
    auto local = client::ConnectServer("");
    ASSERT_TRUE(eventually([&] {
        try {
            return local->GetBuildType() == "KT-64/GPS/2/232 V1.2";
        } catch (const client::ServerError&) {
            return false;
        }
    }));
    const DATE centreBefore = local->GetGmtTime();
    const std::string server = other.here() + ":" + std::to_string(rig.port);
    const std::string refusal = "Brak uprawnień: komputer " + other.there() + " może tylko odczytywać.";
    struct Row {
        std::vector<std::string> args;
        bool refused;
    };
    const Row rows[] = {
        {{"status"}, false},      {{"set-time", "2020-01-01 03:00"}, true},
        {{"offset", "+5"}, true}, {{"lines", "--analog", "off", "--digital", "off"}, true},
        {{"pause"}, true},        {{"port", "7"}, true},
        {{"port"}, false},
    };
    for (const Row& row : rows) {
        std::vector<std::string> words{KT64_CTL_EXE, "--computer", server};
        words.insert(words.end(), row.args.begin(), row.args.end());
        SCOPED_TRACE(words[3]);
        const auto outcome = other.run(words);
        EXPECT_EQ(outcome.code, row.refused ? 1 : 0) << outcome.err;
        EXPECT_EQ(outcome.err.find(refusal) != std::string::npos, row.refused) << outcome.err;
    }
    // Nothing changed: the port, the link (not paused: the centre's clock
    // runs on in fresh readings), the centre's clock and lines.
    EXPECT_EQ(local->GetComPort(), 1u);
    EXPECT_EQ(reg::Key::open(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv")->dword("Port").value_or(1), 1u);
    EXPECT_TRUE(eventually([&] { return local->GetGmtTime() > centreBefore; }));
    EXPECT_LT(std::abs(local->GetGmtTime() - centreBefore), 1.0 / 24) << "the centre's clock was set";
    local.reset();
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

}  // namespace
}  // namespace kt64::test
