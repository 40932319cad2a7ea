// On-demand start: a client of this computer with nothing listening starts
// the registered server, which lives while the lease does, or has the
// service manager start it when it is installed as a service; and the
// errors when nothing is registered, the registered program does not
// answer, or the service manager cannot be reached or refuses.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "Kt64Client.h"
#include "Kt64SrvIds.h"
#include "Activation.h"
#include "FakeServiceManager.h"
#include "Registry.h"
#include "TestEnvironment.h"
#include "Loopback.h"
#include "ServiceStart.h"

namespace kt64::test {
namespace {

using namespace std::chrono_literals;

const std::string kClassKey = "CLSID\\" + std::string(ids::kClsid);
const std::string kAppIdKey = "AppID\\" + std::string(ids::kAppId);

// Makes this process the reaper of the orphans of its descendants while it
// lives, so that a program a client starts detached (forked twice) stays
// visible as a child of the test: whether the client ran it is then a
// question about the process table right after the call, not a matter of
// waiting to see whether a file appears. Its own adopted children it ends.
class AdoptedOrphans {
public:
    AdoptedOrphans() { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }
    ~AdoptedOrphans() {
        ::prctl(PR_SET_CHILD_SUBREAPER, 0);
        for (pid_t pid : running(KT64_FAKE_SERVER)) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    AdoptedOrphans(const AdoptedOrphans&) = delete;
    AdoptedOrphans& operator=(const AdoptedOrphans&) = delete;

    // The children of this process that run program.
    static std::vector<pid_t> running(const std::filesystem::path& program) {
        std::vector<pid_t> found;
        std::error_code error;
        for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
            std::ifstream children(task.path() / "children");
            for (pid_t pid; children >> pid;) {
                std::error_code ignored;
                const auto exe = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ignored);
                if (!exe.empty() && std::filesystem::equivalent(exe, program, ignored)) found.push_back(pid);
            }
        }
        return found;
    }
};

// The entries that decide how the server is started, as -RegServer
// (classAppId, localServer) and -Service (also localService) write them.
void writeRegistration(bool classAppId, const std::optional<std::string>& localService,
                       const std::optional<std::string>& localServer) {
    auto cls = reg::Key::create(reg::Hive::ClassesRoot, kClassKey);
    if (classAppId) cls.setString("AppID", ids::kAppId);
    auto app = reg::Key::create(reg::Hive::ClassesRoot, kAppIdKey);
    app.setString("", ids::kAppName);
    if (localService) app.setString("LocalService", *localService);
    if (localServer) reg::Key::create(reg::Hive::ClassesRoot, ids::kLocalServerKey).setString("", *localServer);
}

// Starters that only record what they were asked to start.
struct RecordedStarts {
    std::vector<std::filesystem::path> programs;
    std::vector<std::string> units;
    client::Starters starters() {
        client::Starters s;
        s.program = [this](const std::filesystem::path& p) { programs.push_back(p); };
        s.service = [this](const std::string& unit, std::chrono::milliseconds) { units.push_back(unit); };
        return s;
    }
};

TEST(ActivationDecisionTest, ServiceRegistrationStartsTheUnitOtherwiseTheProgram) {
    struct Row {
        const char* what;
        bool classAppId;
        std::optional<std::string> localService;
        std::optional<std::string> localServer;
        std::optional<std::string> unit;     // expected service start
        std::optional<std::string> program;  // expected program start
    };
    const Row rows[] = {
        {"registered as a service", true, "VqSrvKt64", "/opt/kt64/VqSrvKt64", "VqSrvKt64.service", std::nullopt},
        {"service without LocalServer32", true, "VqSrvKt64", std::nullopt, "VqSrvKt64.service", std::nullopt},
        {"LocalService already a unit name", true, "VqSrvKt64.service", std::nullopt, "VqSrvKt64.service",
         std::nullopt},
        {"registered as a local server", true, std::nullopt, "/opt/kt64/VqSrvKt64", std::nullopt,
         "/opt/kt64/VqSrvKt64"},
        {"empty LocalService", true, "", "\"/opt/kt64/VqSrvKt64\"", std::nullopt, "/opt/kt64/VqSrvKt64"},
        {"class names no AppID", false, "VqSrvKt64", "/opt/kt64/VqSrvKt64", std::nullopt, "/opt/kt64/VqSrvKt64"},
        {"nothing to start", true, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        kt64::test::TempRegistry registry;
        writeRegistration(row.classAppId, row.localService, row.localServer);
        RecordedStarts starts;
        try {
            const auto started = client::activateLocalServer(starts.starters(), 1s);
            EXPECT_EQ(started, row.unit ? *row.unit : row.program.value_or("?"));
        } catch (const client::ServerError& e) {
            EXPECT_FALSE(row.unit || row.program) << e.what();
            EXPECT_EQ(e.code(), client::E_CLASS_NOT_REGISTERED);
            EXPECT_FALSE(e.description());
        }
        EXPECT_EQ(starts.units, row.unit ? std::vector{*row.unit} : std::vector<std::string>{});
        EXPECT_EQ(starts.programs, row.program ? std::vector{std::filesystem::path(*row.program)}
                                               : std::vector<std::filesystem::path>{});
    }
}

// What root executes or starts is never chosen by anyone else: a program
// named in a store that another user can change (the file, a folder above
// it, the owner), a unit other than the server's own, and a registration
// an older installation left in the group's store are all refused with the
// file named, and nothing is started.
TEST(ActivationDecisionTest, ARegistrationOthersCouldWriteStartsNothing) {
    namespace fs = std::filesystem;
    const uid_t me = ::geteuid();
    struct Row {
        const char* what;
        std::optional<std::string> localService;
        // Changes the stores after the registration was written; returns
        // the text expected after "wskazanego w <system store>: ".
        std::function<std::string(const fs::path& system, const fs::path& shared)> change;
        bool rootAlone = false;  // trusts root's stores only, not the caller's too
        HRESULT code = client::E_ACCESSDENIED;
    };
    const Row rows[] = {
        {"the store is group-writable (a member set LocalServer32)", std::nullopt,
         [](const fs::path& system, const fs::path&) {
             fs::permissions(system, fs::perms(0664));
             return "plik " + system.string() + " mogą zmieniać inni użytkownicy (prawa 0664)";
         }},
        {"its folder is group-writable", std::nullopt,
         [](const fs::path& system, const fs::path&) {
             fs::permissions(system.parent_path(), fs::perms(0775));
             return "folder " + system.parent_path().string() + " mogą zmieniać inni użytkownicy (prawa 0775)";
         }},
        {"its write-ahead log is group-writable", std::nullopt,
         [](const fs::path& system, const fs::path&) {
             const fs::path wal = system.string() + "-wal";
             std::ofstream(wal, std::ios::app).close();
             fs::permissions(wal, fs::perms(0666));
             return "plik " + wal.string() + " mogą zmieniać inni użytkownicy (prawa 0666)";
         }},
        {"the store is a link", std::nullopt,
         [](const fs::path& system, const fs::path&) {
             fs::rename(system, system.string() + ".real");
             fs::create_symlink(system.string() + ".real", system);
             // The store is not even read through a link.
             return "Nie uruchomię serwera łącza zarejestrowanego w " + system.string() + ": plik " + system.string() +
                    " jest dowiązaniem symbolicznym. Zmieniać ten plik i jego foldery może tylko root; zarejestruj "
                    "serwer poleceniem: sudo VqSrvKt64 -RegServer";
         }},
        {"the store is someone else's", std::nullopt,
         [me](const fs::path& system, const fs::path&) {
             // Root gives it away; another caller trusts root alone.
             const uid_t owner = me == 0 ? 65534 : me;
             if (me == 0) {
                 EXPECT_EQ(::chown(system.c_str(), owner, owner), 0);
             }
             return "plik " + system.string() + " należy do użytkownika o uid " + std::to_string(owner);
         },
         true},
        {"LocalService names another unit", "systemd-poweroff",
         [](const fs::path& system, const fs::path&) {
             return "Nie uruchomię usługi systemd-poweroff.service wskazanej w " + system.string() +
                    ": serwer łącza to tylko usługa VqSrvKt64.service";
         }},
        {"only an older installation's registration, in the group's store", std::nullopt,
         [](const fs::path& system, const fs::path& shared) {
             fs::rename(system, shared);
             return "Rejestracja serwera łącza w " + shared.string() +
                    " pochodzi ze starszej instalacji i nie jest już używana: rejestrację zapisuje tylko root w " +
                    system.string() + ". Zarejestruj serwer poleceniem: sudo VqSrvKt64 -Service (lub -RegServer)";
         },
         false, client::E_CLASS_NOT_REGISTERED},
        {"a sticky group-writable folder above is no way in", std::nullopt,
         [](const fs::path& system, const fs::path&) {
             fs::permissions(system.parent_path().parent_path(), fs::perms(01777));
             return std::string();
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        kt64::test::TempRegistry registry;
        writeRegistration(true, row.localService, "/tmp/member-owned-program");
        const fs::path system = reg::systemRegistryPath();
        const std::string fault = row.change(system, registry.file());
        RecordedStarts starts;
        auto starters = starts.starters();
        if (row.rootAlone) starters.storeOwners = {};
        try {
            const auto started = client::activateLocalServer(starters, 1s);
            EXPECT_TRUE(fault.empty()) << "started " << started;
        } catch (const client::ServerError& e) {
            EXPECT_EQ(e.code(), row.code);
            const std::string expected =
                fault.starts_with("plik") || fault.starts_with("folder")
                    ? "Nie uruchomię programu serwera łącza /tmp/member-owned-program wskazanego w " + system.string() +
                          ": " + fault +
                          ". Zmieniać ten plik i jego foldery może tylko root; zarejestruj serwer poleceniem: sudo "
                          "VqSrvKt64 -RegServer"
                    : fault;
            EXPECT_EQ(e.description().value_or("(none)"), expected);
        }
        EXPECT_TRUE(starts.units.empty());
        EXPECT_EQ(starts.programs.size(), fault.empty() ? 1u : 0u);
    }
}

TEST(ServiceStartFailureTest, BusErrorsGiveTheServiceControlCodes) {
    struct Row {
        const char* busError;
        int error;
        HRESULT expected;
    };
    const Row rows[] = {
        {"", ENOENT, client::E_SCM_RPC_FAILURE},  // no system bus socket
        {"", ECONNREFUSED, client::E_SCM_RPC_FAILURE},
        {"", EACCES, client::E_ACCESSDENIED},  // bus socket not ours to use
        {"org.freedesktop.DBus.Error.ServiceUnknown", EHOSTUNREACH, client::E_SCM_RPC_FAILURE},  // bus, no systemd
        {"org.freedesktop.DBus.Error.NoReply", ETIMEDOUT, client::E_SCM_RPC_FAILURE},
        // A system bus without systemd running: activating the manager fails.
        {"org.freedesktop.DBus.Error.Spawn.ChildExited", EIO, client::E_SCM_RPC_FAILURE},
        {"org.freedesktop.systemd1.NoSuchUnit", ENOENT, client::E_SERVICE_DOES_NOT_EXIST},
        {"org.freedesktop.systemd1.UnitMasked", ESHUTDOWN, client::E_SERVICE_DISABLED},
        {"org.freedesktop.DBus.Error.AccessDenied", EACCES, client::E_ACCESSDENIED},
        {"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired", EBUSY, client::E_ACCESSDENIED},
        {"org.freedesktop.systemd1.JobTypeNotApplicable", EIO, client::E_SERVER_EXEC_FAILURE},
    };
    for (const auto& row : rows)
        EXPECT_EQ(client::serviceStartFailure(row.busError, row.error), row.expected)
            << row.busError << " errno " << row.error;
}

class ActivationTest : public ::testing::Test {
protected:
    void SetUp() override {
        port_ = kt64::test::freeTcpPort();
        reg::Key::create(reg::Hive::LocalMachine, ids::kConfigKey).setDword(ids::kRpcPortValue, port_);
    }
    void registerServer(const std::string& value) {
        reg::Key::create(reg::Hive::ClassesRoot, ids::kLocalServerKey).setString("", value);
    }
    std::optional<client::ServerError> connectError(client::ConnectOptions options) {
        try {
            client::ConnectServer("", options);
        } catch (const client::ServerError& e) {
            return e;
        }
        return std::nullopt;
    }

    kt64::test::TempRegistry registry_;
    int port_ = 0;
};

TEST_F(ActivationTest, RegisteredServerIsStartedAndOutlivesNoLease) {
    auto pidFile = registry_.dir() / "server.pid";
    ::setenv("KT64_FAKE_SERVER_PIDFILE", pidFile.c_str(), 1);
    registerServer("\"" KT64_FAKE_SERVER "\"");
    client::ConnectOptions options;
    options.activationTimeout = 20s;  // two shared cores, several builds at once

    auto srv = client::ConnectServer("", options);
    ::unsetenv("KT64_FAKE_SERVER_PIDFILE");
    EXPECT_EQ(srv->address().port, port_);
    ASSERT_TRUE(kt64::test::eventually([&] { return std::filesystem::exists(pidFile); }));
    std::uint32_t pid = 0;
    std::ifstream(pidFile) >> pid;
    // The fake answers its own pid: the call reached the started process.
    EXPECT_EQ(srv->GetComPort(), pid);
    EXPECT_NE(pid, static_cast<std::uint32_t>(::getpid()));

    // A second object reaches the running server without starting another.
    auto second = client::ConnectServer("", options);
    EXPECT_EQ(second->GetComPort(), pid);
    second.reset();

    srv.reset();
    EXPECT_TRUE(kt64::test::eventually([&] { return !std::filesystem::exists(pidFile); }, 15s))
        << "the server did not end after its last lease";
}

TEST_F(ActivationTest, NoAnsweringServerGivesErrorWithoutDescription) {
    struct Row {
        const char* what;
        std::optional<std::string> registered;
        HRESULT expected;
    };
    const Row rows[] = {
        {"nothing registered", std::nullopt, client::E_CLASS_NOT_REGISTERED},
        {"registered program missing", std::string("/nonexistent/VqSrvKt64"), client::E_SERVER_EXEC_FAILURE},
        {"registered program never answers", std::string("/bin/true"), client::E_SERVER_EXEC_FAILURE},
    };
    client::ConnectOptions options;
    options.activationTimeout = 1s;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.registered) registerServer(*row.registered);
        auto start = std::chrono::steady_clock::now();
        auto error = connectError(options);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code(), row.expected);
        EXPECT_FALSE(error->description());
        EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
    }
}

// Registered as -Service leaves it: the unit is started, never the
// executable (which would refuse to run outside the service manager).
class ServiceActivationTest : public ActivationTest {
protected:
    void SetUp() override {
        ActivationTest::SetUp();
        pidFile_ = registry_.dir() / "server.pid";
        ::setenv("KT64_FAKE_SERVER_PIDFILE", pidFile_.c_str(), 1);
        writeRegistration(true, std::string(ids::kAppName), "\"" KT64_FAKE_SERVER "\"");
    }
    void TearDown() override {
        ::unsetenv("KT64_FAKE_SERVER_PIDFILE");
        ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }
    std::filesystem::path pidFile_;
};

// The client's side of a service start: the unit is started (here by a
// stand-in), and the client waits until the server answers.
TEST_F(ServiceActivationTest, StartedServiceIsWaitedForUntilItAnswers) {
    std::vector<std::string> units;
    client::ConnectOptions options;
    options.activationTimeout = 20s;  // two shared cores, several builds at once
    // Stands in for the service manager: starts the server a little later,
    // as a unit's start job would, so the client has to wait for it.
    options.startService = [&](const std::string& unit, std::chrono::milliseconds) {
        units.push_back(unit);
        std::thread([] {
            std::this_thread::sleep_for(300ms);
            client::startDetached(KT64_FAKE_SERVER);
        }).detach();
    };

    auto srv = client::ConnectServer("", options);
    EXPECT_EQ(units, std::vector<std::string>{"VqSrvKt64.service"});
    ASSERT_TRUE(kt64::test::eventually([&] { return std::filesystem::exists(pidFile_); }));
    std::uint32_t pid = 0;
    std::ifstream(pidFile_) >> pid;
    EXPECT_EQ(srv->GetComPort(), pid);
    srv.reset();
    EXPECT_TRUE(kt64::test::eventually([&] { return !std::filesystem::exists(pidFile_); }, 15s));
}

// Through the real StartUnit call, against a stand-in manager on a bus of
// the test's own.
TEST_F(ServiceActivationTest, ServiceManagerIsAskedToStartTheUnit) {
    if (!FakeServiceManager::available()) GTEST_SKIP() << "dbus-daemon is not installed";
    FakeServiceManager manager(registry_.dir());
    manager.answer(FakeServiceManager::Answer::job([] { client::startDetached(KT64_FAKE_SERVER); }));
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", manager.address().c_str(), 1);
    client::ConnectOptions options;
    options.activationTimeout = 20s;

    auto srv = client::ConnectServer("", options);
    using Call = std::pair<std::string, std::string>;
    EXPECT_EQ(manager.calls(), std::vector<Call>{Call("VqSrvKt64.service", "replace")});
    ASSERT_TRUE(kt64::test::eventually([&] { return std::filesystem::exists(pidFile_); }));
    std::uint32_t pid = 0;
    std::ifstream(pidFile_) >> pid;
    EXPECT_EQ(srv->GetComPort(), pid);
    srv.reset();
    EXPECT_TRUE(kt64::test::eventually([&] { return !std::filesystem::exists(pidFile_); }, 15s));
}

TEST_F(ServiceActivationTest, FailedServiceStartGivesErrorWithoutDescription) {
    if (!FakeServiceManager::available()) GTEST_SKIP() << "dbus-daemon is not installed";
    const AdoptedOrphans adopted;
    using Answer = FakeServiceManager::Answer;
    struct Row {
        const char* what;
        enum { NoBus, BusOnly, Manager } bus;
        FakeServiceManager::Answer answer;
        HRESULT expected;
    };
    const Row rows[] = {
        {"no system bus", Row::NoBus, Answer::job(), client::E_SCM_RPC_FAILURE},
        {"bus without service manager", Row::BusOnly, Answer::job(), client::E_SCM_RPC_FAILURE},
        {"manager does not answer in time", Row::Manager, Answer::late(3s), client::E_SCM_RPC_FAILURE},
        {"unit not installed", Row::Manager, Answer::error("org.freedesktop.systemd1.NoSuchUnit"),
         client::E_SERVICE_DOES_NOT_EXIST},
        {"caller may not start units", Row::Manager, Answer::error("org.freedesktop.DBus.Error.AccessDenied"),
         client::E_ACCESSDENIED},
        {"start job queued, server never answers", Row::Manager, Answer::job(), client::E_SERVER_EXEC_FAILURE},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::optional<FakeServiceManager> manager;
        if (row.bus == Row::NoBus) {
            ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + (registry_.dir() / "no-bus").string()).c_str(), 1);
        } else {
            manager.emplace(registry_.dir(), row.bus == Row::Manager);
            manager->answer(row.answer);
            ::setenv("DBUS_SYSTEM_BUS_ADDRESS", manager->address().c_str(), 1);
        }
        client::ConnectOptions options;
        options.activationTimeout = 1s;
        auto start = std::chrono::steady_clock::now();
        auto error = connectError(options);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code(), row.expected) << error->what();
        EXPECT_FALSE(error->description());
        EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
        // A refused start names the group that may start the server.
        if (row.expected == client::E_ACCESSDENIED) {
            EXPECT_NE(client::connectionFix(*error).find(" kt64, then log in again"), std::string::npos)
                << client::connectionFix(*error);
        }
    }
    // The registered executable was never run instead of the service: a
    // program the client starts has been executed when its call returns.
    EXPECT_EQ(AdoptedOrphans::running(KT64_FAKE_SERVER), std::vector<pid_t>{});
}

}  // namespace
}  // namespace kt64::test
