// The smaller parts of the server: the device-read event's auto-reset
// semantics, the shutdown monitor's idle rule, the switches, the registration
// entries and the service unit.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <fstream>
#include <set>
#include <sstream>

#include "DeviceReadEvent.h"
#include "BuildType.h"
#include "AutomationObject.h"
#include "Registration.h"
#include "Registry.h"
#include "TestEnvironment.h"
#include "ServiceUnit.h"
#include "ShutdownMonitor.h"
#include "Switches.h"

namespace kt64::test {
namespace {

using namespace std::chrono_literals;
using server::DeviceReadEvent;

TEST(DeviceReadEvent, ASignalWithNobodyWaitingIsKeptForTheNextWaiterOnly) {
    DeviceReadEvent event;
    event.signal();
    event.signal();  // still one
    EXPECT_TRUE(event.wait(0ms));
    EXPECT_FALSE(event.wait(50ms));
}

TEST(DeviceReadEvent, OneSignalReleasesOneWaiterTheLongestWaitingFirst) {
    DeviceReadEvent event;
    std::atomic<int> order{0}, first{0}, second{0};
    event.waitAsync(5s, [&](bool ok) { first = ok ? ++order : -1; });
    event.waitAsync(5s, [&](bool ok) { second = ok ? ++order : -1; });
    ASSERT_TRUE(eventually([&] { return event.waiting() == 2; }));
    event.signal();
    ASSERT_TRUE(eventually([&] { return first != 0; }));
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0) << "still waiting";
    event.signal();
    ASSERT_TRUE(eventually([&] { return second != 0; }));
    EXPECT_EQ(second, 2);
    EXPECT_FALSE(event.wait(0ms)) << "both signals were consumed";
}

TEST(DeviceReadEvent, TimeOutAndCloseCompleteWaitsAsFailed) {
    DeviceReadEvent event;
    std::atomic<int> timedOut{0}, closed{0};
    const auto start = std::chrono::steady_clock::now();
    event.waitAsync(100ms, [&](bool ok) { timedOut = ok ? 1 : -1; });
    event.waitAsync(60s, [&](bool ok) { closed = ok ? 1 : -1; });
    ASSERT_TRUE(eventually([&] { return timedOut != 0; }));
    EXPECT_EQ(timedOut, -1);
    EXPECT_GE(secondsSince(start), 0.09);
    event.close();
    ASSERT_TRUE(eventually([&] { return closed != 0; }));
    EXPECT_EQ(closed, -1);
    event.signal();
    EXPECT_FALSE(event.wait(0ms)) << "closed for good";
}

// The monitor's clock, moved by hand. Its thread's waits are counted, so
// that a test knows when the thread has looked at the countdown again.
class ManualIdleClock final : public server::IdleClock {
public:
    Clock::time_point now() const override { return now_; }
    void wait(std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
              std::optional<Clock::time_point>) override {
        wake_ = &wake;
        mutex_ = lock.mutex();
        ++waits_;
        wake.wait(lock);
    }
    std::size_t waits() const { return waits_; }
    // Only while the monitor's thread waits.
    void advance(std::chrono::milliseconds by) {
        std::lock_guard lock(*mutex_);
        now_ = now_.load() + by;
        wake_->notify_all();
    }

private:
    std::atomic<Clock::time_point> now_{};
    std::atomic<std::size_t> waits_{0};
    std::condition_variable* wake_ = nullptr;
    std::mutex* mutex_ = nullptr;
};

// A monitor on a manual clock whose every step returns once its thread has
// looked at the countdown after it (and is waiting again, or has fired).
struct ManualMonitor {
    explicit ManualMonitor(std::chrono::milliseconds idle)
        : monitor(std::make_unique<server::ShutdownMonitor>(
              idle, [this] { ++fired; }, clock)) {}
    template <class Change>
    bool step(Change change) {
        const auto before = clock.waits();
        change();
        return eventually([&] { return clock.waits() > before || fired != 0; });
    }
    bool start() {
        return step([&] { monitor->start(); });
    }
    bool leaseStarted() {
        return step([&] { monitor->leaseStarted(); });
    }
    bool leaseEnded() {
        return step([&] { monitor->leaseEnded(); });
    }
    bool advance(std::chrono::milliseconds by) {
        return step([&] { clock.advance(by); });
    }

    ManualIdleClock clock;
    std::atomic<int> fired{0};
    std::unique_ptr<server::ShutdownMonitor> monitor;
};

TEST(ShutdownMonitor, FiresOnceIdleLongEnoughAndNotWhileALeaseLives) {
    ManualMonitor m(300ms);
    ASSERT_TRUE(m.start());
    ASSERT_TRUE(m.leaseStarted());
    ASSERT_TRUE(m.advance(600ms));
    EXPECT_EQ(m.fired, 0) << "a lease is alive";
    ASSERT_TRUE(m.leaseStarted());
    ASSERT_TRUE(m.leaseEnded());
    ASSERT_TRUE(m.advance(500ms));
    EXPECT_EQ(m.fired, 0) << "one lease is still alive";
    ASSERT_TRUE(m.leaseEnded());
    ASSERT_TRUE(m.advance(299ms));
    EXPECT_EQ(m.fired, 0) << "idle for less than the idle time";
    ASSERT_TRUE(m.advance(1ms));
    EXPECT_EQ(m.fired, 1);
    m.monitor.reset();  // its thread has ended
    EXPECT_EQ(m.fired, 1);
}

TEST(ShutdownMonitor, ALeaseDuringTheCountdownCancelsIt) {
    ManualMonitor m(400ms);
    ASSERT_TRUE(m.start());
    ASSERT_TRUE(m.advance(200ms));
    ASSERT_TRUE(m.leaseStarted());
    ASSERT_TRUE(m.advance(500ms));
    EXPECT_EQ(m.fired, 0);
}

// The countdown's timing on made-up instants: due idle after the latest of
// the start and the last lease's end, never while a lease (a client's or a
// running transfer's) lives, and a lease during the countdown starts it anew.
TEST(IdleCountdown, IsDueIdleAfterTheLastActivityAndNeverWhileALeaseLives) {
    using server::IdleCountdown;
    const IdleCountdown::Clock::time_point t0{};
    IdleCountdown c(5000ms, t0);
    EXPECT_EQ(c.deadline(), t0 + 5000ms) << "a server nobody comes to ends too";
    EXPECT_FALSE(c.due(t0 + 4999ms));
    EXPECT_TRUE(c.due(t0 + 5000ms));

    c.leaseStarted(t0 + 3s);
    EXPECT_EQ(c.deadline(), std::nullopt);
    EXPECT_FALSE(c.due(t0 + 1h));
    c.leaseStarted(t0 + 4s);  // a transfer begins under the client
    c.leaseEnded(t0 + 6s);    // the client goes
    EXPECT_FALSE(c.due(t0 + 1h)) << "the transfer still holds it";
    c.leaseEnded(t0 + 20s);  // the transfer ends
    EXPECT_EQ(c.leases(), 0u);
    EXPECT_FALSE(c.due(t0 + 24999ms));
    EXPECT_TRUE(c.due(t0 + 25s));

    c.leaseStarted(t0 + 22s);  // during the countdown
    c.leaseEnded(t0 + 23s);
    EXPECT_EQ(c.deadline(), t0 + 28s) << "counted from the new end";
    c.leaseEnded(t0 + 24s);  // an end too many changes nothing but the time
    EXPECT_EQ(c.leases(), 0u);
}

// A user's server always waits 5 s; only a whole number of milliseconds in
// range shortens or lengthens it, anything else is reported by the caller.
TEST(IdleCountdown, TheVariableSetsTheIdleTimeOnlyWithAWholeNumberInRange) {
    using std::chrono::milliseconds;
    const struct {
        const char* variable;
        std::optional<milliseconds> idle;
    } rows[] = {
        {nullptr, 5000ms}, {"1", 1ms},    {"3600000", 3600000ms}, {"0", {}},
        {"3600001", {}},   {"500ms", {}}, {" 500", {}},           {"99999999999999999999", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.variable ? row.variable : "(unset)");
        EXPECT_EQ(server::idleShutdownFrom(row.variable), row.idle);
    }
}

TEST(Switches, AreWholeWordsAfterDashOrSlashInAnyCase) {
    using server::Switch;
    const std::vector<std::pair<std::vector<std::string_view>, Switch>> rows{
        {{"-regserver"}, Switch::RegServer},
        {{"/RegServer"}, Switch::RegServer},
        {{"-UNREGSERVER"}, Switch::UnregServer},
        {{"/service"}, Switch::Service},
        {{"-Embedding"}, Switch::Run},
        {{"RegServer"}, Switch::Run},
        {{"/automation"}, Switch::Run},
        {{"-Embedding", "/service"}, Switch::Service},
        {{"-RegServerX"}, Switch::Unknown},
        {{"--RegServer"}, Switch::Unknown},
        {{}, Switch::Run},
        {{"-x", "/Service", "-RegServer"}, Switch::Unknown},
        {{"/Service", "-x"}, Switch::Service},
        {{"--help"}, Switch::Help},
        {{"/?"}, Switch::Help},
        {{"-H"}, Switch::Help},
    };
    for (const auto& [words, expected] : rows) {
        std::string joined;
        for (auto w : words) joined += std::string(w) + " ";
        std::string_view refused;
        EXPECT_EQ(server::parseSwitches(words, &refused), expected) << joined;
        if (expected == Switch::Unknown) {
            EXPECT_TRUE(refused.starts_with(words[0].substr(0, 2))) << joined;
        }
    }
}

// Every value under a key of HKEY_CLASSES_ROOT, as "path|name=data" lines.
void dumpKey(const std::string& path, std::set<std::string>& out) {
    auto key = reg::Key::open(reg::Hive::ClassesRoot, path);
    if (!key) return;
    out.insert(path + "|");
    for (const auto& name : key->valueNames()) out.insert(path + "|" + name + "=" + key->string(name).value_or("?"));
    for (const auto& sub : key->subkeyNames()) dumpKey(path.empty() ? sub : path + "\\" + sub, out);
}

std::set<std::string> classesRoot() {
    std::set<std::string> out;
    for (const auto& root : reg::Key::create(reg::Hive::ClassesRoot, "AppID").subkeyNames())
        dumpKey("AppID\\" + root, out);
    for (const auto& root : reg::Key::create(reg::Hive::ClassesRoot, "CLSID").subkeyNames())
        dumpKey("CLSID\\" + root, out);
    dumpKey("VqSrvKt64.Kt64Srv.1", out);
    dumpKey("VqSrvKt64.Kt64Srv", out);
    return out;
}

std::set<std::string> expectedEntries(bool service) {
    const std::string app = "AppID\\{9F200A91-BDDC-4309-AB37-98F1ECFDF63A}";
    const std::string cls = "CLSID\\{FFDCA866-8EB7-48D2-9DBF-48BB2575BC22}";
    std::set<std::string> e{
        app + "|",
        app + "|=VqSrvKt64",
        "AppID\\VqSrvKt64.EXE|",
        "AppID\\VqSrvKt64.EXE|AppID={9F200A91-BDDC-4309-AB37-98F1ECFDF63A}",
        "VqSrvKt64.Kt64Srv.1|",
        "VqSrvKt64.Kt64Srv.1|=Kt64Srv Class",
        "VqSrvKt64.Kt64Srv.1\\CLSID|",
        "VqSrvKt64.Kt64Srv.1\\CLSID|={FFDCA866-8EB7-48D2-9DBF-48BB2575BC22}",
        "VqSrvKt64.Kt64Srv|",
        "VqSrvKt64.Kt64Srv|=Kt64Srv Class",
        "VqSrvKt64.Kt64Srv\\CLSID|",
        "VqSrvKt64.Kt64Srv\\CLSID|={FFDCA866-8EB7-48D2-9DBF-48BB2575BC22}",
        "VqSrvKt64.Kt64Srv\\CurVer|",
        "VqSrvKt64.Kt64Srv\\CurVer|=VqSrvKt64.Kt64Srv.1",
        cls + "|",
        cls + "|=Kt64Srv Class",
        cls + "|AppID={9F200A91-BDDC-4309-AB37-98F1ECFDF63A}",
        cls + "\\ProgID|",
        cls + "\\ProgID|=VqSrvKt64.Kt64Srv.1",
        cls + "\\VersionIndependentProgID|",
        cls + "\\VersionIndependentProgID|=VqSrvKt64.Kt64Srv",
        cls + "\\Programmable|",
        cls + "\\LocalServer32|",
        cls + "\\LocalServer32|=/opt/kt64/bin/VqSrvKt64",
        cls + "\\TypeLib|",
        cls + "\\TypeLib|={828A2822-64AD-4A21-B10F-EA27D3E88AAE}",
    };
    if (service) e.insert(app + "|LocalService=VqSrvKt64");
    return e;
}

TEST(Registration, WritesExactlyTheClassAndAppIdEntriesAndRemovesThemAll) {
    TempRegistry registry;
    // Someone else's class and application must survive everything below.
    reg::Key::create(reg::Hive::ClassesRoot, "CLSID\\{00000000-0000-0000-0000-000000000001}").setString("", "Other");
    reg::Key::create(reg::Hive::ClassesRoot, "AppID\\{00000000-0000-0000-0000-000000000002}").setString("", "Other");
    const std::set<std::string> others{
        "CLSID\\{00000000-0000-0000-0000-000000000001}|", "CLSID\\{00000000-0000-0000-0000-000000000001}|=Other",
        "AppID\\{00000000-0000-0000-0000-000000000002}|", "AppID\\{00000000-0000-0000-0000-000000000002}|=Other"};

    for (bool service : {false, true}) {
        // An older registration's leftovers under the class key go.
        reg::Key::create(reg::Hive::ClassesRoot, "CLSID\\{FFDCA866-8EB7-48D2-9DBF-48BB2575BC22}\\InprocServer32");
        ASSERT_EQ(server::writeAppIdEntries(service), S_OK);
        ASSERT_EQ(server::writeClassEntries("/opt/kt64/bin/VqSrvKt64"), S_OK);
        auto expected = expectedEntries(service);
        expected.insert(others.begin(), others.end());
        EXPECT_EQ(classesRoot(), expected) << (service ? "service" : "local server");
        EXPECT_EQ(server::runDecision().mode, service ? server::RunMode::Service : server::RunMode::LocalServer);
    }
    ASSERT_EQ(server::removeClassEntries(), S_OK);
    ASSERT_EQ(server::removeAppIdEntries(), S_OK);
    EXPECT_EQ(classesRoot(), others);
    EXPECT_TRUE(reg::Key::open(reg::Hive::ClassesRoot, "AppID")) << "root keys stay";
    EXPECT_TRUE(reg::Key::open(reg::Hive::ClassesRoot, "CLSID"));
    EXPECT_EQ(server::runDecision().code, kt64::hresultFromWin32(2)) << "not registered";
}

TEST(ServiceUnit, IsInstalledForDemandStartAfterTheNetworkAndRemoved) {
    TempDir units;
    ScopedEnv dir("KT64_UNIT_DIR", (units.path() / "system").string());
    ScopedEnv registry("KT64_REGISTRY", "/var/tmp/kt64 test/registry.db");
    server::DetachedServiceManager manager;
    std::vector<std::string> said;
    auto say = [&](std::string_view t) { said.emplace_back(t); };

    ASSERT_TRUE(server::installService("/opt/kt64/bin/VqSrvKt64", manager, say));
    const auto unit = units.path() / "system" / "VqSrvKt64.service";
    const auto text = fileText(unit);
    for (const char* line :
         {"Wants=network-online.target\n", "After=network-online.target\n", "Type=notify\n", "TimeoutStopSec=60\n",
          "ExecStart=\"/opt/kt64/bin/VqSrvKt64\"\n", "Environment=\"KT64_REGISTRY=/var/tmp/kt64 test/registry.db\"\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
    // An administrator may enable it to run from boot; installing it alone
    // enables nothing.
    EXPECT_NE(text.find("[Install]\nWantedBy=multi-user.target\n"), std::string::npos) << text;
    EXPECT_FALSE(std::filesystem::exists(units.path() / "system" / "multi-user.target.wants"));
    EXPECT_TRUE(server::serviceInstalled());

    ASSERT_TRUE(server::uninstallService(manager, say));
    EXPECT_FALSE(std::filesystem::exists(unit));
    EXPECT_TRUE(server::uninstallService(manager, say)) << "nothing installed is fine";
    EXPECT_TRUE(said.empty());
}

TEST(ServiceUnit, AnUnusableUnitDirectoryIsReportedWithTheManagerText) {
    TempDir units;
    const auto notADir = units.path() / "file";
    std::ofstream(notADir) << "x";
    ScopedEnv dir("KT64_UNIT_DIR", notADir.string());
    server::DetachedServiceManager manager;
    std::vector<std::string> said;
    EXPECT_FALSE(server::installService("/x", manager, [&](std::string_view t) { said.emplace_back(t); }));
    EXPECT_EQ(said, std::vector<std::string>{"Could not open Service Manager"});
}

TEST(BuildText, MissingFieldsKeepTheCentresCodes) {
    struct Row {
        const char* text;
        bool valid;
        std::array<std::uint8_t, 3> codes;
    };
    const std::vector<Row> rows{
        {"KT-64/GPS/1/232", true, {0x11, 0x11, 0x11}}, {"KT-64/00/0/000", true, {0x00, 0x00, 0x00}},
        {"KT-64/LIN/2/485", true, {0x44, 0x22, 0x22}}, {"KT-64//RS//2/", true, {0x33, 0x22, 0x11}},
        {"KT-64/DCF", true, {0x22, 0x22, 0x11}},       {"KT-64", true, {0x44, 0x22, 0x11}},
        {"KT-64/gps", false, {0x44, 0x22, 0x11}},      {"KT-65/GPS", false, {0x44, 0x22, 0x11}},
    };
    for (const auto& row : rows) {
        std::array<std::uint8_t, 3> codes{};
        link::codesOfReport("KT-64/LIN/2/232 V1.2", codes);  // the centre's current codes
        EXPECT_EQ(link::codesOfTextToSet(row.text, codes), row.valid) << row.text;
        EXPECT_EQ(codes, row.codes) << row.text;
    }
}

}  // namespace
}  // namespace kt64::test
