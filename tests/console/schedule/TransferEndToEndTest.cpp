// Ctrl+T and Ctrl+R of the console against the real link server and the
// emulated centre, through the progress window: the program sent arrives
// in the centre byte for byte, and the program received back compiles to
// the same list (block 1 keeps the template's priority). A centre that
// falls silent during a send is named as such, and the operator learns
// that its program is now incomplete. The console quit while a program is
// being sent leaves the server to finish the upload.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <iostream>

#include "TransferDialog.h"
#include "CentreConnection.h"
#include "ImageCompiler.h"
#include "ProgramTexts.h"
#include "Loopback.h"
#include "ProgramRun.h"
#include "ScheduleTestSupport.h"
#include "ScheduleTransfers.h"

extern char** environ;

using namespace kt64::console;
using namespace kt64::test;
namespace program = kt64::program;
namespace fs = std::filesystem;

namespace {

// Runs a program to its end with nothing on its input; its output and
// errors, in that order, end up in the file output.
int run(const std::vector<std::string>& args, const fs::path& output) {
    const auto outcome = kt64::test::runProgram(args, output.parent_path());
    std::ofstream(output, std::ios::binary) << outcome.out << outcome.err;
    return outcome.code;
}

}  // namespace

// The link server that a client started on demand ends a few seconds after
// its last lease and writes the program's registry until then: the
// registry's folder may go only after it.
struct ServerEnded {
    std::uint16_t port;
    ~ServerEnded() {
        kt64::test::eventually([&] { return !kt64::test::listening(port); }, std::chrono::seconds(15));
    }
};

class TransferEndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void sendAndReceiveThroughTheDialogs();
    void aCentreSilentDuringTheSendLeavesItsProgramIncompleteAndSaysSo();
    // Last: the application's quit ends every event loop of this process.
    void quitWhileSending();

private:
    // Registers the link server in the registry now in use (the program's
    // private one) and starts the emulated centre.
    void startCentre(bool paced = false);
    // A relay program whose list is image.
    static void fillProgram(NewProgram& p, program::CommandImage& image);
    std::unique_ptr<kt64::test::TempDir> folder_;
    std::unique_ptr<kt64::test::ScopedEnv> units_;
    fs::path dir_;
    pid_t simulator_ = -1;
    std::uint16_t port_ = 0;
};

void TransferEndToEndTest::startCentre(bool paced) {
    folder_ = std::make_unique<kt64::test::TempDir>();
    dir_ = folder_->path();
    units_ = std::make_unique<kt64::test::ScopedEnv>("KT64_UNIT_DIR", (dir_ / "units").string());
    fs::create_directory(dir_ / "units");
    port_ = kt64::test::freeTcpPort();
    const std::uint16_t port = port_;
    const std::string reg = KT64REG_PATH, key = "HKLM\\Software\\Ardonis\\Kt64Srv";
    QCOMPARE(run({reg, "set", key, "Port", "dword", "1"}, dir_ / "out"), 0);
    QCOMPARE(run({reg, "set", key, "RpcPort", "dword", std::to_string(port)}, dir_ / "out"), 0);
    QCOMPARE(run({reg, "set", key, "ListenAddress", "sz", "127.0.0.1"}, dir_ / "out"), 0);
    QCOMPARE(run({reg, "set", key + "\\Devices", "COM1", "sz", (dir_ / "com1").string()}, dir_ / "out"), 0);
    QCOMPARE(run({KT64SRV_PATH, "-RegServer"}, dir_ / "out"), 0);

    std::vector<std::string> args = {KT64SIM_PATH, "--link", (dir_ / "com1").string(), "--control",
                                     (dir_ / "control").string()};
    if (paced) args.push_back("--pacing");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (dir_ / "sim.log").c_str(), O_WRONLY | O_CREAT, 0644);
    QCOMPARE(posix_spawn(&simulator_, KT64SIM_PATH, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    QVERIFY(kt64::test::eventually([&] { return fs::exists(dir_ / "com1"); }));
}

void TransferEndToEndTest::cleanup() {
    if (simulator_ > 0) {
        kill(simulator_, SIGTERM);
        waitpid(simulator_, nullptr, 0);
        simulator_ = -1;
    }
    units_.reset();
    folder_.reset();
}

void TransferEndToEndTest::fillProgram(NewProgram& p, program::CommandImage& image) {
    const auto school = p.block(3, "Szkoła");
    p.date(school, {2025, 9, 1}, {2026, 6, 26}, true);
    p.date(school, {2025, 12, 22}, {2026, 1, 6}, false);
    p.command(1, 1, program::kOn, 7, 0);
    p.command(school, 1, program::kImpulsePlus, 8, 0, program::kMondayToFriday, 5);
    p.command(school, 2, program::kCyclePlus, 7, 45, program::kMondayToFriday, 5, false, 2, true);
    image = program::blankImage();
    QVERIFY(program::buildImage(p.document.database(), image, p.messages).built);
}

void TransferEndToEndTest::sendAndReceiveThroughTheDialogs() {
    NewProgram p;
    startCentre();
    const ServerEnded ended{port_};
    program::CommandImage image;
    fillProgram(p, image);

    auto link = kt64::prog::connectCentre(std::nullopt, std::cerr);
    QVERIFY(link && link->Connected());
    QWidget window;
    WorkerCalls workers(2);
    ScheduleTransfers transfers(p.document, *link, workers, p.messages, &window);
    transfers.send();
    QCOMPARE(p.messages.texts(), std::vector<std::string>({std::string(kt64::program::text::kConfirmSend)}));
    QCOMPARE(run({KT64SIM_PATH, "--tell", (dir_ / "control").string(), "image", "save", (dir_ / "centre.bin").string()},
                 dir_ / "out"),
             0);
    QCOMPARE(kt64::test::fileText(dir_ / "centre.bin"), std::string(image.begin(), image.end()));

    p.document.setModified(false);
    p.messages.entries.clear();
    transfers.receive();
    QCOMPARE(p.messages.texts(), std::vector<std::string>({std::string(kt64::program::text::kConfirmReceive)}));
    QVERIFY(p.document.isModified());
    program::CommandImage received = program::blankImage();
    QVERIFY(program::buildImage(p.document.database(), received, p.messages).built);
    program::CommandImage expected = image;
    expected[2800] = 0;  // block 1 takes the template's priority
    QCOMPARE(std::string(received.begin(), received.end()), std::string(expected.begin(), expected.end()));
}

void TransferEndToEndTest::aCentreSilentDuringTheSendLeavesItsProgramIncompleteAndSaysSo() {
    NewProgram p;
    startCentre(true);
    const ServerEnded ended{port_};
    program::CommandImage image;
    fillProgram(p, image);
    auto link = kt64::prog::connectCentre(std::nullopt, std::cerr);
    QVERIFY(link && link->Connected());
    QWidget window;
    WorkerCalls workers(2);
    ScheduleTransfers transfers(p.document, *link, workers, p.messages, &window);
    // Once records have gone over, the centre stops answering; when the
    // window lets the operator close it, he does.
    bool silenced = false;
    QString shown;
    QTimer operatorHand;
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<TransferDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        if (!silenced && dialog->findChild<QProgressBar*>("progressBar")->value() > 0) {
            silenced = true;
            QCOMPARE(run({KT64SIM_PATH, "--tell", (dir_ / "control").string(), "fault", "silent"}, dir_ / "out"), 0);
        }
        if (auto* cancel = dialog->findChild<QPushButton*>("cancelButton"); cancel->isEnabled()) {
            shown = dialog->findChild<QLabel*>("statusLabel")->text();
            cancel->click();
        }
    });
    operatorHand.start(20);
    // Every answer a little late, so that the whole upload takes seconds: on
    // a loaded machine it could otherwise end before the centre is silenced.
    QCOMPARE(run({KT64SIM_PATH, "--tell", (dir_ / "control").string(), "fault", "late", "30"}, dir_ / "out"), 0);
    p.messages.answers = {true, false};  // send; do not send again
    transfers.send();
    operatorHand.stop();
    QVERIFY(silenced);
    QCOMPARE(shown, QString::fromUtf8(kt64::text::kNoAnswer.data(), kt64::text::kNoAnswer.size()));
    const auto texts = p.messages.texts();
    QCOMPARE(texts.size(), std::size_t(2));
    QCOMPARE(texts[1],
             "Wysyłanie rozkazów zostało przerwane. Program w centrali jest teraz niekompletny i trzeba go "
             "wysłać ponownie.\nPrzyczyna: " +
                 std::string(kt64::text::kNoAnswer) + "\n\n" + std::string(program::text::kSendAgain));
    QVERIFY(p.messages.entries[1].question);
}

void TransferEndToEndTest::quitWhileSending() {
    NewProgram p;
    startCentre(true);
    const ServerEnded ended{port_};
    program::CommandImage image;
    fillProgram(p, image);
    {
        auto link = kt64::prog::connectCentre(std::nullopt, std::cerr);
        QVERIFY(link && link->Connected());
        QWidget window;
        WorkerCalls workers(2);
        ScheduleTransfers transfers(p.document, *link, workers, p.messages, &window);
        // The operator quits once the progress window is up: the upload is
        // then under way at the line's pace.
        bool quit = false;
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            if (!quit && qobject_cast<TransferDialog*>(QApplication::activeModalWidget())) {
                quit = true;
                QCoreApplication::exit(0);
            }
        });
        watcher.start(20);
        transfers.send();
        QVERIFY(quit);
        QVERIFY(!transfers.busy());
        // The console's objects go as they do when it ends: the transfer,
        // its workers, the link (and with it the lease).
    }
    // The server finishes the upload on its own.
    auto again = kt64::prog::connectCentre(std::nullopt, std::cerr);
    QVERIFY(again && again->Connected());
    QVERIFY(kt64::test::eventually([&] { return again->RozkazPos() == 0; }, std::chrono::seconds(120)));
    QCOMPARE(run({KT64SIM_PATH, "--tell", (dir_ / "control").string(), "image", "save", (dir_ / "centre.bin").string()},
                 dir_ / "out"),
             0);
    QCOMPARE(kt64::test::fileText(dir_ / "centre.bin"), std::string(image.begin(), image.end()));
}

QTEST_MAIN(TransferEndToEndTest)
#include "TransferEndToEndTest.moc"
