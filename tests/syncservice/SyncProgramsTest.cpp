// The two synchronisation programs run for real: the stand-alone program's
// refusals and its start-and-terminate cycle through the console's service
// control, and the service's readiness, stop and failed start under a
// stand-in for systemd's notification socket. No link server answers (the
// computer is this one on a port where nothing listens), so no cycle can
// ever reach the clock.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "FakeKt64Srv.h"
#include "ProgramProcesses.h"
#include "Registry.h"
#include "ServiceManager.h"
#include "StandaloneServiceControl.h"
#include "SyncMessages.h"
#include "SyncSchedule.h"
#include "SyncSettings.h"
#include "SyncTestSupport.h"
#include "SystemdServiceControl.h"
#include "UniqueFd.h"
#include "WholeFile.h"

namespace kt64::test {
namespace {

using namespace kt64::sync;

using namespace std::chrono_literals;
using servicecontrol::StandaloneServiceControl;

constexpr auto kGenerous = 15s;
const char* const kUnreachable = "127.0.0.1:1";

// HourSync at the local time of day secondsFromNow from now.
DATE hourSyncIn(int secondsFromNow) {
    const std::time_t t = std::time(nullptr) + secondsFromNow;
    std::tm tm{};
    localtime_r(&t, &tm);
    return *makeDate(1899, 12, 30, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

// The descriptors above the standard streams that process pid holds open on
// /dev/null; nullopt when its descriptor table cannot be read.
std::optional<std::vector<int>> nullDescriptorsAboveStandardStreams(pid_t pid) {
    std::error_code ec;
    std::filesystem::directory_iterator entries("/proc/" + std::to_string(pid) + "/fd", ec);
    if (ec) return std::nullopt;
    std::vector<int> found;
    for (const auto& entry : entries) {
        const int fd = std::stoi(entry.path().filename().string());
        if (fd > 2 && std::filesystem::read_symlink(entry.path(), ec) == "/dev/null") found.push_back(fd);
    }
    return found;
}

class SyncProgramsTest : public ::testing::Test {
protected:
    TempFolder dir;
    std::string registryPath = (dir.path() / "registry.db").string();
    std::filesystem::path logPath = dir.path() / "log" / "VqSync.log";
    ScopedEnv registryEnv{"KT64_REGISTRY", registryPath};
    ScopedEnv logEnv{"KT64_LOGDIR", (dir.path() / "log").string()};
    ScopedEnv systemdEnv{"KT64_SYSTEMD_RUNDIR", (dir.path() / "no-systemd").string()};

    void writeSettings(DATE hourSync, const std::string& compName = kUnreachable) {
        auto key = reg::Key::create(reg::Hive::LocalMachine, kSettingsKey);
        key.setBinary("HourSync", dateBytes(hourSync));
        key.setDword("FreqSync", kOnceADayMinutes);
        key.setString("CompName", compName);
        // Never the collector's folder of this computer.
        key.setString("MetricsFolder", dir.path().string());
    }
    std::vector<std::string> messages() { return logMessages(logPath); }
    static std::string text(MessageId id, ProgramVariant v = ProgramVariant::Service) {
        auto t = std::string(messageText(id, v));
        t.pop_back();
        return t;
    }
};

TEST_F(SyncProgramsTest, StandaloneProgramRefusals) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        bool systemdRuns;
        std::string error;
    };
    const Row rows[] = {
        {"under systemd", {"Orvu"}, true, "This program must be run under Win95\\98\\ME\n"},
        {"no arguments", {}, false, "This program cannot be run directly.\n"},
        {"marker in the wrong case", {"orvu"}, false, "This program cannot be run directly.\n"},
    };
    std::filesystem::create_directory(dir.path() / "systemd");
    for (const auto& row : rows) {
        const auto rundir = (dir.path() / (row.systemdRuns ? "systemd" : "no-systemd")).string();
        ChildProcess program(kStandaloneProgram, row.args, {"KT64_SYSTEMD_RUNDIR=" + rundir});
        EXPECT_EQ(program.wait(kGenerous), 255) << row.name;
        EXPECT_EQ(program.errorOutput(), row.error) << row.name;
    }
    EXPECT_FALSE(std::filesystem::exists(logPath));
}

TEST_F(SyncProgramsTest, StandaloneProgramStartedAndStoppedThroughServiceControl) {
    writeSettings(hourSyncIn(3600));
    StandaloneServiceControl control(executableDirectory(), 10s);
    ASSERT_EQ(control.state(), servicecontrol::kStateStopped) << "a HoralService9x is already running";
    EXPECT_FALSE(control.stop());  // nothing to stop

    ASSERT_TRUE(control.start());
    EXPECT_TRUE(eventually([&] { return control.state() == servicecontrol::kStateRunning; }, kGenerous));
    EXPECT_TRUE(eventually([&] { return messages().size() == 1; }, kGenerous));
    // The start sends the standard streams to /dev/null; the descriptor it
    // opened for that must not live on in the program.
    const auto pids = servicecontrol::findProgramProcesses(kStandaloneProgram);
    ASSERT_EQ(pids.size(), 1u);
    EXPECT_EQ(nullDescriptorsAboveStandardStreams(pids.front()), std::vector<int>{});
    EXPECT_TRUE(control.stop());
    EXPECT_EQ(control.state(), servicecontrol::kStateStopped);
    EXPECT_EQ(messages(), (std::vector<std::string>{text(MessageId::Started), text(MessageId::Stopped)}));
    EXPECT_FALSE(control.stop());

    StandaloneServiceControl missing(dir.path(), 1s);
    EXPECT_FALSE(missing.start());
}

// The console waits 3 s for the stand-alone program to end. A stop that
// comes while the worker waits for the link server must cut that wait short
// (it lasts 5 s) and log nothing but the stop.
TEST_F(SyncProgramsTest, StandaloneProgramStopsAtOnceDuringALinkCall) {
    // A server whose WaitForDeviceRead does not come back: the client waits
    // for it up to its 8 s deadline.
    FakeKt64Srv fake;
    FakeServerHost host(fake);
    fake.edit([](FakeState& s) { s.waitDelay = 60s; });
    writeSettings(hourSyncIn(1), "127.0.0.1:" + std::to_string(host.port()));
    StandaloneServiceControl control(executableDirectory(), 3s);
    ASSERT_EQ(control.state(), servicecontrol::kStateStopped) << "a HoralService9x is already running";
    ASSERT_TRUE(control.start());
    ASSERT_TRUE(eventually([&] { return fake.edit([](FakeState& s) { return s.waits; }) > 0; }, kGenerous));
    EXPECT_TRUE(control.stop());
    EXPECT_EQ(control.state(), servicecontrol::kStateStopped);
    EXPECT_EQ(messages(), (std::vector<std::string>{text(MessageId::Started), text(MessageId::Stopped)}));
}

TEST_F(SyncProgramsTest, StandaloneProgramWithMarkerAmongOtherTextAndNoSettings) {
    // An unusable registry store: message 106, no worker, and the program
    // stays until it is stopped.
    writeFile(dir.path() / "file", "");
    ChildProcess program(kStandaloneProgram, {"-x", "abcOrvudef"},
                         {"KT64_REGISTRY=" + (dir.path() / "file" / "registry.db").string()});
    ASSERT_TRUE(eventually([&] { return messages().size() == 1; }, kGenerous));
    EXPECT_TRUE(program.running());
    EXPECT_EQ(messages(), std::vector<std::string>{text(MessageId::SettingsUnavailable)});
    program.signal(SIGINT);
    EXPECT_EQ(program.wait(kGenerous), 0);
    EXPECT_EQ(messages(), (std::vector<std::string>{text(MessageId::SettingsUnavailable), text(MessageId::Stopped)}));
}

// Receives what the service sends to systemd's notification socket.
class NotifySocket {
public:
    explicit NotifySocket(std::filesystem::path path) : path_(std::move(path)) {
        fd_.reset(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path_.c_str(), sizeof addr.sun_path - 1);
        ::bind(fd_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;
    std::string env() const { return "NOTIFY_SOCKET=" + path_.string(); }

    // Every datagram that arrives within limit, joined by newlines.
    std::string receive(std::chrono::milliseconds limit) {
        std::string all;
        pollfd p{fd_.get(), POLLIN, 0};
        while (::poll(&p, 1, static_cast<int>(limit.count())) > 0) {
            char buffer[1024];
            const ssize_t n = ::recv(fd_.get(), buffer, sizeof buffer, 0);
            if (n <= 0) break;
            all.append(buffer, static_cast<std::size_t>(n));
            all += '\n';
            limit = 200ms;
        }
        return all;
    }

private:
    std::filesystem::path path_;
    kt64::UniqueFd fd_;
};

TEST_F(SyncProgramsTest, ServiceNotStartedBySystemdEndsAtOnce) {
    ChildProcess service("HoralService", {}, {}, {"NOTIFY_SOCKET", "INVOCATION_ID"});
    EXPECT_EQ(service.wait(kGenerous), 0);
    EXPECT_EQ(service.errorOutput(), "HoralService: runs only under systemd: systemctl start HoralService\n");
    EXPECT_FALSE(std::filesystem::exists(logPath));
}

// Help comes before every start-up rule; a wrong argument is refused with
// the usage (exit 2) and starts nothing.
TEST_F(SyncProgramsTest, ProgramsAnswerHelpAndRefuseUnknownArguments) {
    struct Row {
        const char* program;
        std::vector<std::string> args;
        int code;
        std::string errorStart;
    };
    const Row rows[] = {
        {"HoralService", {"--help"}, 0, ""},
        {"HoralService", {"/?"}, 0, ""},
        {"HoralService", {"--start"}, 2, "HoralService: unknown argument '--start'\nUsage: HoralService [--help]\n"},
        {kStandaloneProgram, {"--help"}, 0, ""},
        {kStandaloneProgram, {"-h"}, 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.program) + " " + row.args[0]);
        ChildProcess program(row.program, row.args, {"KT64_SYSTEMD_RUNDIR=" + (dir.path() / "none").string()},
                             {"NOTIFY_SOCKET", "INVOCATION_ID"});
        EXPECT_EQ(program.wait(kGenerous), row.code);
        EXPECT_TRUE(program.errorOutput().starts_with(row.errorStart));
    }
    EXPECT_FALSE(std::filesystem::exists(logPath));
}

TEST_F(SyncProgramsTest, ServiceReportsReadyRunsACycleAndStopsInOrder) {
    // The first instant is two seconds away: the cycle finds no server.
    writeSettings(hourSyncIn(2));
    NotifySocket notify(dir.path() / "notify");
    ChildProcess service("HoralService", {}, {notify.env()});
    EXPECT_NE(notify.receive(kGenerous).find("READY=1"), std::string::npos);
    ASSERT_TRUE(eventually([&] { return messages().size() == 2; }, 20s));
    EXPECT_TRUE(service.running());

    service.signal(SIGTERM);
    EXPECT_EQ(service.wait(kGenerous), 0);
    EXPECT_NE(notify.receive(1s).find("STOPPING=1"), std::string::npos);
    EXPECT_EQ(messages(), (std::vector<std::string>{text(MessageId::Started), text(MessageId::NoConnection),
                                                    text(MessageId::Stopped)}));
    // The metrics file counts the cycle by its message.
    EXPECT_NE(readWholeFile(dir.path() / "kt64-sync.prom", {0, 4096, ""})
                  .find("\nkt64_sync_cycles_failed_total{message=\"107\"} 1\n"),
              std::string::npos);
}

TEST_F(SyncProgramsTest, ServiceStartFailsWithoutSettingsKey) {
    writeFile(dir.path() / "file", "");
    NotifySocket notify(dir.path() / "notify");
    ChildProcess service("HoralService", {},
                         {notify.env(), "KT64_REGISTRY=" + (dir.path() / "file" / "registry.db").string()});
    EXPECT_EQ(service.wait(kGenerous), 1);
    EXPECT_EQ(notify.receive(500ms).find("READY=1"), std::string::npos);
    EXPECT_EQ(messages(), std::vector<std::string>{text(MessageId::SettingsUnavailable)});
}

TEST(SystemdServiceControlHere, UnreachableWithoutSystemd) {
    if (serviceManagerRunning()) GTEST_SKIP() << "systemd runs here; its answers depend on the installed unit";
    servicecontrol::SystemdServiceControl control;
    EXPECT_EQ(control.state(), servicecontrol::kStateUnreachable);
    EXPECT_FALSE(control.start());
    EXPECT_FALSE(control.stop());
}

}  // namespace
}  // namespace kt64::test
