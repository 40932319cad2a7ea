// MainFrame: menus and their enabling, accelerators, toolbar, status-bar
// panes, the view stack and its switching, tray, exit confirmation.
#include "MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QProgressDialog>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <cstdio>

#include "AboutDialog.h"
#include "ConsoleIcons.h"
#include "MessageBoxes.h"
#include "UnsavedProgram.h"
#include "ViewFactory.h"

namespace kt64::console {

namespace {

bool isSchedule(ViewKind k) { return k == ViewKind::ProgramTree || k == ViewKind::CommandList; }

// The text width of a pane sized for sample.
int paneWidth(const QWidget* w, const QString& sample) { return w->fontMetrics().horizontalAdvance(sample) + 8; }

}  // namespace

void FrameDesktop::beep() { QApplication::beep(); }

void FrameDesktop::popUp(QMenu* menu) { menu->popup(QCursor::pos()); }

QString FrameDesktop::chooseFile(QWidget* parent, bool save, const QString& start) {
    const QString filter = kProgramFileFilter;
    return save ? QFileDialog::getSaveFileName(parent, {}, start, filter)
                : QFileDialog::getOpenFileName(parent, {}, start, filter);
}

MainFrame::MainFrame(Kt64Document& doc, Options options, QWidget* parent)
    : QMainWindow(parent),
      doc_(doc),
      desktop_(options.desktop ? *options.desktop : realDesktop_),
      templates_{{{ViewKind::Device, -1, 0},
                  {ViewKind::SyncSettings, -1, 0},
                  {ViewKind::Log, -1, 0},
                  {ViewKind::ProgramTree, 0, 0},
                  {ViewKind::CommandList, 0, 1}}} {
    setObjectName("MainFrame");
    // Fixed size, minimise but no maximise.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setWindowIcon(consoleIcon(kIconNormal));
    trayAvailable_ = options.trayAvailable.value_or(QSystemTrayIcon::isSystemTrayAvailable());

    createActions();
    createMenus();
    createToolBar();
    createStatusBar();
    createTray();
    createViews();
    createAccelerators();
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { onFocusChanged(now); });
    connect(&doc_, &Kt64Document::titleChanged, this, &MainFrame::updateTitle);
    updateTitle();
    // The window is as large as the device panel's form and stays so.
    adjustSize();
    setFixedSize(sizeHint());
}

MainFrame::~MainFrame() {
    // QWidget's destructor closes the window, and the application tells of
    // the focus it takes away when this object is a frame no more.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
}

QAction* MainFrame::addCommand(const char* name, const QString& text, const QString& prompt, const QIcon& icon,
                               std::function<void()> run) {
    auto* a = new QAction(text, this);
    a->setObjectName(QString::fromLatin1(name));
    const auto parts = prompt.split('\n');
    if (!parts.isEmpty()) a->setStatusTip(parts.front());
    if (parts.size() > 1) a->setToolTip(parts.back());
    a->setIcon(icon);
    connect(a, &QAction::triggered, this, [this, run = std::move(run)] {
        run();
        updateCommandUI();
    });
    return a;
}

void MainFrame::createActions() {
    const CommandIcons icons = commandIcons();
    auto& a = actions_;
    a.newProgram =
        addCommand("newProgram", "&Nowy      (Ctrl+N)", "Tworzy nowy dokument\nNowy", {}, [this] { newProgram(); });
    a.open = addCommand("open", "&Otwórz   (Ctrl+O)", "Otwiera istniejący dokument\nOtwórz", icons.open,
                        [this] { openProgram(); });
    a.save = addCommand("save", "&Zapisz     (Ctrl+S)", "Zapisuje otwarty dokument\nZapisz", icons.save,
                        [this] { saveProgram(false); });
    a.saveAs = addCommand("saveAs", "Zapisz &jako...", "Zapisuje otwarty dokument pod nową nazwą\nZapisz jako", {},
                          [this] { saveProgram(true); });
    a.sendProgram = addCommand("sendProgram", "Wyślij rozkazy do centrali (CTRL+T)",
                               "Wysyła rozkazy do centrali\nWyślij do centrali", icons.send,
                               [this] { runProgramCommand(ProgramCommand::Send); });
    a.receiveProgram = addCommand("receiveProgram", "Odbierz rozkazy z centrali (CTRL+R)",
                                  "Odbiera rozkazy z centrali\nOdbierz z centrali", icons.receive,
                                  [this] { runProgramCommand(ProgramCommand::Receive); });
    a.chart = addCommand("chart", "Grafik (CTRL+G)", "Wyświetla stan załączeń przekaźników\nGrafik przelaczeń",
                         icons.chart, [this] { runProgramCommand(ProgramCommand::Chart); });
    a.printPlan = addCommand("printPlan", "Drukuj plan…", "Drukuje tygodniowy plan dzwonków\nDrukuj plan", {},
                             [this] { runProgramCommand(ProgramCommand::PrintPlan); });
    a.exit =
        addCommand("exit", "&Wyjście   (Ctrl+X)", "Wychodzi z aplikacji\nWyjście", icons.exit, [this] { close(); });
    a.deviceView =
        addCommand("deviceView", "&Ustawienia centrali", "Otwiera okno z ustawieniami centrali\nUstawienia centrali",
                   icons.deviceView, [this] { switchView(ViewKind::Device); });
    a.scheduleViews =
        addCommand("scheduleViews", "&Sterowanie przekaźnikami", "Sterowanie przekaźnikami\nSterowanie przekaźnikami",
                   icons.scheduleViews, [this] { switchView(ViewKind::ProgramTree); });
    a.syncSettingsView = addCommand("syncSettingsView", "&Ustawienia programu",
                                    "Otwiera okno z ustawieniami programu\nUstawienia programu", icons.syncSettingsView,
                                    [this] { switchView(ViewKind::SyncSettings); });
    a.logView = addCommand("logView", "&Logi", "Otwiera okno z logami centrali\nLog", icons.logView,
                           [this] { switchView(ViewKind::Log); });
    a.toolbar = addCommand("toolbar", "&Toolbar", "Pokaż lub ukryj pasek narzędzi\nPasek narzędzi", {},
                           [this] { toolBar_->setVisible(toolBar_->isHidden()); });
    a.statusBar = addCommand("statusBar", "&Status Bar", "Pokaż lub ukryj pasek statusu\nPasek statusu", {},
                             [this] { statusBar()->setVisible(statusBar()->isHidden()); });
    a.about = addCommand("about", "&O programie...", "Wyświetla informacje o programie\nO programie...", icons.about,
                         [this] { showAbout(); });
    for (QAction* view : {a.deviceView, a.scheduleViews, a.syncSettingsView, a.logView, a.toolbar, a.statusBar})
        view->setCheckable(true);
}

void MainFrame::createMenus() {
    const auto& a = actions_;
    QMenu* file = menuBar()->addMenu("P&lik");
    file->addActions({a.newProgram, a.open, a.save, a.saveAs, a.sendProgram, a.receiveProgram, a.chart, a.printPlan});
    file->addSeparator();
    file->addAction(a.exit);
    QMenu* settings = menuBar()->addMenu("&Ustawienia");
    settings->addActions({a.deviceView, a.scheduleViews, a.syncSettingsView, a.logView});
    QMenu* view = menuBar()->addMenu("&Widok");
    view->addAction(a.toolbar);
    view->addAction(a.statusBar);
    QMenu* help = menuBar()->addMenu("&Pomoc");
    help->addAction(a.about);
}

void MainFrame::createToolBar() {
    const auto& a = actions_;
    toolBar_ = addToolBar("Pasek narzędzi");
    toolBar_->setObjectName("toolBar128");
    toolBar_->setMovable(false);
    toolBar_->setIconSize(QSize(16, 16));
    toolBar_->addActions({a.open, a.save, a.exit, a.receiveProgram, a.sendProgram, a.chart});
    toolBar_->addSeparator();
    toolBar_->addActions({a.deviceView, a.scheduleViews, a.syncSettingsView, a.logView});
    toolBar_->addSeparator();
    toolBar_->addAction(a.about);
    a.toolbar->setChecked(true);
}

void MainFrame::createStatusBar() {
    QStatusBar* bar = statusBar();
    messagePane_ = new QLabel(kIdleMessage, bar);
    messagePane_->setObjectName("paneMessage");
    bar->addWidget(messagePane_, 1);
    auto addPane = [&](const QString& name, const QString& text, const QString& sample) {
        auto* pane = new QLabel(text, bar);
        pane->setObjectName(name);
        if (!sample.isEmpty()) pane->setMinimumWidth(paneWidth(pane, sample));
        bar->addPermanentWidget(pane);
        return pane;
    };
    addPane("paneB", "B:", {});
    blocksPane_ = addPane("paneBlocks", {}, "000/100");
    addPane("paneR", "R:", {});
    commandsPane_ = addPane("paneCommands", {}, "000/400");
    addPane("panePercent", "%", {});
    progress_ = new QProgressBar(bar);
    progress_->setObjectName("paneProgress");
    progress_->setRange(0, 400);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    progress_->setFixedWidth(paneWidth(progress_, "wwwwwwwwwwww"));
    bar->addPermanentWidget(progress_);
    actions_.statusBar->setChecked(true);
}

void MainFrame::createTray() {
    trayMenu_ = new QMenu(this);
    trayMenu_->setObjectName("trayMenu4");
    auto add = [&](const char* name, const QString& text, auto slot) {
        QAction* a = trayMenu_->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    actions_.trayShow = add("trayShow", "&Pokaż program", [this] { restoreFromTray(); });
    actions_.trayAbout = add("trayAbout", "&O programie", [this] { showAbout(); });
    // A posted close request: the exit question comes after the menu closed.
    actions_.trayExit =
        add("trayExit", "&Zakończ", [this] { QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); });
    if (trayAvailable_) {
        tray_ = new QSystemTrayIcon(this);
        connect(tray_, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason r) { trayActivated(r); });
    }
    setTrayIcon(TrayOperation::Add, kIconNormal);
}

void MainFrame::setTrayIcon(TrayOperation operation, int iconId) {
    if (operation == TrayOperation::Delete) {
        trayIconId_ = 0;
        if (tray_) tray_->hide();
        return;
    }
    trayIconId_ = iconId;
    if (!tray_) return;
    tray_->setIcon(consoleIcon(iconId));
    tray_->setToolTip(kTrayTip.left(64));
    if (operation == TrayOperation::Add) tray_->show();
}

void MainFrame::createViews() {
    stack_ = new QStackedWidget(this);
    stack_->setObjectName("viewStack");
    setCentralWidget(stack_);
    splitter_ = new QSplitter(Qt::Horizontal, stack_);
    splitter_->setObjectName("splitter0");
    splitter_->setChildrenCollapsible(false);
    for (auto& t : templates_) {
        QWidget* parent = t.splitter == -1 ? static_cast<QWidget*>(stack_) : splitter_;
        switch (t.kind) {
        case ViewKind::Device:
            t.view = createDeviceView(doc_, *this, parent);
            break;
        case ViewKind::SyncSettings:
            t.view = createSyncSettingsView(doc_, *this, parent);
            break;
        case ViewKind::Log:
            t.view = createLogView(doc_, *this, parent);
            break;
        case ViewKind::ProgramTree:
            t.view = createProgramTreeView(doc_, *this, parent);
            break;
        case ViewKind::CommandList:
            t.view = createCommandListView(doc_, *this, parent);
            break;
        }
        if (t.splitter == -1)
            stack_->addWidget(t.view);
        else
            splitter_->insertWidget(t.column, t.view);
    }
    stack_->addWidget(splitter_);
    // The tree takes a third of the width, as the splitter was first laid out.
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 2);
    // After the views, which took their connections as they were made.
    connect(&doc_, &Kt64Document::programChanged, this, &MainFrame::updateTitle);
    stack_->setCurrentWidget(templates_[0].view);
    active_ = ViewKind::Device;
    anyActive_ = false;
    updateCommandUI();
}

void MainFrame::createAccelerators() {
    // The accelerators run their action as its menu entry would; a disabled
    // action ignores the trigger.
    const auto& a = actions_;
    const std::pair<QKeySequence, QAction*> table[] = {
        {QKeySequence("Ctrl+N"), a.newProgram},     {QKeySequence("Ctrl+O"), a.open},
        {QKeySequence("Ctrl+S"), a.save},           {QKeySequence("Ctrl+T"), a.sendProgram},
        {QKeySequence("Ctrl+R"), a.receiveProgram}, {QKeySequence("Ctrl+G"), a.chart},
        {QKeySequence("Ctrl+X"), a.exit},
    };
    for (const auto& [keys, action] : table) {
        auto* s = new QShortcut(keys, this);
        s->setObjectName(action->objectName() + QStringLiteral("Shortcut"));
        connect(s, &QShortcut::activated, action, [action = action] {
            if (action->isEnabled()) action->trigger();
        });
    }
    auto* next = new QShortcut(QKeySequence(Qt::Key_F6), this);
    connect(next, &QShortcut::activated, this, [this] { nextPane(true); });
    auto* previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6), this);
    connect(previous, &QShortcut::activated, this, [this] { nextPane(false); });
}

QWidget* MainFrame::view(ViewKind kind) const {
    for (const auto& t : templates_)
        if (t.kind == kind) return t.view;
    return nullptr;
}

MainFrame::ViewTemplate* MainFrame::templateOf(ViewKind kind) {
    for (auto& t : templates_)
        if (t.kind == kind) return &t;
    return nullptr;
}

void MainFrame::updateCommandUI() {
    const auto& a = actions_;
    const bool schedule = anyActive_ && isSchedule(active_);
    for (QAction* file : {a.newProgram, a.open, a.save, a.saveAs, a.chart, a.printPlan}) file->setEnabled(schedule);
    a.sendProgram->setEnabled(schedule && relayOutputs_ > 0);
    a.receiveProgram->setEnabled(schedule && relayOutputs_ > 0);
    a.deviceView->setChecked(anyActive_ && active_ == ViewKind::Device);
    a.scheduleViews->setChecked(schedule);
    a.syncSettingsView->setChecked(anyActive_ && active_ == ViewKind::SyncSettings);
    a.logView->setChecked(anyActive_ && active_ == ViewKind::Log);
    a.toolbar->setChecked(!toolBar_->isHidden());
    a.statusBar->setChecked(!statusBar()->isHidden());
}

void MainFrame::activate(ViewKind kind) {
    if (anyActive_ && active_ == kind) return;
    const bool wasActive = anyActive_;
    const ViewKind previous = active_;
    active_ = kind;
    anyActive_ = true;
    if (wasActive) emit viewActivationChanged(previous, false);
    emit viewActivationChanged(kind, true);
    updateCommandUI();
}

void MainFrame::switchView(ViewKind kind) {
    ViewTemplate* target = templateOf(kind);
    if (!target) return;
    if (anyActive_ && active_ == kind) return;
    ViewTemplate* current = anyActive_ ? templateOf(active_) : nullptr;
    if (!(current && current->splitter != -1 && current->splitter == target->splitter)) {
        // One page of the stack at a time: the other pages, the schedule
        // pair with its splitter, are hidden with it.
        stack_->setCurrentWidget(target->splitter == -1 ? target->view : static_cast<QWidget*>(splitter_));
    }
    activate(kind);
    if (isVisible()) target->view->setFocus();
    emit viewSwitched(kind);
}

void MainFrame::nextPane(bool forward) {
    (void)forward;  // two panes: next and previous are the same one
    if (!anyActive_ || !isSchedule(active_)) return;
    const ViewKind other = active_ == ViewKind::ProgramTree ? ViewKind::CommandList : ViewKind::ProgramTree;
    activate(other);
    view(other)->setFocus();
}

void MainFrame::onFocusChanged(QWidget* now) {
    // A click into the other schedule pane makes it the active view.
    if (!now || !anyActive_ || !isSchedule(active_)) return;
    for (ViewKind k : {ViewKind::ProgramTree, ViewKind::CommandList}) {
        QWidget* v = view(k);
        if (k != active_ && (now == v || v->isAncestorOf(now))) activate(k);
    }
}

void MainFrame::setRelayOutputs(int outputs) {
    if (outputs == relayOutputs_) return;
    relayOutputs_ = outputs;
    updateCommandUI();
}

void MainFrame::showCounts(int blocks, int records) {
    blocksPane_->setText(QStringLiteral("%1/100").arg(blocks));
    commandsPane_->setText(QStringLiteral("%1/400").arg(records));
    progress_->setValue(records);
}

void MainFrame::setMessageText(const QString& text) { messagePane_->setText(text.isEmpty() ? kIdleMessage : text); }

void MainFrame::runProgramCommand(ProgramCommand command) {
    if (anyActive_ && isSchedule(active_)) emit programCommandRequested(command);
}

void MainFrame::updateTitle() {
    const QString name = doc_.pathName.empty() ? QStringLiteral("Bez tytułu")
                                               : QString::fromStdString(doc_.pathName.filename().string());
    // "[*]" shows as "*" while the program has unsaved changes.
    setWindowTitle(name + QStringLiteral("[*] - KT64mon"));
    setWindowModified(doc_.program().isOpen() && doc_.program().isModified());
}

bool MainFrame::saveModified() {
    if (!doc_.program().isOpen() || !doc_.program().isModified()) return true;
    const QString name = doc_.pathName.empty() ? QStringLiteral("Bez tytułu")
                                               : QString::fromStdString(doc_.pathName.filename().string());
    const auto answer =
        messageBox(this, {kAppCaption, QStringLiteral("Zapisać zmiany w %1?").arg(name), QMessageBox::Warning,
                          QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel});
    if (answer == QMessageBox::Cancel) return false;
    if (answer == QMessageBox::Yes) return saveProgram(false);
    return true;
}

QStringList MainFrame::recentFiles() {
    QSettings profile;
    QStringList files;
    for (int i = 1; i <= kRecentFiles; ++i) {
        const QString f = profile.value(QStringLiteral("Recent File List/File%1").arg(i)).toString();
        if (!f.isEmpty()) files << f;
    }
    return files;
}

void MainFrame::addToRecentFiles(const QString& path) {
    QStringList files = recentFiles();
    files.removeAll(path);
    files.prepend(path);
    QSettings profile;
    for (int i = 1; i <= kRecentFiles; ++i) {
        const QString key = QStringLiteral("Recent File List/File%1").arg(i);
        if (i <= files.size())
            profile.setValue(key, files[i - 1]);
        else
            profile.remove(key);
    }
}

void MainFrame::newProgram() {
    if (!saveModified()) return;
    if (doc_.program().newDocument()) {
        doc_.setPathName({});
        doc_.program().notifyChanged(0);
    }
}

QString MainFrame::fileDialogFolder() const {
    QStringList programs = recentFiles();
    if (!doc_.pathName.empty()) programs.prepend(QString::fromStdString(doc_.pathName.string()));
    for (const QString& program : programs) {
        const QFileInfo folder(QFileInfo(program).absolutePath());
        if (folder.isDir()) return folder.absoluteFilePath();
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

void MainFrame::openProgram() {
    if (!saveModified()) return;
    const QString path = desktop_.chooseFile(this, false, fileDialogFolder());
    if (path.isEmpty()) return;
    std::string why;
    if (doc_.openProgram(path.toStdString(), why)) {
        doc_.setPathName(path.toStdString());
        addToRecentFiles(path);
        doc_.program().notifyChanged(0);
    } else {
        // One message: the file and why it cannot be a program.
        messageBox(this, {kAppCaption,
                          QStringLiteral("Nie mogę otworzyć pliku %1:\n%2").arg(path, QString::fromStdString(why)),
                          QMessageBox::Warning});
    }
    updateTitle();
}

bool MainFrame::saveProgram(bool askName) {
    std::filesystem::path path = doc_.pathName;
    if (askName || path.empty()) {
        QString chosen =
            desktop_.chooseFile(this, true, path.empty() ? fileDialogFolder() : QString::fromStdString(path.string()));
        if (chosen.isEmpty()) return false;
        if (!chosen.endsWith(".dsk", Qt::CaseInsensitive)) chosen += ".dsk";
        path = chosen.toStdString();
    }
    if (!doc_.program().saveDocument(path)) {
        // The file and the system's reason, so the operator knows what to
        // change; the program stays open and editable.
        if (!doc_.program().failureText().empty())
            messageBox(this, {kAppCaption,
                              QStringLiteral("Nie mogę zapisać pliku %1: %2")
                                  .arg(QString::fromStdString(path.string()),
                                       QString::fromStdString(doc_.program().failureText())),
                              QMessageBox::Warning});
        return false;
    }
    doc_.setPathName(path);
    addToRecentFiles(QString::fromStdString(path.string()));
    return true;
}

void MainFrame::showAbout() {
    AboutDialog dialog(this);
    if (dialog.exec() == QDialog::Accepted) aboutClosed(dialog.typedCode());
}

void MainFrame::aboutClosed(const QString& typedCode) {
    if (typedCode == kServiceAccessCode) {
        emit serviceDialogRequested();
        runServiceDialog(doc_, this);
    } else
        desktop_.beep();
}

void MainFrame::minimizeToTray() {
    if (trayAvailable_)
        hideToTray();
    else
        showMinimized();
}

void MainFrame::hideToTray() {
    hiddenToTray_ = true;
    hide();
}

void MainFrame::restoreFromTray() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    showNormal();
    raise();
    activateWindow();
    setFocus();
    hiddenToTray_ = false;
}

bool MainFrame::trayActivated(QSystemTrayIcon::ActivationReason reason) {
    // A single click is what most desktops give an icon: it brings the
    // window back as the double click does.
    if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) {
        restoreFromTray();
        return false;
    }
    if (reason == QSystemTrayIcon::Context && hiddenToTray_) {
        desktop_.popUp(trayMenu_);
        return true;
    }
    return false;
}

void MainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // Without a tray the window stays an ordinary minimised window: hiding
    // it would leave no way back.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && trayAvailable_)
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) hideToTray();
        });
}

void MainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (initialUpdateDone_) return;
    initialUpdateDone_ = true;
    // Every view gets its initial update now, shown or not (the settings
    // form connects to the link server here); then the device panel is the
    // active view.
    emit firstShown();
    switchView(ViewKind::Device);
}

void MainFrame::closeEvent(QCloseEvent* event) {
    if (!exitConfirmed_) {
        const auto answer =
            messageBox(this, {kAppCaption, kExitQuestion, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No});
        if (answer != QMessageBox::Yes || !saveModified()) {
            event->ignore();
            return;
        }
        exitConfirmed_ = true;
    }
    // A change the operator sent is still on its way: the console ends
    // once it has arrived, or once the operator has been told it has not.
    if (sendPending()) {
        event->ignore();
        waitForSends();
        return;
    }
    // The icon goes only when the window really closes: a cancelled save
    // question leaves the program running with its icon.
    setTrayIcon(TrayOperation::Delete, kIconNormal);
    if (anyActive_) emit viewActivationChanged(active_, false);
    event->accept();
    emit closed();
}

void MainFrame::closeForSystem(const std::filesystem::path& unsavedFolder) {
    std::string why;
    if (!keepUnsavedProgram(doc_, unsavedFolder, why) && !why.empty())
        std::fprintf(stderr, "KT64mon: the unsaved program could not be kept: %s\n", why.c_str());
    exitConfirmed_ = true;
    close();
}

void MainFrame::showAlarms(bool raised) { setTrayIcon(TrayOperation::Modify, raised ? kIconAlarm : kIconNormal); }

void MainFrame::setSendPending(const QObject* view, bool pending) {
    if (pending) {
        sendsPending_.insert(view);
        return;
    }
    sendsPending_.erase(view);
    // The console was waiting for this one: it ends now (posted, as the
    // view is still in its answer).
    if (!sendPending() && sendWait_ && sendWait_->isVisible()) {
        sendWait_->hide();
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

void MainFrame::waitForSends() {
    if (!sendWait_) {
        // A busy bar without a cancel button: the wait ends by the calls'
        // own deadlines.
        sendWait_ = new QProgressDialog(kSendWaitText, QString(), 0, 0, this);
        sendWait_->setObjectName("sendWait");
        sendWait_->setWindowTitle(kAppCaption);
        sendWait_->setCancelButton(nullptr);
        sendWait_->setAutoReset(false);
        sendWait_->setMinimumDuration(0);
    }
    sendWait_->show();
}

}  // namespace kt64::console
