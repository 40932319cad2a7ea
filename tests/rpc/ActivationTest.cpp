// On-demand start: a client of this computer with nothing listening starts
// the registered server, which lives while the lease does; and the errors
// when nothing is registered or the registered program does not answer.
#include <gtest/gtest.h>

#include <fstream>

#include "Kt64Client.h"
#include "Kt64SrvIds.h"
#include "Registry.h"
#include "RpcTestSupport.h"

namespace kt64::testing {
namespace {

using namespace std::chrono_literals;

class ActivationTest : public ::testing::Test {
protected:
    void SetUp() override {
        port_ = freePort();
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

    ScopedRegistry registry_;
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
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(pidFile); }));
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
    EXPECT_TRUE(waitUntil([&] { return !std::filesystem::exists(pidFile); }, 15s))
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
        if (row.registered)
            registerServer(*row.registered);
        auto start = std::chrono::steady_clock::now();
        auto error = connectError(options);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code(), row.expected);
        EXPECT_FALSE(error->description());
        EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
    }
}

}  // namespace
}  // namespace kt64::testing
