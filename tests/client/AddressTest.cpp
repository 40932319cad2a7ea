// Which server a client calls: the computer text, the registered RpcPort,
// and the executable a LocalServer32 value names.
#include <gtest/gtest.h>

#include "Activation.h"
#include "Kt64SrvIds.h"
#include "Registry.h"
#include "TestEnvironment.h"
#include "ServerAddress.h"

namespace kt64::test {
namespace {

using client::AddressError;
using client::parseServerAddress;

TEST(ServerAddressTest, ComputerTextGivesHostPortAndLocality) {
    struct Row {
        const char* text;
        const char* host;
        int port;
        bool local;
        const char* target;
    };
    const Row rows[] = {
        {"", "localhost", 6464, true, "127.0.0.1:6464"},
        {"  ", "localhost", 6464, true, "127.0.0.1:6464"},
        {".", ".", 6464, true, "127.0.0.1:6464"},
        {"localhost", "localhost", 6464, true, "127.0.0.1:6464"},
        {"LOCALHOST:7000", "LOCALHOST", 7000, true, "127.0.0.1:7000"},
        {"127.0.0.1:81", "127.0.0.1", 81, true, "127.0.0.1:81"},
        {"ZEGAR", "ZEGAR", 6464, true, "127.0.0.1:6464"},  // this computer, other case
        {"zegar.szkola.pl", "zegar.szkola.pl", 6464, true, "127.0.0.1:6464"},
        {"zegar.inna.pl:9", "zegar.inna.pl", 9, false, "zegar.inna.pl:9"},  // same first label, other domain
        {"serwer", "serwer", 6464, false, "serwer:6464"},
        {"serwer:65535", "serwer", 65535, false, "serwer:65535"},
        {"192.168.1.20:6465", "192.168.1.20", 6465, false, "192.168.1.20:6465"},
        {"[fe80::1]:99", "fe80::1", 99, false, "[fe80::1]:99"},
        {"[fe80::1]", "fe80::1", 6464, false, "[fe80::1]:6464"},
        {"fe80::1", "fe80::1", 6464, false, "[fe80::1]:6464"},
        {"[::1]:5000", "::1", 5000, true, "127.0.0.1:5000"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        auto address = parseServerAddress(row.text, 6464, "zegar.szkola.pl");
        EXPECT_EQ(address.host, row.host);
        EXPECT_EQ(address.port, row.port);
        EXPECT_EQ(address.local, row.local);
        EXPECT_EQ(address.target(), row.target);
    }
    // A short local name also matches the first label of a full name.
    EXPECT_TRUE(parseServerAddress("zegar.szkola.pl", 1, "zegar").local);
}

TEST(ServerAddressTest, TextNamingNoServerIsRefused) {
    for (const char* text : {"serwer:", "serwer:0", "serwer:65536", "serwer:80x", "serwer:-1", ":80", "[fe80::1",
                             "[fe80::1]80", "[]:80", "[fe80::1]:"}) {
        SCOPED_TRACE(text);
        EXPECT_THROW(parseServerAddress(text, 6464, "zegar"), AddressError);
    }
}

TEST(ServerAddressTest, RpcPortComesFromTheServersKey) {
    kt64::test::TempRegistry registry;
    EXPECT_EQ(client::registeredRpcPort(), 6464);  // no key at all
    auto key = reg::Key::create(reg::Hive::LocalMachine, ids::kConfigKey);
    EXPECT_EQ(client::registeredRpcPort(), 6464);  // key without the value
    struct Row {
        std::uint32_t stored;
        int expected;
    };
    for (const Row& row : {Row{7000, 7000}, Row{1, 1}, Row{65535, 65535}, Row{0, 6464}, Row{65536, 6464}}) {
        SCOPED_TRACE(row.stored);
        key.setDword("RpcPort", row.stored);
        EXPECT_EQ(client::registeredRpcPort(), row.expected);
    }
    key.setString("RpcPort", "7000");  // not a REG_DWORD: not set
    EXPECT_EQ(client::registeredRpcPort(), 6464);
}

TEST(ActivationPathTest, LocalServerValueNamesTheExecutable) {
    struct Row {
        const char* value;
        const char* path;
    };
    const Row rows[] = {
        {"/opt/kt64/bin/VqSrvKt64", "/opt/kt64/bin/VqSrvKt64"},
        {"/opt/kt64/bin/VqSrvKt64  ", "/opt/kt64/bin/VqSrvKt64"},
        {"\"/opt/kt 64/bin/VqSrvKt64\"", "/opt/kt 64/bin/VqSrvKt64"},
        {"\"/opt/kt 64/bin/VqSrvKt64\" -Embedding", "/opt/kt 64/bin/VqSrvKt64"},
        {"\"/unterminated", "/unterminated"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(client::localServerPath(row.value), row.path);
    }
}

}  // namespace
}  // namespace kt64::test
