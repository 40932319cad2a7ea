// Renders every view and dialog of the console against the emulated centre
// into PNG files, for reviewers without a display:
//   console_screenshots OUTPUT_FOLDER     (run by scripts/screenshots)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTimer>

#include <cstdio>

#include <fstream>

#include "AboutDialog.h"
#include "CentreRig.h"
#include "ComputerPickerDialog.h"
#include "SyncSettingsView.h"
#include "ConsoleApp.h"
#include "HiddenFunctionsDialog.h"
#include "Kt64Document.h"
#include "DevicePanel.h"
#include "LogView.h"
#include "MainFrame.h"
#include "MessageBoxes.h"
#include "SyncHelpDialog.h"
#include "Registry.h"
#include "ScheduleScreenshots.h"
#include "SyncLog.h"
#include "UnsavedProgram.h"

using namespace kt64::console;

namespace {

QString folder;

void save(QWidget* w, const QString& name) {
    QCoreApplication::processEvents();
    const QString path = folder + "/" + name + ".png";
    if (!w->grab().save(path))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

bool waitPolls(DevicePanel* panel, int good) {
    QSignalSpy spy(panel, &DevicePanel::pollShown);
    int seen = 0;
    while (seen < good) {
        if (!spy.wait(20000)) return false;
        if (spy.last().at(0).toBool()) ++seen;
    }
    return true;
}

// Waits, with the event loop running, until done() or the limit.
template <class Done>
bool waitFor(Done done, int limitMs = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > limitMs) return false;
        QTest::qWait(20);
    }
    return true;
}

// Two computers announcing the link server, as the picker lists them.
class ShownNetwork final : public ComputerBrowser {
public:
    explicit ShownNetwork(bool any) : any_(any) {}
    std::vector<std::string> domains() override {
        if (!any_) return {};
        return {"local"};
    }
    std::vector<BrowsedComputer> computers(const std::string& domain) override {
        return {{"PORTIERNIA", domain, 6464}, {"SZKOLA", domain, 6464}};
    }

private:
    bool any_;
};

void saveBox(const QString& caption, const QString& text, QMessageBox::Icon icon, QMessageBox::StandardButtons buttons,
             const QString& name) {
    const auto box = makeMessageBox(nullptr, {caption, text, icon, buttons});
    box->show();
    save(box.get(), name);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: console_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);

    kt64::test::CentreRig rig;
    rig.control("set alarm 0x81,0x00,0x00");
    rig.settle();
    ConsoleMessages messages;
    Kt64Document doc(messages);
    // The settings form connects the console at start-up, to the computer
    // named in the settings.
    kt64::reg::Key::create(kt64::reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Prog")
        .setString("CompName", rig.computer());
    doc.program().newDocument();
    MainFrame frame(doc, MainFrame::Options{false});
    auto* panel = dynamic_cast<DevicePanel*>(frame.view(ViewKind::Device));
    panel->setPeriods({std::chrono::milliseconds(10), std::chrono::milliseconds(100), std::chrono::milliseconds(100)});
    frame.show();
    if (!waitFor([&] { return doc.connected(); })) {
        std::fprintf(stderr, "no link server\n");
        return 1;
    }
    if (!panel || !waitPolls(panel, 12)) {
        std::fprintf(stderr, "the device panel shows no poll\n");
        return 1;
    }
    save(&frame, "frame-device-panel");

    rig.control("set alarm 0x4E,0x40,0x01");
    rig.control("set analog off");
    rig.control("set change off");
    rig.settle();
    waitPolls(panel, 3);
    save(&frame, "frame-device-panel-alarms-manual-setting");
    rig.control("set alarm 0x81,0x00,0x00");
    rig.control("set analog on");
    rig.control("set change on");
    rig.settle();
    waitPolls(panel, 3);

    panel->selectGmt();
    QSignalSpy failed(panel, &DevicePanel::pollShown);
    failed.wait(5000);
    failed.wait(5000);
    save(&frame, "frame-device-panel-gmt-editing");
    panel->selectLocal();
    waitPolls(panel, 2);

    frame.switchView(ViewKind::ProgramTree);
    frame.showCounts(12, 250);
    save(&frame, "frame-schedule-views");
    saveScheduleScreenshots(frame, doc, save);
    frame.switchView(ViewKind::SyncSettings);
    auto* form = frame.view(ViewKind::SyncSettings);
    // The clocks start 2 s after the switch; the identity on the 21st tick.
    waitFor([&] { return form->findChild<QLabel*>("buildTypeLabel")->text() != "KT-64/xxx/x/xxx"; });
    save(&frame, "frame-sync-settings-view");
    {
        const auto log = kt64::sync::syncLogPath();
        std::filesystem::create_directories(log.parent_path());
        std::ofstream(log, std::ios::binary)
            << "2007-02-16 02:00:00 Usługa synchronizacji czasu uruchomiona.\r\n"
               "2007-02-16 02:00:05 Synchronizację czasu przeprowadzono pomyślnie.\r\n"
               "2007-02-17 02:00:04 Synchronizację czasu przeprowadzono pomyślnie.\r\n"
               "2007-02-18 02:00:06 Synchronizację czasu przeprowadzono pomyślnie.\r\n";
    }
    frame.switchView(ViewKind::Log);
    dynamic_cast<LogView*>(frame.view(ViewKind::Log))->poll();
    save(&frame, "frame-log-view");
    frame.switchView(ViewKind::Device);

    {
        SyncHelpDialog help(&frame);
        help.show();
        save(&help, "dialog-pomoc-synchro");
    }
    for (bool any : {true, false}) {
        // Message boxes are answered, not shown, while the picker loads.
        setMessageBoxHandler([](QWidget*, const MessageBoxRequest&) { return QMessageBox::Ok; });
        ComputerPickerDialog picker(std::make_shared<ShownNetwork>(any), doc.workers(), 6464, defaultFormMessages(),
                                    &frame);
        QSignalSpy domains(&picker, &ComputerPickerDialog::domainsShown);
        QSignalSpy computers(&picker, &ComputerPickerDialog::computersShown);
        picker.load();
        picker.show();
        domains.wait(10000);
        if (any) computers.wait(10000);
        save(&picker, any ? "dialog-wybierz-komputer" : "dialog-wybierz-komputer-no-domains");
        setMessageBoxHandler({});
    }
    {
        ServerSession session(doc);
        HiddenFunctionsDialog hidden(session, defaultFormMessages(), &frame);
        QSignalSpy loaded(&hidden, &HiddenFunctionsDialog::loaded);
        hidden.load();
        loaded.wait(10000);
        hidden.show();
        save(&hidden, "dialog-hidden-func");
    }

    // Killed, and (unregistered) not to be started again: the panel says
    // that the console is connecting again.
    kt64::test::ChildProcess("VqSrvKt64", {"-UnregServer"}, {}).wait(std::chrono::seconds(20));
    rig.killServer();
    waitFor([&] { return panel->findChild<QLabel*>("serverStatusLabel")->text() == kReconnectingText; });
    save(&frame, "frame-device-panel-connection-lost");
    frame.switchView(ViewKind::SyncSettings);
    waitFor([&] { return frame.findChild<QLabel*>("serverStatusLabel")->text() == kReconnectingText; });
    save(&frame, "frame-sync-settings-view-connection-lost");
    frame.switchView(ViewKind::Device);

    AboutDialog about(&frame);
    about.show();
    save(&about, "dialog-about");
    about.revealCodeField();
    save(&about, "dialog-about-code-field");
    about.hide();

    saveBox(kAppCaption, kExitQuestion, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
            "message-exit-question");
    saveBox(kAppCaption, QString::fromUtf8(kSecondInstanceText), QMessageBox::NoIcon, QMessageBox::Ok,
            "message-second-instance");
    saveBox(kErrorCaption, QStringLiteral("Nie można pobrać błędu z serwera DCOM !"), QMessageBox::Critical,
            QMessageBox::Ok, "message-server-error");
    saveBox(kAppCaption, QString::fromUtf8(kUnsavedRestoredText).arg(QStringLiteral("szkola.dsk")),
            QMessageBox::Information, QMessageBox::Ok, "message-unsaved-restored");

    setMessageBoxHandler([](QWidget*, const MessageBoxRequest&) { return QMessageBox::Yes; });
    frame.close();
    return 0;
}
