// Who may read and write a root-owned registry: kt64reg run as an
// unprivileged user (setpriv) against a store laid out as the system
// registry is installed (folder set-group-id, group-writable files).
// Needs root to switch users; without root the rights cannot be shown.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ProgramRun.h"
#include "RegistryFixture.h"

namespace kt64::test {
namespace {

// An unprivileged user and a group standing for kt64 (numbers need no
// entry in /etc/passwd or /etc/group).
constexpr uid_t kUser = 65534;
constexpr gid_t kUserGroup = 65534;
constexpr gid_t kRegistryGroup = 4242;

using Outcome = ProgramOutcome;

class RegistryRights : public RegistryFixture {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "switching users needs root";
        if (::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv (util-linux) is not installed";
        std::filesystem::permissions(dir_, std::filesystem::perms(0755));
        folder_ = dir_ / "kt64";
        std::filesystem::create_directory(folder_);
        ASSERT_EQ(::chown(folder_.c_str(), 0, kRegistryGroup), 0);
        ASSERT_EQ(::chmod(folder_.c_str(), 02775), 0);
        store_ = folder_ / "registry.db";
        ::setenv("KT64_REGISTRY", store_.c_str(), 1);
    }

    // kt64reg as root (groups empty) or as the unprivileged user with the
    // supplementary groups given.
    Outcome run(std::vector<std::string> args, bool asUser, std::vector<gid_t> groups = {}) {
        std::vector<std::string> words;
        if (asUser) {
            std::string list;
            for (gid_t g : groups) list += (list.empty() ? "" : ",") + std::to_string(g);
            words = {"/usr/bin/setpriv", "--reuid=" + std::to_string(kUser), "--regid=" + std::to_string(kUserGroup),
                     groups.empty() ? "--clear-groups" : "--groups=" + list, "--"};
        }
        words.push_back(KT64REG_PATH);
        words.insert(words.end(), args.begin(), args.end());
        return runProgram(std::move(words), dir_);
    }

    std::filesystem::path folder_;
    const std::string key_ = "HKLM\\Software\\Ardonis\\Kt64Srv";
};

TEST_F(RegistryRights, OthersReadTheGroupWritesAndFailuresNameTheFile) {
    ASSERT_EQ(run({"set", key_, "Port", "dword", "3"}, false).code, 0);
    ASSERT_EQ(run({"set", key_, "ListenAddress", "sz", "127.0.0.1"}, false).code, 0);

    // The store took the folder's group and is group-writable whatever the
    // umask of the process that created it.
    struct stat st {};
    ASSERT_EQ(::stat(store_.c_str(), &st), 0);
    EXPECT_EQ(st.st_gid, kRegistryGroup);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
    // Root's store beside it: no one else writes it or its folder.
    const std::filesystem::path system = folder_ / "system" / "registry.db";
    ASSERT_EQ(::stat(system.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(st.st_uid, 0u);
    ASSERT_EQ(::stat(system.parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);

    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::vector<gid_t> groups;
        int code;
        std::string fragment;  // in stdout for success, in stderr for failure
    };
    const std::string file = "registry " + store_.string() + ": ";
    const std::string rootOnly = "registry " + (folder_ / "system" / "registry.db").string() +
                                 ": attempt to write a readonly database (the link server's registration and "
                                 "settings: only root writes them) (error 5)";
    const Case cases[] = {
        {"anyone lists", {"list", key_}, {}, 0, "Port    REG_DWORD    0x00000003 (3)"},
        {"anyone gets", {"get", key_, "Port"}, {}, 0, "3\n"},
        {"a missing key is no failure of the store", {"get", key_ + "\\Nothing", "X"}, {}, 1, "not found"},
        {"others may not write",
         {"set", key_, "Port", "dword", "4"},
         {},
         1,
         file + "attempt to write a readonly database (error 5)"},
        {"others may not delete", {"delete", key_, "Port"}, {}, 1, file},
        {"the group writes", {"set", key_, "Port", "dword", "5"}, {kRegistryGroup}, 0, ""},
        {"and sees its write", {"get", key_, "Port"}, {}, 0, "5\n"},
        // A member who could register a program of their own would have
        // root's next client run it.
        {"the group may not name a program to run",
         {"set", "HKCR\\CLSID\\{FFDCA866-8EB7-48D2-9DBF-48BB2575BC22}\\LocalServer32", "", "sz", "/tmp/own"},
         {kRegistryGroup},
         1,
         rootOnly},
        {"nor the link server's settings",
         {"set", key_, "ListenAddress", "sz", "0.0.0.0"},
         {kRegistryGroup},
         1,
         rootOnly},
        {"which root set and everyone reads", {"get", key_, "ListenAddress"}, {}, 0, "127.0.0.1\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome r = run(c.args, true, c.groups);
        EXPECT_EQ(r.code, c.code) << r.err;
        const std::string& where = c.code == 0 ? r.out : r.err;
        EXPECT_NE(where.find(c.fragment), std::string::npos) << where;
    }

    // A store the user may not read at all is an error naming the file,
    // never an empty registry.
    ASSERT_EQ(::chmod(store_.c_str(), 0600), 0);
    const Outcome r = run({"get", key_, "Port"}, true);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find(file), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("not found"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace kt64::test
