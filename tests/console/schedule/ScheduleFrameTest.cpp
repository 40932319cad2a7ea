// The schedule views in the console's frame: they fill the splitter's two
// panes, their counts reach the status bar and the document, the frame's
// chart command opens the chart over the open program, "Drukuj plan…" the
// plan's week dialog with the file's name, a program file that
// cannot be written says so with the file and the reason and stays open for
// editing, Ctrl+R offers unsaved changes for saving through the frame's own
// question before the program is replaced, the title marks unsaved changes,
// a received program has no file name, and the log view leaves the
// program's changes alone.
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QtTest>
#include <fstream>

#include "ChartDialogs.h"
#include "PlanPrintDialog.h"
#include "Kt64Document.h"
#include "LogView.h"
#include "MainFrame.h"
#include "MessageBoxes.h"
#include "ProgramTables.h"
#include "ScheduleViews.h"
#include "TestEnvironment.h"

using namespace kt64::console;
namespace program = kt64::program;

namespace {

// The file dialogs, answered by the test.
class AnsweringDesktop : public FrameDesktop {
public:
    QString chooseFile(QWidget*, bool save, const QString& start) override {
        return choose ? choose(save, start) : QString();
    }

    std::function<QString(bool save, const QString& start)> choose;
};

}  // namespace

class ScheduleFrameTest : public QObject {
    Q_OBJECT

    std::unique_ptr<kt64::test::TempDir> folder;
    std::unique_ptr<kt64::test::ScopedEnv> tmp;
    std::unique_ptr<kt64::test::TempRegistry> registry;
    std::unique_ptr<kt64::test::ScopedEnv> logDir;
    ConsoleMessages messages;
    std::vector<MessageBoxRequest> asked;
    QMessageBox::StandardButton answer = QMessageBox::No;
    AnsweringDesktop desktop;
    std::unique_ptr<Kt64Document> doc;
    std::unique_ptr<MainFrame> frame;

    QString pane(const char* name) { return frame->findChild<QLabel*>(name)->text(); }

private slots:
    void init() {
        folder = std::make_unique<kt64::test::TempDir>();
        tmp = std::make_unique<kt64::test::ScopedEnv>("TMPDIR", folder->path().string());
        registry = std::make_unique<kt64::test::TempRegistry>();
        logDir = std::make_unique<kt64::test::ScopedEnv>("KT64_LOGDIR", folder->path().string());
        asked.clear();
        answer = QMessageBox::No;
        setMessageBoxHandler([this](QWidget*, const MessageBoxRequest& r) {
            asked.push_back(r);
            return answer;
        });
        doc = std::make_unique<Kt64Document>(messages, KT64_TEST_TEMPLATE);
        QVERIFY(doc->program().newDocument());
        desktop.choose = {};
        frame = std::make_unique<MainFrame>(*doc, MainFrame::Options{false, &desktop});
        frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
        frame->switchView(ViewKind::ProgramTree);
    }
    void cleanup() {
        answer = QMessageBox::Yes;
        frame.reset();
        doc.reset();
        setMessageBoxHandler({});
        logDir.reset();
        registry.reset();
        tmp.reset();
        folder.reset();
    }

    void viewsFillTheSplitterAndReportCounts() {
        auto* tree = qobject_cast<ProgramTreeView*>(frame->view(ViewKind::ProgramTree));
        auto* list = qobject_cast<CommandListView*>(frame->view(ViewKind::CommandList));
        QVERIFY(tree && list);
        // Filled when the frame was first shown, before any update.
        QCOMPARE(tree->treeModel().rowCount(), 3);
        QCOMPARE(pane("paneBlocks"), QString("0/100"));
        QCOMPARE(list->listModel().columnCount(), 3);
        auto* splitter = frame->findChild<QSplitter*>("splitter0");
        QCOMPARE(splitter->widget(0), tree);
        QCOMPARE(splitter->widget(1), list);
        QCOMPARE(frame->viewStack()->currentWidget(), splitter);

        auto& db = *doc->program().database();
        const auto block = program::insertBlock(db, {0, 2, "szkoła"});
        program::CommandRow c;
        c.block = 1;
        c.time = program::TimeOfDay{7, 0, 0};
        program::insertCommand(db, c);
        c.block = block;
        program::insertCommand(db, c);
        doc->program().notifyChanged(0);
        QCOMPARE(pane("paneBlocks"), QString("2/100"));
        QCOMPARE(pane("paneCommands"), QString("2/400"));
        QCOMPARE(frame->findChild<QProgressBar*>()->value(), 2);
        QCOMPARE(doc->blockCount, 2);
        QCOMPARE(doc->recordCount, 2);
        QCOMPARE(tree->treeModel().rowCount(), 3);
        QCOMPARE(list->listModel().rowCount(), 2);
    }

    void chartCommandOpensTheChart() {
        bool opened = false;
        QTimer::singleShot(0, [&] {
            auto* chart = frame->findChild<ChartDialog*>();
            QVERIFY(chart);
            QVERIFY(chart->isModal());
            opened = true;
            chart->accept();
        });
        frame->actions().chart->trigger();
        QVERIFY(opened);
    }

    void printPlanCommandOpensTheWeekDialog() {
        doc->setPathName(folder->path() / "szkola.dsk");
        QVERIFY(frame->menuBar()->actions().front()->menu()->actions().contains(frame->actions().printPlan));
        bool modal = false;
        QString footer;
        QTimer::singleShot(0, [&] {
            auto* dialog = frame->findChild<PlanPrintDialog*>();
            QVERIFY(dialog);
            modal = dialog->isModal();
            footer = dialog->programName;
            dialog->reject();
        });
        frame->actions().printPlan->trigger();
        QVERIFY(modal);
        // The file's own name goes in the footer, not the working copy's.
        QCOMPARE(footer, QString("szkola.dsk"));
    }

    void unwritableFileSaysWhyAndStaysEditable() {
        const auto file = folder->path() / "tylko.dsk";
        { std::ofstream(file) << "stary"; }
        std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
        doc->pathName = file;
        doc->program().setModified(true);
        frame->actions().save->trigger();
        QCOMPARE(asked.size(), std::size_t(1));
        QVERIFY2(asked[0].text.startsWith("Nie mogę zapisać pliku " + QString::fromStdString(file.string()) + ": "),
                 qPrintable(asked[0].text));
        QVERIFY(doc->program().isOpen());
        QVERIFY(doc->program().isModified());
        std::ifstream in(file);
        std::string content;
        in >> content;
        QCOMPARE(content, std::string("stary"));
        // Still editable: a new block shows in the tree.
        program::insertBlock(*doc->program().database(), {0, 1, "nowy"});
        doc->program().notifyChanged(0);
        auto* tree = qobject_cast<ProgramTreeView*>(frame->view(ViewKind::ProgramTree));
        QCOMPARE(tree->treeModel().rowCount(tree->treeModel().index(2, 0)), 2);
    }

    void receiveOffersUnsavedChangesFirst() {
        // Not connected: the receive stops at its own message, nothing else
        // is asked.
        doc->program().setModified(true);
        frame->setRelayOutputs(1);
        frame->actions().receiveProgram->trigger();
        QCOMPARE(asked.size(), std::size_t(1));
        QCOMPARE(asked[0].text,
                 QString("Centrala nie jest podłączona, aby można było wysłać rozkazy centrala musi być podłączona"));
        // The frame's own question is what a receive asks (Cancel keeps
        // the program).
        asked.clear();
        answer = QMessageBox::Cancel;
        QVERIFY(!frame->saveModified());
        QCOMPARE(asked.size(), std::size_t(1));
        QCOMPARE(asked[0].text, QString("Zapisać zmiany w Bez tytułu?"));
    }

    void titleMarksUnsavedChangesAndAReceivedProgramIsUntitled() {
        const auto file = folder->path() / "test.dsk";
        QVERIFY(doc->program().saveDocument(file));
        doc->setPathName(file);
        QCOMPARE(frame->windowTitle(), QString("test.dsk[*] - KT64mon"));
        QVERIFY(!frame->isWindowModified());
        doc->program().setModified(true);
        QVERIFY(frame->isWindowModified());

        // A receive replaced the program: it has no file yet, so Ctrl+S
        // asks for a name instead of overwriting test.dsk.
        auto* views = frame->findChild<ScheduleViews*>();
        QVERIFY(views);
        emit views->transfers()->programReceived();
        QVERIFY(doc->pathName.empty());
        QCOMPARE(frame->windowTitle(), QString("Bez tytułu[*] - KT64mon"));
        QVERIFY(frame->isWindowModified());
    }

    void fileDialogsStartAtTheProgramAndAFailedOpenSaysSoOnce() {
        kt64::test::TempDir home;
        kt64::test::ScopedEnv homeEnv("HOME", home.path().string());
        kt64::test::ScopedEnv config("XDG_CONFIG_HOME", (home.path() / ".config").string());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(home.path().string()));
        std::filesystem::create_directories(home.path() / "Documents");
        std::filesystem::create_directories(home.path() / "szkola");
        QString chosen;
        std::vector<std::pair<bool, QString>> opened;
        desktop.choose = [&](bool save, const QString& start) {
            opened.emplace_back(save, start);
            return chosen;
        };
        const auto qs = [](const std::filesystem::path& p) { return QString::fromStdString(p.string()); };

        // Nothing opened yet: the documents folder, not the current one.
        frame->actions().open->trigger();
        QCOMPARE(opened.back(), std::make_pair(false, qs(home.path() / "Documents")));

        // A file that is no program: one message naming it, with the reason.
        const auto notes = home.path() / "szkola" / "notatki.dsk";
        { std::ofstream(notes) << "dzwonki: 8:00, 8:45"; }
        chosen = qs(notes);
        asked.clear();
        frame->actions().open->trigger();
        QCOMPARE(asked.size(), std::size_t(1));
        QVERIFY2(asked[0].text.startsWith("Nie mogę otworzyć pliku " + qs(notes) + ":\n"), qPrintable(asked[0].text));
        QVERIFY(doc->pathName.empty());

        // Saved as a program in its folder: after New, Open starts there.
        chosen = qs(home.path() / "szkola" / "dzwonki.dsk");
        frame->actions().saveAs->trigger();
        QCOMPARE(opened.back(), std::make_pair(true, qs(home.path() / "Documents")));
        QCOMPARE(doc->pathName, home.path() / "szkola" / "dzwonki.dsk");
        frame->actions().newProgram->trigger();
        chosen.clear();
        frame->actions().open->trigger();
        QCOMPARE(opened.back(), std::make_pair(false, qs(home.path() / "szkola")));
    }

    void showingTheLogKeepsUnsavedChanges() {
        {
            std::ofstream(folder->path() / "VqSync.log")
                << "2007-02-16 02:00:05 pierwsza\r\n2007-02-16 02:00:06 druga\r\n";
        }
        doc->program().setModified(true);
        frame->switchView(ViewKind::Log);
        auto* log = qobject_cast<LogView*>(frame->view(ViewKind::Log));
        log->poll();
        QVERIFY(log->toPlainText().contains("druga"));
        QVERIFY(doc->program().isModified());
        QVERIFY(frame->isWindowModified());
        // The status bar names the file shown.
        QCOMPARE(pane("paneMessage"),
                 "Plik dziennika: " + QString::fromStdString((folder->path() / "VqSync.log").string()));
        frame->switchView(ViewKind::ProgramTree);
        QCOMPARE(pane("paneMessage"), QString("Gotowy"));
    }
};

QTEST_MAIN(ScheduleFrameTest)
#include "ScheduleFrameTest.moc"
