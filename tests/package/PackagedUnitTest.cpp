// The link server's unit as the package ships it and as "VqSrvKt64
// -Service" writes it come from one template; these tests catch the two
// fillings drifting apart, and a filling that leaves a placeholder or loses
// the sandbox when the registry lives elsewhere.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "ServiceUnit.h"
#include "TestEnvironment.h"

namespace kt64::test {
namespace {

using server::unitText;

bool hasLine(const std::string& text, const std::string& line) {
    return text.find("\n" + line + "\n") != std::string::npos;
}

TEST(PackagedUnit, IsWhatTheServiceSwitchWritesForTheInstalledProgram) {
    const auto packaged = fileText(KT64_PACKAGED_UNIT);
    ASSERT_FALSE(packaged.empty()) << KT64_PACKAGED_UNIT;
    EXPECT_EQ(unitText("/usr/bin/VqSrvKt64", std::nullopt), packaged);
}

TEST(PackagedUnit, FillingLeavesNoPlaceholderAndFollowsTheRegistry) {
    struct Row {
        std::optional<std::string> registry;
        std::string writable;     // the ReadWritePaths line
        std::string environment;  // "" when none expected
    };
    const Row rows[] = {
        {std::nullopt, "ReadWritePaths=\"/var/lib/kt64\"", ""},
        {"/srv/kt 64/reg.db", "ReadWritePaths=\"/srv/kt 64\"", "Environment=\"KT64_REGISTRY=/srv/kt 64/reg.db\""},
    };
    for (const auto& row : rows) {
        const auto text = unitText("/opt/kt64/bin/VqSrvKt64", row.registry);
        EXPECT_EQ(text.find('%'), std::string::npos) << text;
        EXPECT_TRUE(hasLine(text, "ExecStart=\"/opt/kt64/bin/VqSrvKt64\"")) << text;
        EXPECT_TRUE(hasLine(text, row.writable)) << text;
        if (row.environment.empty())
            EXPECT_EQ(text.find("Environment="), std::string::npos) << text;
        else
            EXPECT_TRUE(hasLine(text, row.environment)) << text;
        // The sandbox stays whatever the paths.
        for (const char* line : {"User=_kt64srv", "SupplementaryGroups=dialout", "ProtectSystem=strict",
                                 "NoNewPrivileges=yes", "PrivateTmp=yes", "CapabilityBoundingSet="})
            EXPECT_TRUE(hasLine(text, line)) << line;
        // "systemctl enable VqSrvKt64" (a watched site) needs the section;
        // without it systemctl refuses the unit as having no installation
        // config.
        EXPECT_TRUE(hasLine(text, "[Install]") && hasLine(text, "WantedBy=multi-user.target")) << text;
    }
}

// "-Service" on a site with the package: the packaged unit already says it
// all, and a copy in the unit directory would hide the package's later
// versions of it. Any other text (another program path, a registry of its
// own) is written as before.
TEST(PackagedUnit, TheServiceSwitchWritesNoCopyOfAnIdenticalPackagedUnit) {
    TempDir dirs;
    const auto vendor = dirs.path() / "vendor";
    std::filesystem::create_directories(vendor);
    std::ofstream(vendor / "VqSrvKt64.service", std::ios::binary) << unitText("/usr/bin/VqSrvKt64", std::nullopt);
    ScopedEnv vendorDir("KT64_VENDOR_UNIT_DIR", vendor.string());
    ScopedEnv unitDir("KT64_UNIT_DIR", (dirs.path() / "etc").string());
    ScopedEnv registry("KT64_REGISTRY", "");
    server::DetachedServiceManager manager;
    std::vector<std::string> said;
    auto say = [&](std::string_view t) { said.emplace_back(t); };

    ASSERT_TRUE(server::installService("/usr/bin/VqSrvKt64", manager, say));
    EXPECT_FALSE(std::filesystem::exists(dirs.path() / "etc" / "VqSrvKt64.service")) << "copy of the packaged unit";

    ASSERT_TRUE(server::installService("/opt/kt64/bin/VqSrvKt64", manager, say));
    EXPECT_EQ(fileText((dirs.path() / "etc" / "VqSrvKt64.service").c_str()),
              unitText("/opt/kt64/bin/VqSrvKt64", std::nullopt));
    EXPECT_TRUE(said.empty());
}

}  // namespace
}  // namespace kt64::test
