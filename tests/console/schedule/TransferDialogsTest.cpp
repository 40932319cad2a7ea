// The transfer commands of the console against a scripted link server: the
// progress window's bar, its stall rule, the buttons it ignores while busy
// and the error that lets "Anuluj" close it; every server call made off
// the GUI thread, which keeps processing its events meanwhile; the
// question about unsaved changes before a receive; the relay outputs read
// without waiting.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "TransferDialog.h"
#include "ImageCompiler.h"
#include "ProgramTexts.h"
#include "ScheduleTestSupport.h"
#include "ScheduleTransfers.h"
#include "ui_TransferDialog.h"

using namespace kt64::console;
using namespace kt64::test;
namespace program = kt64::program;

namespace {

// Answers from a script and records on which thread each call ran. A call
// can be held until the test releases it.
class ScriptedLink : public program::CentreLink {
public:
    bool connected = true;
    std::string buildType = "KT-64/GPS/2/232";
    std::deque<std::uint32_t> positions;
    std::optional<program::LinkError> positionFailure;
    std::vector<std::uint8_t> put;
    program::ReceivedList list;
    std::vector<Qt::HANDLE> threads;
    std::vector<std::string> calls;

    // While held, every call waits for release().
    void hold() {
        std::lock_guard lock(mutex_);
        held_ = true;
    }
    void release() {
        {
            std::lock_guard lock(mutex_);
            held_ = false;
        }
        cv_.notify_all();
    }
    std::atomic<int> waiting{0};

    bool Connected() const override { return connected; }
    std::string BuildType() override {
        enter("BuildType");
        return buildType;
    }
    void PutRozkazy(std::span<const std::uint8_t> image) override {
        enter("PutRozkazy");
        put.assign(image.begin(), image.end());
    }
    std::uint32_t RozkazPos() override { return position("RozkazPos"); }
    void StartGetRozkazy() override { enter("StartGetRozkazy"); }
    std::uint32_t RozkazRxPos() override { return position("RozkazRxPos"); }
    program::ReceivedList GetRozkazy() override {
        enter("GetRozkazy");
        return list;
    }

private:
    void enter(const char* name) {
        {
            std::lock_guard lock(mutex_);
            calls.push_back(name);
            threads.push_back(QThread::currentThreadId());
        }
        std::unique_lock lock(mutex_);
        ++waiting;
        // A test that never releases fails instead of hanging.
        cv_.wait_for(lock, std::chrono::seconds(20), [&] { return !held_; });
        --waiting;
    }
    std::uint32_t position(const char* name) {
        enter(name);
        if (positionFailure) throw *positionFailure;
        if (positions.empty()) return 0;
        const auto p = positions.front();
        if (positions.size() > 1) positions.pop_front();
        return p;
    }
    std::mutex mutex_;
    std::condition_variable cv_;
    bool held_ = false;
};

}  // namespace

class TransferDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void progressWindowFollowsThePosition();
    void progressWindowShowsAFailureAndLetsCancel();
    void aTransferStandingStillEndsByItself();
    void aSilentCentreEndsTheSendByItselfAndASentOneSaysSo();
    void sendRunsEveryCallOffTheGuiThread();
    void receiveAsksBeforeUnsavedChangesAreLost();
    void receiveReplacesTheProgram();
    void relayOutputsAreReadWithoutWaiting();
};

void TransferDialogsTest::progressWindowFollowsThePosition() {
    ScriptedLink link;
    link.positions = {2905, 1905, 5, 0, 0};  // bytes still to send
    int previous = 0;
    program::TransferProgress progress(link, program::TransferDirection::Send, previous);
    TransferDialog dialog(progress);
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QString("Wysyłanie/Odbieranie rozkazów"));
    QCOMPARE(dialog.ui().statusLabel->text(), QString("Proszę czekać trwa transmisja..."));
    QCOMPARE(dialog.ui().progressBar->maximum(), 2905);
    QVERIFY(!dialog.ui().cancelButton->isEnabled());
    dialog.tick();
    QCOMPARE(dialog.ui().progressBar->value(), 0);
    dialog.tick();
    QCOMPARE(dialog.ui().progressBar->value(), 1000);
    // Busy: Esc, Enter and closing do nothing.
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QTest::keyClick(&dialog, Qt::Key_Return);
    dialog.close();
    QVERIFY(dialog.isVisible());
    dialog.tick();
    QCOMPARE(dialog.ui().progressBar->value(), 2900);
    dialog.tick();
    QVERIFY(dialog.isVisible());
    // Standing still at 2905 for one tick ends it with OK.
    dialog.tick();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void TransferDialogsTest::progressWindowShowsAFailureAndLetsCancel() {
    ScriptedLink link;
    link.positionFailure = program::LinkError(0x80040205, std::string("Brak odpowiedzi z centrali."));
    int previous = 0;
    program::TransferProgress progress(link, program::TransferDirection::Receive, previous);
    TransferDialog dialog(progress);
    dialog.show();
    dialog.tick();
    QCOMPARE(dialog.ui().statusLabel->text(), QString("Brak odpowiedzi z centrali."));
    QVERIFY(dialog.ui().cancelButton->isEnabled());
    QVERIFY(dialog.isVisible());
    link.positionFailure = program::LinkError(0x80010108, std::nullopt);
    dialog.tick();
    QCOMPARE(dialog.ui().statusLabel->text(), QString("Wystapił błąd!"));
    dialog.ui().cancelButton->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

// The silence limit, on a clock moved by hand: each step sets what the
// next read gives (a position, or the centre's silence), moves the clock to
// its second and ticks; the window must be open, or closed as by "Anuluj",
// after it.
void TransferDialogsTest::aTransferStandingStillEndsByItself() {
    struct Step {
        int second;
        std::optional<std::uint32_t> bytesLeft;  // empty: the read fails
        bool open;
    };
    struct Row {
        const char* name;
        std::vector<Step> steps;
        QString shown;
    };
    const QString silent("Brak odpowiedzi.");
    const QString stalled("Transmisja stoi w miejscu od 30 s.");
    const std::vector<Row> rows = {
        {"the centre falls silent", {{1, 2905, true}, {2, {}, true}, {29, {}, true}, {30, {}, false}}, silent},
        {"silent from the start", {{1, {}, true}, {29, {}, true}, {30, {}, false}}, silent},
        {"never starts", {{1, 2905, true}, {29, 2905, true}, {30, 2905, false}}, stalled},
        // Records going over start the count again.
        {"moves, then falls silent",
         {{1, 2905, true}, {20, 2800, true}, {21, {}, true}, {49, {}, true}, {50, {}, false}},
         silent},
    };
    for (const auto& row : rows) {
        ScriptedLink link;
        auto now = std::chrono::steady_clock::time_point{};
        int previous = 0;
        program::TransferProgress progress(link, program::TransferDirection::Send, previous, [&] { return now; });
        TransferDialog dialog(progress);
        dialog.show();
        for (const auto& step : row.steps) {
            if (step.bytesLeft) {
                link.positionFailure.reset();
                link.positions = {*step.bytesLeft};
            } else {
                link.positionFailure = program::LinkError(0x80040204, std::string("Brak odpowiedzi."));
            }
            now = std::chrono::steady_clock::time_point{} + std::chrono::seconds(step.second);
            dialog.tick();
            QVERIFY2(dialog.isVisible() == step.open, row.name);
        }
        QVERIFY2(dialog.result() == QDialog::Rejected, row.name);
        QCOMPARE(dialog.ui().statusLabel->text(), row.shown);
    }
}

// A centre silent for good: the send ends by itself with the question an
// "Anuluj" would have brought, and nothing says it was sent. A send that
// ends well says so.
void TransferDialogsTest::aSilentCentreEndsTheSendByItselfAndASentOneSaysSo() {
    NewProgram p;
    p.command(1, 2, program::kOn, 7, 0);
    ScriptedLink link;
    link.positionFailure = program::LinkError(0x80040204, std::string("Brak odpowiedzi."));
    QWidget window;
    WorkerCalls workers(2);
    ScheduleTransfers transfers(p.document, link, workers, p.messages, &window);
    QSignalSpy sent(&transfers, &ScheduleTransfers::programSent);
    // Every reading of the clock is 20 s after the one before.
    auto now = std::chrono::steady_clock::time_point{};
    transfers.clock = [&] { return now += std::chrono::seconds(20); };
    p.messages.answers = {true, false};  // send; do not send again
    transfers.send();
    QCOMPARE(p.messages.texts(),
             std::vector<std::string>(
                 {std::string(program::text::kConfirmSend),
                  "Wysyłanie rozkazów zostało przerwane. Program w centrali jest teraz niekompletny i trzeba go "
                  "wysłać ponownie.\nPrzyczyna: Brak odpowiedzi.\n\n" +
                      std::string(program::text::kSendAgain)}));
    QCOMPARE(sent.count(), 0);

    link.positionFailure.reset();
    link.positions = {0, 0};
    p.messages.entries.clear();
    transfers.send();
    QCOMPARE(sent.count(), 1);
}

void TransferDialogsTest::sendRunsEveryCallOffTheGuiThread() {
    NewProgram p;
    p.command(1, 2, program::kOn, 7, 0);
    ScriptedLink link;
    link.positions = {1000, 0, 0};
    QWidget window;
    WorkerCalls workers(2);
    ScheduleTransfers transfers(p.document, link, workers, p.messages, &window);
    link.hold();
    // While the first server call is held on the worker, the GUI thread
    // goes on: this timer fires, checks, and lets the call go.
    bool guiRanDuringCall = false;
    QTimer::singleShot(0, [&] {
        QTRY_COMPARE_WITH_TIMEOUT(link.waiting.load(), 1, 10000);
        QVERIFY(transfers.busy());
        guiRanDuringCall = true;
        link.release();
    });
    transfers.send();
    QVERIFY(guiRanDuringCall);
    QVERIFY(!transfers.busy());
    const Qt::HANDLE gui = QThread::currentThreadId();
    QVERIFY(!link.threads.empty());
    for (const auto thread : link.threads) QVERIFY(thread != gui);
    QCOMPARE(link.calls.front(), std::string("BuildType"));
    QCOMPARE(link.calls[1], std::string("PutRozkazy"));
    QCOMPARE(link.calls.back(), std::string("RozkazPos"));

    program::CommandImage image = program::blankImage();
    QVERIFY(program::buildImage(p.document.database(), image, p.messages).built);
    QCOMPARE(link.put, std::vector<std::uint8_t>(image.begin(), image.end()));
    QCOMPARE(p.messages.texts(), std::vector<std::string>({std::string(program::text::kConfirmSend)}));
}

void TransferDialogsTest::receiveAsksBeforeUnsavedChangesAreLost() {
    NewProgram p;
    p.command(1, 1, program::kOn, 7, 0);
    p.document.setModified(true);
    ScriptedLink link;
    QWidget window;
    WorkerCalls workers(2);
    ScheduleTransfers transfers(p.document, link, workers, p.messages, &window);
    p.messages.answers = {false};
    transfers.receive();
    QCOMPARE(p.messages.texts(), std::vector<std::string>({std::string(kDiscardChanges)}));
    QVERIFY(link.calls.empty());
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Rozkazy"), 1);

    // The frame's own save question takes the place of the discard one.
    p.messages.entries.clear();
    int asked = 0;
    transfers.saveModified = [&] {
        ++asked;
        return false;
    };
    transfers.receive();
    QCOMPARE(asked, 1);
    QVERIFY(p.messages.entries.empty());
    QVERIFY(link.calls.empty());
}

void TransferDialogsTest::receiveReplacesTheProgram() {
    NewProgram source;
    const auto b = source.block(4);
    source.date(b, {2025, 9, 1}, {2026, 6, 26}, true);
    source.command(b, 2, program::kCyclePlus, 7, 45, program::kMondayToFriday, 5, false, 2, true);
    program::CommandImage image = program::blankImage();
    QVERIFY(program::buildImage(source.document.database(), image, source.messages).built);

    NewProgram p;
    ScriptedLink link;
    link.positions = {2905, 2905};
    link.list = {program::kByteArrayType, std::vector<std::uint8_t>(image.begin(), image.end())};
    QWidget window;
    WorkerCalls workers(2);
    ScheduleTransfers transfers(p.document, link, workers, p.messages, &window);
    QSignalSpy received(&transfers, &ScheduleTransfers::programReceived);
    transfers.receive();
    QCOMPARE(received.count(), 1);
    QVERIFY(p.document.isModified());
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Rozkazy WHERE Blok=2 AND NrPrzek=2 AND Operacja=4"), 1);
    QCOMPARE(p.count("SELECT COUNT(*) AS n FROM Daty WHERE NrBloku=2"), 1);
    QCOMPARE(link.calls, std::vector<std::string>({"StartGetRozkazy", "RozkazRxPos", "RozkazRxPos", "GetRozkazy"}));
}

void TransferDialogsTest::relayOutputsAreReadWithoutWaiting() {
    NewProgram p;
    ScriptedLink link;
    link.buildType = "KT-64/DCF/1/485";
    QWidget window;
    WorkerCalls workers(2);
    ScheduleTransfers transfers(p.document, link, workers, p.messages, &window);
    QSignalSpy read(&transfers, &ScheduleTransfers::relayOutputsRead);
    link.hold();
    transfers.readRelayOutputs();
    // The read waits on the server; the GUI thread does not.
    QTRY_COMPARE_WITH_TIMEOUT(link.waiting.load(), 1, 10000);
    QCOMPARE(read.count(), 0);
    link.release();
    QTRY_COMPARE_WITH_TIMEOUT(read.count(), 1, 10000);
    QCOMPARE(read.at(0).at(0).toInt(), 1);
    link.buildType = "";
    transfers.readRelayOutputs();
    QTRY_COMPARE_WITH_TIMEOUT(read.count(), 2, 10000);
    QCOMPARE(read.at(1).at(0).toInt(), 0);
}

QTEST_MAIN(TransferDialogsTest)
#include "TransferDialogsTest.moc"
