// The frame as the operator meets it: which views show, which commands are
// enabled and checked, the counts panes, tray and exit behaviour, the About
// box's access code and the single-instance lock.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QtTest>

#include <fstream>
#include <functional>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "AboutDialog.h"
#include "ConsoleApp.h"
#include "InstanceLock.h"
#include "Kt64Document.h"
#include "MainFrame.h"
#include "MessageBoxes.h"
#include "Registry.h"
#include "TestEnvironment.h"
#include "UnsavedProgram.h"

using namespace kt64::console;

namespace {

// A view that records its activations.
struct RecordingAnswers {
    std::vector<MessageBoxRequest> asked;
    QMessageBox::StandardButton answer = QMessageBox::No;
};

// The desktop's speaker and pop-up menus, counted instead of used.
class RecordingDesktop : public FrameDesktop {
public:
    void beep() override { ++beeps; }
    void popUp(QMenu* menu) override { popups.push_back(menu); }

    int beeps = 0;
    std::vector<QMenu*> popups;
};

}  // namespace

class MainFrameTest : public QObject {
    Q_OBJECT

    // The frame's real views read and write the registry and the log
    // folder: private ones, never the installation's.
    kt64::test::TempRegistry registry_;
    kt64::test::ScopedEnv logDir_{"KT64_LOGDIR", (registry_.dir() / "log").string()};
    ConsoleMessages messages;
    RecordingAnswers answers;

    RecordingDesktop desktop;
    std::unique_ptr<Kt64Document> doc;
    std::unique_ptr<MainFrame> frame;

    void make(bool tray) {
        frame.reset();
        doc = std::make_unique<Kt64Document>(messages);
        // Nothing listens there: the start-up connect fails at once.
        doc->computerName = "127.0.0.1:1";
        QVERIFY(doc->program().newDocument());
        desktop.beeps = 0;
        desktop.popups.clear();
        frame = std::make_unique<MainFrame>(*doc, MainFrame::Options{tray, &desktop});
        frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
    }

    bool enabled(QAction* a) { return a->isEnabled(); }
    bool checked(QAction* a) { return a->isChecked(); }

private slots:
    void init() {
        answers = {};
        setMessageBoxHandler([this](QWidget*, const MessageBoxRequest& r) {
            answers.asked.push_back(r);
            return answers.answer;
        });
        make(true);
    }
    void cleanup() {
        answers.answer = QMessageBox::Yes;
        frame.reset();
        doc.reset();
        setMessageBoxHandler({});
    }

    void startsOnTheDevicePanelWithFileCommandsDisabled() {
        QCOMPARE(frame->activeView(), ViewKind::Device);
        QCOMPARE(frame->viewStack()->currentWidget(), frame->view(ViewKind::Device));
        QVERIFY(checked(frame->actions().deviceView));
        for (QAction* id :
             {frame->actions().newProgram, frame->actions().open, frame->actions().save, frame->actions().saveAs,
              frame->actions().sendProgram, frame->actions().receiveProgram, frame->actions().chart})
            QVERIFY2(!enabled(id), qPrintable(id->objectName()));
        QCOMPARE(frame->findChild<QLabel*>("paneMessage")->text(), QString("Gotowy"));
        QCOMPARE(frame->windowTitle(), QString("Bez tytułu[*] - KT64mon"));
        // Fixed size, minimise but no maximise; the device panel fits whole.
        QVERIFY(!(frame->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(frame->windowFlags() & Qt::WindowMinimizeButtonHint);
        QCOMPARE(frame->minimumSize(), frame->maximumSize());
        QVERIFY(frame->viewStack()->width() >= frame->view(ViewKind::Device)->width());
        QVERIFY(frame->viewStack()->height() >= frame->view(ViewKind::Device)->height());
    }

    void switchingViewsShowsOnePageAndMovesTheCheckMark_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("view");
        QTest::newRow("schedule") << "scheduleViews" << int(ViewKind::ProgramTree);
        QTest::newRow("syncSettings") << "syncSettingsView" << int(ViewKind::SyncSettings);
        QTest::newRow("log") << "logView" << int(ViewKind::Log);
        QTest::newRow("device") << "deviceView" << int(ViewKind::Device);
    }
    void switchingViewsShowsOnePageAndMovesTheCheckMark() {
        QFETCH(QString, command);
        QFETCH(int, view);
        frame->switchView(ViewKind::Log);
        QAction* commandAction = frame->findChild<QAction*>(command);
        commandAction->trigger();
        QCOMPARE(int(frame->activeView()), view);
        for (QAction* id : {frame->actions().deviceView, frame->actions().scheduleViews,
                            frame->actions().syncSettingsView, frame->actions().logView})
            QCOMPARE(checked(id), id == commandAction);
        for (ViewKind k :
             {ViewKind::Device, ViewKind::SyncSettings, ViewKind::Log, ViewKind::ProgramTree, ViewKind::CommandList}) {
            const bool shown =
                k == ViewKind(view) || (ViewKind(view) == ViewKind::ProgramTree && k == ViewKind::CommandList);
            QCOMPARE(frame->view(k)->isVisible(), shown);
        }
    }

    void scheduleToLogHidesBothPanesAndBackShowsBoth() {
        frame->switchView(ViewKind::ProgramTree);
        QVERIFY(frame->scheduleSplitter()->isVisible());
        frame->switchView(ViewKind::Log);
        QVERIFY(!frame->scheduleSplitter()->isVisible());
        QVERIFY(!frame->view(ViewKind::ProgramTree)->isVisible());
        QVERIFY(!frame->view(ViewKind::CommandList)->isVisible());
        frame->switchView(ViewKind::CommandList);
        QVERIFY(frame->view(ViewKind::ProgramTree)->isVisible());
        QVERIFY(frame->view(ViewKind::CommandList)->isVisible());
        QCOMPARE(frame->activeView(), ViewKind::CommandList);
        QVERIFY(checked(frame->actions().scheduleViews));
    }

    void f6MovesBetweenTheSchedulePanes() {
        frame->switchView(ViewKind::ProgramTree);
        QTest::keyClick(frame.get(), Qt::Key_F6);
        QCOMPARE(frame->activeView(), ViewKind::CommandList);
        QTest::keyClick(frame.get(), Qt::Key_F6, Qt::ShiftModifier);
        QCOMPARE(frame->activeView(), ViewKind::ProgramTree);
        frame->switchView(ViewKind::Device);
        QTest::keyClick(frame.get(), Qt::Key_F6);
        QCOMPARE(frame->activeView(), ViewKind::Device);
    }

    void sendAndReceiveNeedAScheduleViewAndRelayOutputs() {
        struct Case {
            ViewKind view;
            int outputs;
            bool transfer;
            bool file;
        };
        const Case cases[] = {{ViewKind::ProgramTree, 0, false, true},
                              {ViewKind::CommandList, 2, true, true},
                              {ViewKind::Device, 2, false, false},
                              {ViewKind::SyncSettings, 1, false, false},
                              {ViewKind::ProgramTree, 1, true, true}};
        for (const auto& c : cases) {
            frame->switchView(c.view);
            frame->setRelayOutputs(c.outputs);
            QCOMPARE(enabled(frame->actions().sendProgram), c.transfer);
            QCOMPARE(enabled(frame->actions().receiveProgram), c.transfer);
            for (QAction* id : {frame->actions().newProgram, frame->actions().open, frame->actions().save,
                                frame->actions().saveAs, frame->actions().chart})
                QCOMPARE(enabled(id), c.file);
        }
    }

    void countsMessageFillsThePanesAndTheProgressBar() {
        frame->showCounts(12, 250);
        QCOMPARE(frame->findChild<QLabel*>("paneBlocks")->text(), QString("12/100"));
        QCOMPARE(frame->findChild<QLabel*>("paneCommands")->text(), QString("250/400"));
        auto* bar = frame->findChild<QProgressBar*>("paneProgress");
        QCOMPARE(bar->maximum(), 400);
        QCOMPARE(bar->value(), 250);
    }

    void answeringNoToTheExitQuestionKeepsEverything() {
        answers.answer = QMessageBox::No;
        QVERIFY(!frame->close());
        QCOMPARE(answers.asked.size(), std::size_t(1));
        QCOMPARE(answers.asked[0].text, kExitQuestion);
        QCOMPARE(answers.asked[0].icon, QMessageBox::Question);
        QVERIFY(frame->isVisible());
        QCOMPARE(frame->trayIconId(), kIconNormal);
        answers.answer = QMessageBox::Yes;
        QVERIFY(frame->close());
        QCOMPARE(frame->trayIconId(), 0);
    }

    void exitAcceleratorAsksTheSameQuestion() {
        answers.answer = QMessageBox::No;
        QTest::keyClick(frame.get(), Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(answers.asked.size(), std::size_t(1));
        QCOMPARE(answers.asked[0].text, kExitQuestion);
    }

    // A switch tells the view left, then the view taken; the same view
    // again tells nobody.
    void switchingTellsTheViewLeftAndTheViewTaken() {
        QSignalSpy spy(frame.get(), &MainFrame::viewActivationChanged);
        frame->switchView(ViewKind::Log);
        frame->switchView(ViewKind::Log);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0).value<ViewKind>(), ViewKind::Device);
        QCOMPARE(spy.at(0).at(1).toBool(), false);
        QCOMPARE(spy.at(1).at(0).value<ViewKind>(), ViewKind::Log);
        QCOMPARE(spy.at(1).at(1).toBool(), true);
    }

    void minimisingHidesToTrayAndTheMenuOpensOnlyWhileHidden() {
        const auto& popups = desktop.popups;
        QVERIFY(!frame->trayActivated(QSystemTrayIcon::Context));
        frame->showMinimized();
        QTRY_VERIFY(frame->hiddenToTray());
        QVERIFY(!frame->isVisible());
        QVERIFY(frame->trayActivated(QSystemTrayIcon::Context));
        QCOMPARE(popups.size(), std::size_t(1));
        QStringList texts;
        for (QAction* a : popups[0]->actions()) texts << a->text();
        QCOMPARE(texts, QStringList({"&Pokaż program", "&O programie", "&Zakończ"}));
        frame->trayActivated(QSystemTrayIcon::DoubleClick);
        QVERIFY(!frame->hiddenToTray());
        QVERIFY(frame->isVisible());
        QVERIFY(!frame->isMinimized());
        // A single click brings it back as well.
        frame->showMinimized();
        QTRY_VERIFY(frame->hiddenToTray());
        frame->trayActivated(QSystemTrayIcon::Trigger);
        QVERIFY(!frame->hiddenToTray());
        QVERIFY(frame->isVisible());
    }

    void withoutATrayMinimisingNeverHidesTheWindow() {
        make(false);
        frame->minimizeToTray();
        QVERIFY(!frame->hiddenToTray());
        QVERIFY(frame->isVisible());
        frame->showMinimized();
        QTest::qWait(0);
        QCoreApplication::processEvents();
        QVERIFY(!frame->hiddenToTray());
        QVERIFY(frame->isVisible());
    }

    void trayExitPostsTheCloseRequest() {
        answers.answer = QMessageBox::No;
        frame->actions().trayExit->trigger();
        QVERIFY(answers.asked.empty());
        QTRY_COMPARE(answers.asked.size(), std::size_t(1));
        QCOMPARE(answers.asked[0].text, kExitQuestion);
    }

    // Qt's own texts (file dialogs, standard buttons) come in Polish.
    void qtsOwnTextsArePolish() {
        const auto translations = loadQtTranslations();
        QVERIFY2(translations, "qtbase_pl missing: scripts/setup installs qt6-translations-l10n");
        QCoreApplication::installTranslator(translations.get());
        const QString lookIn = QCoreApplication::translate("QFileDialog", "Look in:");
        const QString cancel = QCoreApplication::translate("QPlatformTheme", "Cancel");
        QCoreApplication::removeTranslator(translations.get());
        QVERIFY2(lookIn != "Look in:", qPrintable(lookIn));
        QVERIFY2(cancel != "Cancel", qPrintable(cancel));
    }

    void recentFilesKeepTheLastFourNewestFirst() {
        kt64::test::TempDir home;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(home.path().string()));
        QCoreApplication::setOrganizationName(kSettingsOrganization);
        QCoreApplication::setApplicationName(kSettingsApplication);
        for (const char* f : {"/a.dsk", "/b.dsk", "/c.dsk", "/d.dsk", "/e.dsk", "/c.dsk"})
            MainFrame::addToRecentFiles(f);
        QCOMPARE(MainFrame::recentFiles(), QStringList({"/c.dsk", "/e.dsk", "/d.dsk", "/b.dsk"}));
    }

    // The old profile's values come over once; a profile already in use
    // keeps its own.
    void oldProfileIsCarriedOverOnce() {
        kt64::test::TempDir home;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(home.path().string()));
        QCoreApplication::setOrganizationName(kSettingsOrganization);
        QCoreApplication::setApplicationName(kSettingsApplication);
        QSettings old(QSettings::NativeFormat, QSettings::UserScope, kOldSettingsOrganization, kSettingsApplication);
        old.setValue("Recent File List/File1", "/szkola.dsk");
        old.setValue("Recent File List/File2", "/hala.dsk");
        old.sync();
        carryOverOldSettings();
        QCOMPARE(MainFrame::recentFiles(), QStringList({"/szkola.dsk", "/hala.dsk"}));
        MainFrame::addToRecentFiles("/nowy.dsk");
        old.setValue("Recent File List/File1", "/inny.dsk");
        old.sync();
        carryOverOldSettings();
        QCOMPARE(MainFrame::recentFiles(), QStringList({"/nowy.dsk", "/szkola.dsk", "/hala.dsk"}));
    }

    void onlyTheExactAccessCodeGetsPastTheAboutBox() {
        const int& beeps = desktop.beeps;
        QSignalSpy service(frame.get(), &MainFrame::serviceDialogRequested);
        for (const QString& code : {QString(), QString("brovik"), QString("Brovik "), QString("Brovi")})
            frame->aboutClosed(code);
        QCOMPARE(beeps, 4);
        QCOMPARE(service.count(), 0);
        frame->aboutClosed("Brovik");
        QCOMPARE(beeps, 4);
        QCOMPARE(service.count(), 1);
    }

    void aDoubleClickOnTheLogoRevealsTheCodeField() {
        AboutDialog about(frame.get());
        about.show();
        QVERIFY(!about.codeFieldShown());
        auto* code = about.findChild<QLineEdit*>("code");
        QCOMPARE(code->echoMode(), QLineEdit::Password);
        QCOMPARE(about.findChild<QLabel*>("version")->text(), QString("KT64mon wersja 1.20 (Build 14)"));
        QTest::mouseDClick(about.findChild<QLabel*>("logo"), Qt::LeftButton);
        QVERIFY(about.codeFieldShown());
        QCOMPARE(about.findChild<QLabel*>("codeLabel")->text(), QString("Hasło:"));
        QTest::keyClicks(code, "Brovik");
        QCOMPARE(about.typedCode(), QString("Brovik"));
    }
};

// The lock outside a frame: a second holder is refused, and a holder that
// dies without letting go does not block the next start.
// The real box (no handler): a question answers in Polish, and the
// caption a message carries is the box's.
class MessageBoxTest : public QObject {
    Q_OBJECT
private slots:
    void questionButtonsAndCaption() {
        QString caption;
        QStringList buttons;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            caption = box->windowTitle();
            for (auto* b : box->buttons()) buttons << b->text();
            box->button(QMessageBox::No)->click();
        });
        ConsoleMessages messages;
        QVERIFY(!messages.ask("Czy?", kt64::program::MessageIcon::Question));
        buttons.sort();
        QCOMPARE(buttons, QStringList({"&Nie", "&Tak"}));
        QCOMPARE(caption, QString("KT64mon"));

        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                caption = box->windowTitle();
                box->button(QMessageBox::Ok)->click();
            }
        });
        messages.showCaptioned("Błąd", "Nie mogę otworzyć rejestru", kt64::program::MessageIcon::Stop);
        QCOMPARE(caption, QString("Błąd"));
    }
};

class InstanceLockTest : public QObject {
    Q_OBJECT
private slots:
    void secondHolderIsRefusedAndADeadHolderFreesTheLock() {
        kt64::test::TempDir dir;
        {
            InstanceLock first(dir.path());
            QCOMPARE(first.result(), InstanceLock::Result::Acquired);
            QCOMPARE(QString::fromStdString(first.path().filename().string()),
                     QString("{46234ECA-20A0-48e4-82FA-749CE5B858DF}.lock"));
            InstanceLock second(dir.path());
            QCOMPARE(second.result(), InstanceLock::Result::HeldByOther);
        }
        int ready[2];
        QVERIFY(::pipe(ready) == 0);
        const pid_t child = ::fork();
        if (child == 0) {
            InstanceLock held(dir.path());
            const char c = held.result() == InstanceLock::Result::Acquired ? 'y' : 'n';
            (void)::write(ready[1], &c, 1);
            ::pause();
            ::_exit(0);
        }
        char c = 0;
        QCOMPARE(::read(ready[0], &c, 1), ssize_t(1));
        QCOMPARE(c, 'y');
        QCOMPARE(InstanceLock(dir.path()).result(), InstanceLock::Result::HeldByOther);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        QCOMPARE(InstanceLock(dir.path()).result(), InstanceLock::Result::Acquired);
        ::close(ready[0]);
        ::close(ready[1]);
    }

    // A lock folder someone else made first (in the shared temporary
    // folder) must keep no console from starting nor let another user hold
    // the lock: the console refuses it and says which folder and why.
    void aFolderNotTheUsersOwnIsRefusedByName() {
        struct Row {
            const char* name;
            std::function<std::filesystem::path(const std::filesystem::path& scratch)> folder;
            uid_t owner;
            std::string fault;  // empty: the lock is taken
        };
        const uid_t me = ::geteuid();
        const std::vector<Row> rows = {
            {"missing folder is made private", [](const auto& s) { return s / "new"; }, me, ""},
            {"open to the group",
             [](const auto& s) {
                 std::filesystem::create_directory(s / "shared");
                 ::chmod((s / "shared").c_str(), 0770);
                 return s / "shared";
             },
             me, "mają do niego dostęp inni użytkownicy (prawa 0770)"},
            {"link to a private folder",
             [](const auto& s) {
                 std::filesystem::create_directory(s / "real");
                 ::chmod((s / "real").c_str(), 0700);
                 std::filesystem::create_directory_symlink(s / "real", s / "link");
                 return s / "link";
             },
             me, "jest dowiązaniem symbolicznym"},
            {"a file",
             [](const auto& s) {
                 std::ofstream(s / "file");
                 return s / "file";
             },
             me, "nie jest folderem"},
            {"another user's", [](const auto& s) { return s; }, me + 1,
             "należy do innego użytkownika (uid " + std::to_string(me) + ")"},
        };
        for (const Row& row : rows) {
            kt64::test::TempDir scratch;
            const std::filesystem::path folder = row.folder(scratch.path());
            InstanceLock lock(folder, row.owner);
            const std::string& fault = row.fault;
            QVERIFY2((lock.result() ==
                      (fault.empty() ? InstanceLock::Result::Acquired : InstanceLock::Result::FolderNotPrivate)),
                     row.name);
            if (fault.empty()) {
                struct stat st {};
                QVERIFY(::stat(folder.c_str(), &st) == 0);
                QCOMPARE(st.st_mode & 07777, mode_t(0700));
                continue;
            }
            QCOMPARE(lock.failureText(), fault);
            if (row.owner != me) continue;
            std::vector<MessageBoxRequest> shown;
            setMessageBoxHandler([&](QWidget*, const MessageBoxRequest& r) {
                shown.push_back(r);
                return QMessageBox::Ok;
            });
            QCOMPARE(runConsole({folder, {}}), 1);
            setMessageBoxHandler({});
            QCOMPARE(shown.size(), std::size_t(1));
            QCOMPARE(shown[0].text, QString::fromStdString(
                                        "Program KT64mon nie może się uruchomić: folder blokady " + folder.string() +
                                        " nie jest prywatnym folderem użytkownika (" + fault + ")."));
        }
    }

    void secondConsoleShowsTheMessageAndEnds() {
        kt64::test::TempDir dir;
        InstanceLock first(dir.path());
        std::vector<MessageBoxRequest> shown;
        setMessageBoxHandler([&](QWidget*, const MessageBoxRequest& r) {
            shown.push_back(r);
            return QMessageBox::Ok;
        });
        QCOMPARE(runConsole({dir.path(), {}}), 1);
        setMessageBoxHandler({});
        QCOMPARE(shown.size(), std::size_t(1));
        QCOMPARE(shown[0].text, QString("Program KT64mon jest już uruchomiony"));
        QVERIFY(QApplication::topLevelWidgets().isEmpty() ||
                std::none_of(QApplication::topLevelWidgets().begin(), QApplication::topLevelWidgets().end(),
                             [](QWidget* w) { return w->isVisible(); }));
    }
};

// Runs the whole console until it ends, as main() does; the operator's hand
// acts once the window shows. 99 when it had not ended after 30 s.
int runConsoleWith(const ConsoleStart& start, std::function<void(MainFrame&)> operatorHand) {
    QTimer hand;
    hand.setInterval(50);
    QObject::connect(&hand, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* frame = qobject_cast<MainFrame*>(w); frame && frame->isVisible()) {
                hand.stop();
                operatorHand(*frame);
            }
    });
    hand.start();
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [] { QApplication::exit(99); });
    giveUp.start(30000);
    return runConsole(start);
}

// The whole console as started, ended from the tray: hidden there, the
// window's close is one the application's last-window rule does not see.
class ConsoleExitTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { setMessageBoxHandler({}); }
    void exitFromTheTrayEndsTheConsole() {
        kt64::test::TempDir lockFolder;
        // Nothing listens there: the start-up connect fails at once.
        kt64::reg::Key::create(kt64::reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Prog")
            .setString("CompName", "127.0.0.1:1");
        std::vector<MessageBoxRequest> asked;
        setMessageBoxHandler([&](QWidget*, const MessageBoxRequest& r) {
            asked.push_back(r);
            return (r.buttons & QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
        });
        QCOMPARE(runConsoleWith({lockFolder.path(), {}},
                                [](MainFrame& frame) {
                                    frame.hide();  // as in the tray
                                    frame.actions().trayExit->trigger();
                                }),
                 0);
        QVERIFY(std::any_of(asked.begin(), asked.end(), [](const auto& r) { return r.text == kExitQuestion; }));
    }
};

// The console ended by the system (SIGTERM at shutdown) with a changed
// program: it ends without a question nobody would answer, keeps the
// changes, and the next start brings them back under the program's name,
// marked as changed; the operator may still drop them on exit.
class UnsavedProgramTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { setMessageBoxHandler({}); }
    void aTerminationKeepsTheChangesForTheNextStart() {
        kt64::test::TempDir lock, unsaved;
        kt64::reg::Key::create(kt64::reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Prog")
            .setString("CompName", "127.0.0.1:1");
        std::vector<MessageBoxRequest> asked;
        setMessageBoxHandler([&](QWidget*, const MessageBoxRequest& r) {
            asked.push_back(r);
            if (r.text == kExitQuestion) return QMessageBox::Yes;
            return (r.buttons & QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok;
        });
        const std::filesystem::path program = unsaved.path() / "szkola.dsk";  // never written
        QCOMPARE(
            runConsoleWith({lock.path(), unsaved.path()},
                           [&](MainFrame& frame) {
                               Kt64Document& doc = frame.document();
                               doc.program().database()->execute("INSERT INTO Bloki(Opis) VALUES('Przerwa zimowa')");
                               doc.program().setModified();
                               doc.setPathName(program);
                               ::raise(SIGTERM);
                           }),
            0);
        QVERIFY2(asked.empty(), qPrintable(asked.empty() ? QString() : asked.front().text));
        QVERIFY(!std::filesystem::exists(program));

        int blocks = -1;
        bool modified = false;
        QString title;
        QCOMPARE(runConsoleWith({lock.path(), unsaved.path()},
                                [&](MainFrame& frame) {
                                    Kt64Document& doc = frame.document();
                                    auto q = doc.program().database()->query(
                                        "SELECT COUNT(*) AS n FROM Bloki WHERE "
                                        "Opis='Przerwa zimowa'");
                                    blocks = q.next() ? static_cast<int>(q.integer("n")) : -1;
                                    modified = doc.program().isModified();
                                    title = frame.windowTitle();
                                    QTimer::singleShot(100, &frame, [&frame] { frame.actions().trayExit->trigger(); });
                                }),
                 0);
        QCOMPARE(blocks, 1);
        QVERIFY(modified);
        QCOMPARE(title, QString("szkola.dsk[*] - KT64mon"));
        QStringList texts;
        for (const auto& r : asked) texts << r.text;
        QCOMPARE(texts, (QStringList{QString::fromUtf8(kUnsavedRestoredText).arg("szkola.dsk"), kExitQuestion,
                                     QStringLiteral("Zapisać zmiany w szkola.dsk?")}));
        QVERIFY2(!std::filesystem::exists(program), "dropped on exit, as asked");
        QVERIFY2(!std::filesystem::exists(unsaved.path() / "unsaved.dsk"), "brought back once");
    }
};

// The document's calls off the GUI thread: results come back as posted
// events, never inside the call, and never to a receiver that is gone.
class DocumentCallTest : public QObject {
    Q_OBJECT
private slots:
    void withoutAServerTheFailureComesBackLaterWithoutDescription() {
        ConsoleMessages messages;
        Kt64Document doc(messages);
        QObject receiver;
        std::optional<kt64::client::ServerError> error;
        bool done = false;
        doc.serverCall(
            &receiver, [](kt64::client::ServerProxy& s) { return s.GetBuildType(); }, [&](std::string) { done = true; },
            [&](const kt64::client::ServerError& e) { error = e; });
        QVERIFY(!error);
        QTRY_VERIFY(error.has_value());
        QVERIFY(!done);
        QCOMPARE(error->code(), kt64::client::E_RPC_SERVER_UNAVAILABLE);
        QVERIFY(!error->description());
        QCOMPARE(QString::fromStdString(error->displayText()), QString("Nie można pobrać błędu z serwera DCOM !"));
    }

    void aReceiverGoneBeforeTheResultGetsNothing() {
        ConsoleMessages messages;
        Kt64Document doc(messages);
        auto receiver = std::make_unique<QObject>();
        int calls = 0;
        doc.serverCall(
            receiver.get(), [](kt64::client::ServerProxy& s) { s.WaitForDeviceRead(); }, [&] { ++calls; },
            [&](const kt64::client::ServerError&) { ++calls; });
        receiver.reset();
        // A second call to a live receiver shows when the first has had its turn.
        QObject alive;
        bool second = false;
        doc.serverCall(
            &alive, [](kt64::client::ServerProxy& s) { s.WaitForDeviceRead(); }, [&] { second = true; },
            [&](const kt64::client::ServerError&) { second = true; });
        QTRY_VERIFY(second);
        QCoreApplication::processEvents();
        QCOMPARE(calls, 0);
    }

    void aConnectThatFindsNoServerLeavesTheDocumentUnconnected() {
        kt64::test::TempRegistry registry;
        ConsoleMessages messages;
        Kt64Document doc(messages);
        doc.computerName = "127.0.0.1:1";
        doc.connectOptions().connectTimeout = std::chrono::milliseconds(500);
        std::optional<kt64::HRESULT> result;
        bool hadDescription = true;
        doc.connectServer(&doc, [&](kt64::HRESULT hr, const kt64::client::ServerError* e) {
            result = hr;
            hadDescription = e && e->description();
        });
        QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 20000);
        QVERIFY(*result != kt64::S_OK);
        QVERIFY(!hadDescription);
        QVERIFY(!doc.connected());
        QVERIFY(!doc.server());
    }
};

int main(int argc, char** argv) {
    // No test touches the system's registry or units.
    kt64::test::TempRegistry registry;
    kt64::test::TempDir units;
    kt64::test::ScopedEnv unitDir("KT64_UNIT_DIR", units.path().string());
    QApplication app(argc, argv);
    int status = 0;
    {
        MainFrameTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        DocumentCallTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        InstanceLockTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        ConsoleExitTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        MessageBoxTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        UnsavedProgramTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    return status;
}

#include "MainFrameTest.moc"
