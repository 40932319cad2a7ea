// kt64prog against the real link server and the emulated centre: a program
// sent arrives byte for byte, is received back into a new program file that
// compiles to the same list, and a refused record fails the send, saying
// that the centre's program is incomplete, with the server's text.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "DateRangePlan.h"
#include "HolidayCalendar.h"
#include "ImageCompiler.h"
#include "Loopback.h"
#include "ProgramRun.h"
#include "ProgramFixture.h"

extern char** environ;

namespace kt64::test {
namespace {

using namespace kt64::program;

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Runs a program to its end with nothing on its input; its output and
// errors, in that order, end up in the file output.
int run(const std::vector<std::string>& args, const fs::path& output) {
    const auto outcome = runProgram(args, output.parent_path());
    std::ofstream(output, std::ios::binary) << outcome.out << outcome.err;
    return outcome.code;
}

class TransferEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(dir / "units");
        const std::string reg = KT64REG_PATH, srvKey = "HKLM\\Software\\Ardonis\\Kt64Srv";
        ASSERT_EQ(run({reg, "set", srvKey, "Port", "dword", "1"}, dir / "out"), 0);
        ASSERT_EQ(run({reg, "set", srvKey, "RpcPort", "dword", std::to_string(port)}, dir / "out"), 0);
        ASSERT_EQ(run({reg, "set", srvKey, "ListenAddress", "sz", "127.0.0.1"}, dir / "out"), 0);
        ASSERT_EQ(run({reg, "set", srvKey + "\\Devices", "COM1", "sz", (dir / "com1").string()}, dir / "out"), 0);
        ASSERT_EQ(run({KT64SRV_PATH, "-RegServer"}, dir / "out"), 0) << fileText(dir / "out");

        std::vector<std::string> args = {KT64SIM_PATH, "--link", (dir / "com1").string(), "--control",
                                         (dir / "control").string()};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, (dir / "sim.log").c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_EQ(posix_spawn(&simulator, KT64SIM_PATH, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ASSERT_TRUE(eventually([&] { return fs::exists(dir / "com1"); }, 5000ms));
    }

    void TearDown() override {
        if (simulator > 0) {
            kill(simulator, SIGTERM);
            waitpid(simulator, nullptr, 0);
        }
        // The link server started on demand ends a few seconds after its
        // last client.
        eventually([&] { return !listening(port); }, 15000ms);
    }

    int prog(std::vector<std::string> args) {
        args.insert(args.begin(), KT64PROG_PATH);
        return run(args, dir / "prog.out");
    }

    ScratchFolder folder;
    fs::path dir = folder.path;
    ScopedEnv registry{"KT64_REGISTRY", (dir / "registry.db").string()};
    ScopedEnv units{"KT64_UNIT_DIR", (dir / "units").string()};
    std::uint16_t port = freeTcpPort();
    pid_t simulator = -1;
};

TEST_F(TransferEndToEnd, SendReceiveAndARefusedRecord) {
    const fs::path file = dir / "szkola.dsk";
    CommandImage image = blankImage();
    {
        OpenProgram p;
        const auto block = p.addBlock(3);
        insertDate(p.db(), dateRow(block, {2024, 9, 2}, {2025, 6, 27}, true));
        insertCommand(p.db(), commandRow(1, 1, kOn, 7, 0));
        insertCommand(p.db(), commandRow(block, 2, kCyclePlus, 7, 45, kMondayToFriday, 5, false, 2, true));
        // A holiday block: every-year ranges come back without their year.
        applyDateRangePlan(p.db(),
                           planDateRanges(p.db(), 0, "Dni wolne", polishHolidays(2026, 2027), isMovableHoliday));
        ASSERT_TRUE(buildImage(p.document.database(), image, p.messages).built);
        ASSERT_TRUE(p.document.saveDocument(file));
    }

    ASSERT_EQ(prog({"send", file.string(), "--yes"}), 0) << fileText(dir / "prog.out");
    ASSERT_EQ(run({KT64SIM_PATH, "--tell", (dir / "control").string(), "image", "save", (dir / "centre.bin").string()},
                  dir / "out"),
              0);
    EXPECT_EQ(fileText(dir / "centre.bin"), std::string(image.begin(), image.end()));

    ASSERT_EQ(prog({"receive", (dir / "received.dsk").string(), "--yes"}), 0) << fileText(dir / "prog.out");
    ASSERT_EQ(prog({"compile", (dir / "received.dsk").string(), (dir / "received.bin").string()}), 0);
    CommandImage expected = image;
    expected[2800] = 0;  // block 1 takes the template's priority
    EXPECT_EQ(fileText(dir / "received.bin"), std::string(expected.begin(), expected.end()));

    ASSERT_EQ(run({KT64SIM_PATH, "--tell", (dir / "control").string(), "fault", "ack-refuse", "30"}, dir / "out"), 0);
    EXPECT_EQ(prog({"send", file.string(), "--yes"}), 1);
    EXPECT_NE(fileText(dir / "prog.out")
                  .find("Program w centrali jest teraz niekompletny i trzeba go wysłać ponownie.\n"
                        "Przyczyna: Bledna suma kontrolna."),
              std::string::npos)
        << fileText(dir / "prog.out");
}

}  // namespace
}  // namespace kt64::test
