// kt64reg: its value parsers, and the program itself run end to end against
// a temporary store.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "Registry.h"
#include "ProgramRun.h"
#include "RegistryFixture.h"
#include "ValueText.h"

namespace kt64::test {
namespace {

using namespace kt64::regtool;

TEST(Kt64RegText, ParsesDwordsAndHexBytes) {
    struct Good {
        const char* text;
        std::uint32_t value;
    };
    for (const Good& g : {Good{"0", 0}, Good{"3", 3}, Good{"4294967295", 0xFFFFFFFF}, Good{"0x1F", 0x1F},
                          Good{"0XffffFFFF", 0xFFFFFFFF}, Good{"0x00000000007", 7}})
        EXPECT_EQ(parseDword(g.text), g.value) << g.text;
    for (const char* bad : {"", "-1", "+1", "4294967296", "0x100000000", "0x", "12a", " 3", "3 ", "0x-1", "1.0"})
        EXPECT_THROW(parseDword(bad), ValueTextError) << bad;

    using Bytes = std::vector<std::uint8_t>;
    EXPECT_EQ(parseHexBytes("01 0a FF"), (Bytes{1, 10, 255}));
    EXPECT_EQ(parseHexBytes("01,0a:ff-10"), (Bytes{1, 10, 255, 16}));
    EXPECT_EQ(parseHexBytes("010aff"), (Bytes{1, 10, 255}));
    EXPECT_EQ(parseHexBytes(""), Bytes{});
    for (const char* bad : {"1", "01 2", "0g", "010"}) EXPECT_THROW(parseHexBytes(bad), ValueTextError) << bad;

    EXPECT_EQ(parseTypeName("DWORD"), reg::ValueType::Dword);
    EXPECT_EQ(parseTypeName("reg_expand_sz"), reg::ValueType::ExpandSz);
    EXPECT_FALSE(parseTypeName("qword").has_value());
}

using Outcome = ProgramOutcome;

class Kt64RegTool : public RegistryFixture {
protected:
    Outcome run(std::vector<std::string> args) {
        args.insert(args.begin(), KT64REG_PATH);
        return runProgram(std::move(args), dir_);
    }
};

TEST_F(Kt64RegTool, SetsGetsListsAndDeletes) {
    const std::string srv = "HKLM\\Software\\Ardonis\\Kt64Srv";
    struct Step {
        std::vector<std::string> args;
        int code;
        std::string out;  // exact stdout, or "*" + fragment expected in stderr
    };
    const Step steps[] = {
        {{"set", srv, "Port", "dword", "3"}, 0, ""},
        {{"set", "HKEY_LOCAL_MACHINE\\software\\ardonis\\kt64srv\\Devices", "COM3", "sz", "/tmp/kt64sim"}, 0, ""},
        {{"set", srv, "Blob", "binary", "01 0a ff"}, 0, ""},
        {{"set", srv, "", "sz", "Zegar główny"}, 0, ""},
        {{"get", srv, "PORT"}, 0, "3\n"},
        {{"get", srv, "blob"}, 0, "01 0a ff\n"},
        {{"get", srv, ""}, 0, "Zegar główny\n"},
        {{"list", "hklm\\SOFTWARE\\Ardonis\\Kt64Srv"},
         0,
         "HKEY_LOCAL_MACHINE\\Software\\Ardonis\\Kt64Srv\n"
         "    (default)    REG_SZ    Zegar główny\n"
         "    Blob    REG_BINARY    01 0a ff\n"
         "    Port    REG_DWORD    0x00000003 (3)\n"
         "    Devices\\\n"},
        {{"get", srv, "Nothing"}, 1, "*value Nothing not found"},
        {{"get", "HKCR\\Software\\Ardonis\\Kt64Srv", "Port"}, 1, "*not found"},
        {{"set", srv, "Port", "dword", "-1"}, 2, "*not a DWORD"},
        {{"set", srv, "Port", "qword", "1"}, 2, "*unknown type 'qword'"},
        {{"set", "HKCU\\Software", "X", "sz", "x"}, 2, "*does not start with a hive"},
        {{"set", srv, "Port"}, 2, "*wrong number of arguments"},
        {{"frobnicate"}, 2, "*unknown command"},
        {{}, 2, "*no command"},
        {{"delete", srv, "Blob"}, 0, ""},
        {{"delete", srv, "Blob"}, 1, "*value Blob not found"},
        {{"delete", "HKLM"}, 2, "*cannot be deleted"},
        {{"delete", "HKLM\\Software"}, 0, ""},
        {{"list", srv}, 1, "*key HKEY_LOCAL_MACHINE\\Software\\Ardonis\\Kt64Srv not found"},
    };
    for (const Step& s : steps) {
        std::string shown;
        for (const auto& a : s.args) shown += "'" + a + "' ";
        SCOPED_TRACE(shown);
        const Outcome r = run(s.args);
        EXPECT_EQ(r.code, s.code) << r.err;
        if (!s.out.empty() && s.out[0] == '*')
            EXPECT_NE(r.err.find(s.out.substr(1)), std::string::npos) << r.err;
        else
            EXPECT_EQ(r.out, s.out);
    }
}

TEST_F(Kt64RegTool, HelpAndStoreFailures) {
    const Outcome help = run({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("kt64reg set KEY NAME TYPE VALUE"), std::string::npos);

    std::ofstream(dir_ / "junk.db") << std::string(4096, 'j');
    ::setenv("KT64_REGISTRY", (dir_ / "junk.db").c_str(), 1);
    const Outcome r = run({"get", "HKLM\\Software", "X"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("not a database (error 1009)"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace kt64::test
