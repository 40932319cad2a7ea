// The registry store: typed values, case rules, key deletion, persistence,
// failures of the store itself, and several processes writing at once.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "KeyPath.h"
#include "Registry.h"
#include "RegistryFixture.h"

namespace kt64::test {
namespace {

using namespace kt64::reg;

using Bytes = std::vector<std::uint8_t>;
using RegistryTest = RegistryFixture;

constexpr std::string_view kSrv = "Software\\Ardonis\\Kt64Srv";

TEST_F(RegistryTest, ValuesKeepTheirTypeAndWindowsByteForm) {
    Key key = Key::create(Hive::LocalMachine, kSrv);
    key.setDword("Port", 0x01020304);
    key.setString("CompName", "Pracownia Łódź");
    key.setString("Path", "%SystemRoot%\\x", ValueType::ExpandSz);
    const Bytes date{0, 0, 0, 0, 0, 0xE0, 0x3F, 0x40};
    key.setBinary("HourSync", date);
    key.setBinary("Empty", {});
    key.setString("", "default");

    const Key again = *Key::open(Hive::LocalMachine, kSrv);
    EXPECT_EQ(again.query("Port"), (Value{ValueType::Dword, {4, 3, 2, 1}}));
    EXPECT_EQ(again.dword("Port"), 0x01020304u);
    EXPECT_EQ(again.string("CompName"), "Pracownia Łódź");
    EXPECT_EQ(again.expandString("Path"), "%SystemRoot%\\x");
    EXPECT_EQ(again.binary("HourSync"), date);
    EXPECT_EQ(again.binary("Empty"), Bytes{});
    EXPECT_EQ(again.string(""), "default");
    EXPECT_FALSE(again.query("Missing").has_value());
    EXPECT_EQ(static_cast<int>(ValueType::Sz), 1);
    EXPECT_EQ(static_cast<int>(ValueType::Dword), 4);
}

// Readers treat "missing or of another type" as missing: every typed getter
// must refuse every other type.
TEST_F(RegistryTest, TypedGettersReportOtherTypesAsMissing) {
    Key key = Key::create(Hive::LocalMachine, kSrv);
    key.setDword("D", 7);
    key.setString("S", "7");
    key.setString("E", "7", ValueType::ExpandSz);
    key.setBinary("B", Bytes{7, 0, 0, 0});
    key.setValue("ShortDword", Value{ValueType::Binary, {7}});
    struct Row {
        const char* name;
        bool dword, sz, expand, binary;
    };
    const Row rows[] = {{"D", true, false, false, false},
                        {"S", false, true, false, false},
                        {"E", false, false, true, false},
                        {"B", false, false, false, true}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(key.dword(r.name).has_value(), r.dword);
        EXPECT_EQ(key.string(r.name).has_value(), r.sz);
        EXPECT_EQ(key.expandString(r.name).has_value(), r.expand);
        EXPECT_EQ(key.binary(r.name).has_value(), r.binary);
    }
    // Changing a value's type replaces it whole.
    key.setString("D", "now text");
    EXPECT_FALSE(key.dword("D").has_value());
    EXPECT_EQ(key.string("D"), "now text");
    // A DWORD must be four bytes; a string type must be a string type.
    EXPECT_THROW(key.setValue("X", Value{ValueType::Dword, {1, 2}}), RegistryError);
    EXPECT_THROW(key.setString("X", "x", ValueType::Binary), RegistryError);
    EXPECT_THROW(key.setValue("X", Value{static_cast<ValueType>(7), {}}), RegistryError);
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
    Key key = Key::create(Hive::LocalMachine, "Software\\Ardonis\\Kt64Prog\\Żółć");
    key.setDword("HourSync", 1);
    key.setDword("HOURSYNC", 2);
    key.setDword("ŁąkaĘ", 3);

    const auto other = Key::open(Hive::LocalMachine, "SOFTWARE\\ardonis\\KT64PROG\\żÓŁĆ");
    ASSERT_TRUE(other.has_value());
    EXPECT_EQ(other->path(), "Software\\Ardonis\\Kt64Prog\\Żółć");
    EXPECT_EQ(other->dword("hoursync"), 2u);
    EXPECT_EQ(other->dword("łĄKAę"), 3u);
    EXPECT_EQ(other->valueNames(), (std::vector<std::string>{"HourSync", "ŁąkaĘ"}));
    // The two hives are separate trees.
    EXPECT_FALSE(Key::open(Hive::ClassesRoot, "Software\\Ardonis").has_value());
    // create on an existing key in another case opens it, no duplicate.
    Key::create(Hive::LocalMachine, "software\\ARDONIS\\kt64srv");
    EXPECT_EQ(Key::open(Hive::LocalMachine, "Software\\Ardonis")->subkeyNames(),
              (std::vector<std::string>{"Kt64Prog", "kt64srv"}));
}

// How many values named name (any key, any case) the store file holds.
int valuesNamedIn(const std::filesystem::path& file, std::string_view name) {
    if (!std::filesystem::exists(file)) return 0;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return -1;
    }
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM vals WHERE fold = ?1", -1, &st, nullptr);
    const std::string fold = foldName(name);
    sqlite3_bind_text(st, 1, fold.data(), static_cast<int>(fold.size()), SQLITE_TRANSIENT);
    const int count = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : -1;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return count;
}

// What root runs and what the link server opens or listens on goes to
// root's store; the operators' settings and Port to the group's. One Key
// reads and lists both.
TEST_F(RegistryTest, EachValueLivesInTheStoreOfWhoMayWriteIt) {
    const struct {
        Hive hive;
        std::string_view path;
        std::string_view name;
        StoreKind store;
    } rows[] = {
        {Hive::LocalMachine, kSrv, "Port", StoreKind::Shared},
        {Hive::LocalMachine, "SOFTWARE\\ardonis\\kt64srv", "PORT", StoreKind::Shared},
        {Hive::LocalMachine, kSrv, "ListenAddress", StoreKind::System},
        {Hive::LocalMachine, kSrv, "RpcPort", StoreKind::System},
        {Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv\\Devices", "COM1", StoreKind::System},
        {Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv\\Devices", "Port", StoreKind::System},
        {Hive::LocalMachine, "Software\\Ardonis\\Kt64Prog", "SyncSock", StoreKind::Shared},
        {Hive::LocalMachine, "Software\\Ardonis\\Kt64SrvOld", "ListenAddress", StoreKind::Shared},
        {Hive::ClassesRoot, "CLSID\\{FFDCA866-8EB7-48D2-9DBF-48BB2575BC22}\\LocalServer32", "", StoreKind::System},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.path) + " " + std::string(row.name));
        EXPECT_EQ(storeOfValue(row.hive, row.path, row.name), row.store);
        TempRegistry own;
        Key::create(row.hive, row.path).setString(row.name, "x");
        EXPECT_EQ(valuesNamedIn(own.file(), row.name), row.store == StoreKind::Shared ? 1 : 0);
        EXPECT_EQ(valuesNamedIn(systemRegistryPath(), row.name), row.store == StoreKind::System ? 1 : 0);
    }
    Key::create(Hive::LocalMachine, kSrv).setDword("Port", 3);
    Key::create(Hive::LocalMachine, kSrv).setString("ListenAddress", "127.0.0.1");
    Key::create(Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv\\Devices").setString("COM1", "/dev/ttyS0");
    const Key srv = *Key::open(Hive::LocalMachine, kSrv);
    EXPECT_EQ(srv.valueNames(), (std::vector<std::string>{"ListenAddress", "Port"}));
    EXPECT_EQ(srv.subkeyNames(), std::vector<std::string>{"Devices"});
    EXPECT_EQ(srv.string("ListenAddress"), "127.0.0.1");
    EXPECT_EQ(srv.dword("Port"), 3u);
    EXPECT_EQ(systemRegistryPath(), (store_.parent_path() / "system" / "registry.db").string());
    struct stat st {};
    ASSERT_EQ(::stat(systemRegistryPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    ASSERT_EQ(::stat((store_.parent_path() / "system").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
}

// An older installation kept everything in the group's store: root's
// -RegServer moves the link server's settings to root's store (an
// administrator's value already there wins) and drops the old
// registration, which a member may have written, without copying it.
TEST_F(RegistryTest, AnOlderInstallationsSettingsMoveToRootsStore) {
    ::setenv("KT64_SYSTEM_REGISTRY", store_.c_str(), 1);  // one store, as before
    Key::create(Hive::LocalMachine, kSrv).setString("ListenAddress", "127.0.0.1");
    Key::create(Hive::LocalMachine, kSrv).setDword("RpcPort", 7000);
    Key::create(Hive::LocalMachine, kSrv).setDword("Port", 3);
    Key::create(Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv\\Devices").setString("COM1", "/dev/ttyUSB0");
    Key::create(Hive::ClassesRoot, "CLSID\\{FFDCA866-8EB7-48D2-9DBF-48BB2575BC22}\\LocalServer32")
        .setString("", "/home/member/own-program");
    ::unsetenv("KT64_SYSTEM_REGISTRY");
    Key::create(Hive::LocalMachine, kSrv).setDword("RpcPort", 6500);

    EXPECT_EQ(moveToSystemStore(), 2);
    const Key srv = *Key::open(Hive::LocalMachine, kSrv);
    EXPECT_EQ(srv.string("ListenAddress"), "127.0.0.1");
    EXPECT_EQ(srv.dword("RpcPort"), 6500u);
    EXPECT_EQ(srv.dword("Port"), 3u);
    EXPECT_EQ(Key::open(Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv\\Devices")->string("COM1"), "/dev/ttyUSB0");
    EXPECT_FALSE(Key::open(Hive::ClassesRoot, "CLSID"));
    EXPECT_FALSE(keyInStore(StoreKind::Shared, Hive::ClassesRoot, "CLSID"));
    for (const char* name : {"ListenAddress", "RpcPort", "COM1"}) EXPECT_EQ(valuesNamedIn(store_, name), 0) << name;
    EXPECT_EQ(valuesNamedIn(store_, "Port"), 1);
    EXPECT_EQ(moveToSystemStore(), 0);
}

TEST_F(RegistryTest, DeleteKeyRemovesTheWholeSubtreeOnly) {
    Key::create(Hive::LocalMachine, "A\\B\\C\\D").setDword("v", 1);
    Key::create(Hive::LocalMachine, "A\\B\\C2").setDword("v", 2);
    Key::create(Hive::LocalMachine, "A\\Sibling").setDword("v", 3);
    Key stale = *Key::open(Hive::LocalMachine, "A\\B\\C");

    EXPECT_TRUE(deleteKey(Hive::LocalMachine, "a\\b"));
    EXPECT_FALSE(deleteKey(Hive::LocalMachine, "A\\B"));
    for (const char* gone : {"A\\B", "A\\B\\C", "A\\B\\C\\D", "A\\B\\C2"})
        EXPECT_FALSE(Key::open(Hive::LocalMachine, gone).has_value()) << gone;
    EXPECT_EQ(Key::open(Hive::LocalMachine, "A\\Sibling")->dword("v"), 3u);
    EXPECT_EQ(Key::open(Hive::LocalMachine, "A")->subkeyNames(), std::vector<std::string>{"Sibling"});

    // A handle on a deleted key reads empty and refuses writes, even once a
    // key of the same name exists again.
    Key::create(Hive::LocalMachine, "A\\B\\C");
    EXPECT_TRUE(stale.valueNames().empty());
    try {
        stale.setDword("v", 9);
        ADD_FAILURE() << "write to a deleted key succeeded";
    } catch (const RegistryError& e) {
        EXPECT_EQ(e.code(), kErrorKeyDeleted) << e.what();
    }
    EXPECT_TRUE(Key::open(Hive::LocalMachine, "A\\B\\C")->valueNames().empty());

    EXPECT_THROW(deleteKey(Hive::LocalMachine, ""), RegistryError);
}

TEST_F(RegistryTest, DeleteValueAndMalformedPaths) {
    Key key = Key::create(Hive::ClassesRoot, "\\Kt64.Kt64Srv\\");
    EXPECT_EQ(key.path(), "Kt64.Kt64Srv");
    key.setString("", "Kt64Srv Class");
    EXPECT_TRUE(key.deleteValue(""));
    EXPECT_FALSE(key.deleteValue(""));
    for (const char* bad : {"a\\\\b", "\\\\", "a\\\\"}) {
        try {
            Key::create(Hive::LocalMachine, bad);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const RegistryError& e) {
            EXPECT_EQ(e.code(), kErrorInvalidData) << bad;
        }
    }
}

TEST_F(RegistryTest, FlushLeavesEveryValueInTheMainFile) {
    Key key = Key::create(Hive::LocalMachine, kSrv);
    key.setDword("Port", 3);
    key.flush();
    // A copy of the main file alone, without its write-ahead log, holds the value.
    const auto copy = dir_ / "copy.db";
    std::filesystem::copy_file(store_, copy);
    ::setenv("KT64_REGISTRY", copy.c_str(), 1);
    EXPECT_EQ(Key::open(Hive::LocalMachine, kSrv)->dword("Port"), 3u);
}

TEST_F(RegistryTest, AnUnusableStoreIsReportedWithItsText) {
    std::ofstream(dir_ / "junk.db") << std::string(8192, 'x');
    std::filesystem::create_directory(dir_ / "folder.db");
    ASSERT_EQ(::mkfifo((dir_ / "fifo.db").c_str(), 0600), 0);
    Key::create(Hive::LocalMachine, kSrv).setDword("Port", 3);
    std::filesystem::create_symlink(store_, dir_ / "link.db");
    const struct {
        std::filesystem::path store;
        std::string text;  // a part of what() ("" for any)
    } rows[] = {
        {dir_ / "junk.db", "not a database"},
        // Never handed to the engine: a FIFO would block its open.
        {dir_ / "folder.db", "registry " + (dir_ / "folder.db").string() + ": a directory, not a file"},
        {dir_ / "fifo.db", "registry " + (dir_ / "fifo.db").string() + ": a FIFO (named pipe), not a file"},
        // A plain file where the store's folder should be.
        {dir_ / "junk.db" / "registry.db", ""},
        // A link a member put in the group's folder: root would write
        // through it.
        {dir_ / "link.db", "registry " + (dir_ / "link.db").string() +
                               ": a symbolic link, which is not followed here (put the store itself in its place)"},
    };
    for (const auto& row : rows) {
        ::setenv("KT64_REGISTRY", row.store.c_str(), 1);
        for (const bool write : {false, true}) {
            SCOPED_TRACE(row.store.string() + (write ? " (write)" : " (read)"));
            try {
                if (write) {
                    Key::create(Hive::LocalMachine, kSrv);
                } else {
                    (void)Key::open(Hive::LocalMachine, kSrv);
                }
                ADD_FAILURE() << "accepted as a store";
            } catch (const RegistryError& e) {
                if (!row.text.empty()) {
                    EXPECT_EQ(e.code(), kErrorStore);
                }
                EXPECT_NE(std::string(e.what()).find(row.text), std::string::npos) << e.what();
            }
        }
    }
}

// Children each open their own connection on a fresh store, create the same
// key and write their own values; nothing may be lost or duplicated.
TEST_F(RegistryTest, ConcurrentWritersInSeveralProcessesLoseNothing) {
    constexpr int kProcesses = 6;
    constexpr int kValues = 40;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int status = 0;
            try {
                for (int i = 0; i < kValues; ++i) {
                    Key key = Key::create(Hive::LocalMachine, "Software\\Ardonis\\Shared\\Deep");
                    key.setDword("p" + std::to_string(p) + "v" + std::to_string(i),
                                 static_cast<std::uint32_t>(p * 1000 + i));
                    key.setDword("Last", static_cast<std::uint32_t>(p));
                }
            } catch (const std::exception& e) {
                std::fprintf(stderr, "child %d: %s\n", p, e.what());
                status = 1;
            }
            ::_exit(status);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const Key key = *Key::open(Hive::LocalMachine, "Software\\Ardonis\\Shared\\Deep");
    EXPECT_EQ(key.valueNames().size(), static_cast<std::size_t>(kProcesses * kValues + 1));
    for (int p = 0; p < kProcesses; ++p)
        for (int i = 0; i < kValues; ++i)
            EXPECT_EQ(key.dword("p" + std::to_string(p) + "v" + std::to_string(i)),
                      static_cast<std::uint32_t>(p * 1000 + i));
    EXPECT_EQ(Key::open(Hive::LocalMachine, "Software")->subkeyNames().size(), 1u);
}

// A writer killed at an arbitrary moment leaves either the old or the new
// value, never a mix, and a sound store.
TEST_F(RegistryTest, AWriterKilledMidWriteLeavesNoHalfValue) {
    constexpr std::size_t kSize = 256 * 1024;
    Key::create(Hive::LocalMachine, kSrv).setBinary("Blob", Bytes(kSize, 0));
    for (int round = 0; round < 3; ++round) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            try {
                Key key = *Key::open(Hive::LocalMachine, kSrv);
                for (std::uint8_t fill = 1;; ++fill) key.setBinary("Blob", Bytes(kSize, fill));
            } catch (const std::exception& e) {
                std::fprintf(stderr, "writer: %s\n", e.what());
            }
            ::_exit(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + 70 * round));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);

        const auto blob = Key::open(Hive::LocalMachine, kSrv)->binary("Blob");
        ASSERT_TRUE(blob.has_value());
        ASSERT_EQ(blob->size(), kSize);
        EXPECT_EQ(std::count(blob->begin(), blob->end(), (*blob)[0]), static_cast<std::ptrdiff_t>(kSize));
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(store_.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "ok");
    sqlite3_finalize(st);
    sqlite3_close(db);
}

}  // namespace
}  // namespace kt64::test
