// MainFrame, the console's one window: the menu, accelerators, toolbar and
// status bar, the tray icon, and a stack holding every view at once, of
// which one (or the schedule pair in its splitter) is shown. The views are
// made once by ViewFactory and live as long as the window; switching only
// hides one page and shows another, so each view keeps its state.
//
// The frame's window has a fixed size and no maximise button. Minimising it
// hides it to the tray when the desktop has one; without a tray it stays an
// ordinary minimised window, so there is always a way back.
#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <QSystemTrayIcon>

#include <array>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "ConsoleView.h"
#include "Kt64Document.h"

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QProgressDialog;
class QSplitter;
class QStackedWidget;
class QTimer;
class QToolBar;

namespace kt64::console {

// Shown on a close request: the servers keep running after the console.
inline const QString kExitQuestion = QStringLiteral(
    "Zakończenie programu może spowodować pozostawienie aktywnych usług VqSrvKt64 oraz HoralService.\n"
    "Czy na pewno chcesz wyjść?");
inline const QString kIdleMessage = QStringLiteral("Gotowy");
// Shown while the console waits, before it ends, for a change on its way.
inline const QString kSendWaitText = QStringLiteral("Trwa przesyłanie zmian do centrali, proszę czekać...");
inline const QString kTrayTip = QStringLiteral("Program KT-64");
// The open and save dialogs' filter: the caretaker knows the files as bell
// programs, not by their extension.
inline const QString kProgramFileFilter = QStringLiteral("Programy przekaźników (*.dsk)");
// The service access code typed into the About box's hidden field.
inline const QString kServiceAccessCode = QStringLiteral("Brovik");

// The frame's commands: the menus, the toolbar, the accelerators and the
// tray menu all run these actions.
struct FrameActions {
    QAction* newProgram = nullptr;
    QAction* open = nullptr;
    QAction* save = nullptr;
    QAction* saveAs = nullptr;
    QAction* sendProgram = nullptr;
    QAction* receiveProgram = nullptr;
    QAction* chart = nullptr;
    QAction* printPlan = nullptr;
    QAction* exit = nullptr;
    QAction* deviceView = nullptr;
    QAction* scheduleViews = nullptr;
    QAction* syncSettingsView = nullptr;
    QAction* logView = nullptr;
    QAction* toolbar = nullptr;
    QAction* statusBar = nullptr;
    QAction* about = nullptr;
    QAction* trayShow = nullptr;
    QAction* trayAbout = nullptr;
    QAction* trayExit = nullptr;
};

// What the frame asks of the desktop beyond its own window: the speaker, a
// menu at the pointer and the file dialogs. A test gives its own, to count
// and answer instead of the operator.
class FrameDesktop {
public:
    virtual ~FrameDesktop() = default;
    // The beep of a wrong access code.
    virtual void beep();
    // Shows menu at the pointer.
    virtual void popUp(QMenu* menu);
    // The Open (save false) and Save As (save true) file dialogs over
    // parent, starting at start; the file chosen, or empty.
    virtual QString chooseFile(QWidget* parent, bool save, const QString& start);
};

class MainFrame : public QMainWindow {
    Q_OBJECT
public:
    struct Options {
        // Whether a tray can be used; by default what the desktop says.
        std::optional<bool> trayAvailable;
        // The desktop's speaker, menus and file dialogs; the real ones when
        // null. It outlives the frame.
        FrameDesktop* desktop = nullptr;
    };

    explicit MainFrame(Kt64Document& doc, QWidget* parent = nullptr) : MainFrame(doc, Options{}, parent) {}
    MainFrame(Kt64Document& doc, Options options, QWidget* parent = nullptr);
    ~MainFrame() override;

    // Relay outputs of the connected centre (third field of the build
    // type); they enable sending and receiving the program.
    int relayOutputs() const { return relayOutputs_; }
    ViewKind activeView() const { return active_; }
    // Offers the program's unsaved changes for saving, as before New and
    // Open (a receive replaces the program too); false when the operator
    // cancelled or the save failed.
    bool saveModified();
    // A view has something on its way to the centre (or no more): the
    // console waits for it before it ends.
    void setSendPending(const QObject* view, bool pending);

    Kt64Document& document() { return doc_; }
    QWidget* view(ViewKind kind) const;
    const FrameActions& actions() const { return actions_; }
    bool hiddenToTray() const { return hiddenToTray_; }
    bool trayAvailable() const { return trayAvailable_; }
    // The icon shown in the tray (kIconNormal, kIconAlarm), 0 when none.
    int trayIconId() const { return trayIconId_; }
    QMenu* trayMenu() const { return trayMenu_; }
    QSplitter* scheduleSplitter() const { return splitter_; }
    QStackedWidget* viewStack() const { return stack_; }

    // The tray icon's callback; the right button opens the menu only while
    // the window is hidden (returns whether it did).
    bool trayActivated(QSystemTrayIcon::ActivationReason reason);
    // Ends the console because the system asks (a termination signal):
    // without the exit and save questions, which nobody may be there to
    // answer, and with unsaved program changes kept in unsavedFolder for
    // the next start (UnsavedProgram.h). Changes on their way to the
    // server are still waited for, as on any exit.
    void closeForSystem(const std::filesystem::path& unsavedFolder);
    // What follows the About box's OK with what was typed in its hidden field.
    void aboutClosed(const QString& typedCode);
    // The application profile's list of the last program files, newest
    // first (the application profile, see ConsoleApp.h).
    static constexpr int kRecentFiles = 4;
    static QStringList recentFiles();
    static void addToRecentFiles(const QString& path);

    // Where the file dialogs start: the folder of the program open, else of
    // the last one opened or saved, else the user's documents folder.
    QString fileDialogFolder() const;

public slots:
    void setRelayOutputs(int outputs);
    void setTrayIcon(TrayOperation operation, int iconId);
    // The device panel's alarms, on the tray icon.
    void showAlarms(bool raised);
    // The schedule tree's counts: "%d/100" blocks, "%d/400" dates plus
    // commands, and the progress bar at the second.
    void showCounts(int blocks, int records);
    void switchView(ViewKind view);
    // The configuration form's "Minimalizuj po uruchomieniu": as if the
    // operator minimised the window.
    void minimizeToTray();
    // Shows the window again from the tray.
    void restoreFromTray();
    // Text in the status bar's message pane ("Gotowy" when empty).
    void setMessageText(const QString& text);
    // The About box; then the service dialog when the code was typed.
    void showAbout();

signals:
    // Once, when the window is first shown: every view's initial update,
    // shown or not (the settings form connects to the link server then).
    void firstShown();
    // The view became (true) or stopped being (false) the active view.
    void viewActivationChanged(ViewKind view, bool active);
    // A command of the File menu for the active schedule view.
    void programCommandRequested(ProgramCommand command);
    // After each switch of view.
    void viewSwitched(ViewKind view);
    // The access code was typed: the service dialog opens (runServiceDialog).
    void serviceDialogRequested();
    // The exit was confirmed and the window has closed for good: the
    // console ends (also when the window was hidden to the tray, which
    // the application's last-window rule does not see).
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct ViewTemplate {
        ViewKind kind;
        int splitter;  // -1: fills the frame alone
        int column;    // the pane of the splitter
        QWidget* view = nullptr;
    };

    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void createViews();
    void createTray();
    void createAccelerators();
    QAction* addCommand(const char* name, const QString& text, const QString& prompt, const QIcon& icon,
                        std::function<void()> run);
    // Leaves a program command to the active view.
    void runProgramCommand(ProgramCommand command);
    void updateCommandUI();
    void activate(ViewKind kind);
    void nextPane(bool forward);
    void onFocusChanged(QWidget* now);
    void hideToTray();
    bool sendPending() const { return !sendsPending_.empty(); }
    void waitForSends();
    void updateTitle();
    void newProgram();
    void openProgram();
    bool saveProgram(bool askName);
    ViewTemplate* templateOf(ViewKind kind);

    Kt64Document& doc_;
    FrameDesktop realDesktop_;
    FrameDesktop& desktop_;
    std::array<ViewTemplate, 5> templates_;
    ViewKind active_ = ViewKind::Device;
    bool anyActive_ = false;
    FrameActions actions_;
    QStackedWidget* stack_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QLabel* messagePane_ = nullptr;
    QLabel* blocksPane_ = nullptr;
    QLabel* commandsPane_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    bool trayAvailable_ = false;
    int trayIconId_ = 0;
    bool hiddenToTray_ = false;
    int relayOutputs_ = 0;
    bool initialUpdateDone_ = false;
    bool closing_ = false;
    // The exit was confirmed; the window waits for a send to come back.
    bool exitConfirmed_ = false;
    QProgressDialog* sendWait_ = nullptr;
    // The views with something on its way to the centre.
    std::set<const QObject*> sendsPending_;
};

}  // namespace kt64::console
