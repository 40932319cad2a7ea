// Renders every view and dialog of the console against the emulated centre
// into PNG files, for reviewers without a display:
//   console_screenshots OUTPUT_FOLDER     (run by scripts/screenshots)
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTimer>

#include <cstdio>

#include "AboutDlg.h"
#include "CentreRig.h"
#include "ConsoleApp.h"
#include "Kt64Doc.h"
#include "Kt64View.h"
#include "MainFrame.h"
#include "MessageBoxes.h"
#include "ScheduleScreenshots.h"

using namespace kt64::console;

namespace {

QString folder;

void save(QWidget* w, const QString& name) {
    QCoreApplication::processEvents();
    const QString path = folder + "/" + name + ".png";
    if (!w->grab().save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    else std::printf("%s\n", qPrintable(path));
}

bool waitPolls(CKt64View* panel, int good) {
    QSignalSpy spy(panel, &CKt64View::pollShown);
    int seen = 0;
    while (seen < good) {
        if (!spy.wait(20000)) return false;
        if (spy.last().at(0).toBool()) ++seen;
    }
    return true;
}

void saveBox(const QString& caption, const QString& text, QMessageBox::Icon icon, QMessageBox::StandardButtons buttons,
             const QString& name) {
    QMessageBox box(icon, caption, text, buttons);
    box.show();
    save(&box, name);
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

    test::CentreRig rig;
    rig.control("set alarm 0x81,0x00,0x00");
    rig.settle();
    ConsoleMessages messages;
    CKt64Doc doc(messages);
    doc.ComputerName = rig.computer();
    QEventLoop loop;
    doc.ConnectServer(&doc, [&](kt64::HRESULT, const kt64::client::ServerError*) { loop.quit(); });
    loop.exec();
    if (!doc.Connected()) {
        std::fprintf(stderr, "no link server\n");
        return 1;
    }
    doc.Program().NewDocument();
    CMainFrame frame(doc, CMainFrame::Options{false});
    auto* panel = dynamic_cast<CKt64View*>(frame.view(ViewKind::Device));
    panel->setPeriods({std::chrono::milliseconds(10), std::chrono::milliseconds(100), std::chrono::milliseconds(100)});
    frame.show();
    if (!panel || !waitPolls(panel, 12)) {
        std::fprintf(stderr, "the device panel shows no poll\n");
        return 1;
    }
    save(&frame, "frame-device-panel");

    rig.control("set alarm 0x4E,0x40,0x01");
    rig.control("set analog off");
    rig.settle();
    waitPolls(panel, 3);
    save(&frame, "frame-device-panel-alarms-manual-setting");
    rig.control("set alarm 0x81,0x00,0x00");
    rig.control("set analog on");
    rig.settle();
    waitPolls(panel, 3);

    panel->OnSelectGmt();
    QSignalSpy failed(panel, &CKt64View::pollShown);
    failed.wait(5000);
    failed.wait(5000);
    save(&frame, "frame-device-panel-gmt-editing");
    panel->OnSelectLocal();
    waitPolls(panel, 2);

    frame.SwitchView(ViewKind::Block);
    frame.ShowCounts(12, 250);
    save(&frame, "frame-schedule-views");
    saveScheduleScreenshots(frame, doc, save);
    frame.SwitchView(ViewKind::Conf);
    save(&frame, "frame-conf-view");
    frame.SwitchView(ViewKind::Log);
    save(&frame, "frame-log-view");
    frame.SwitchView(ViewKind::Device);

    rig.killServer();
    QSignalSpy lost(panel, &CKt64View::pollShown);
    for (int i = 0; i < 50 && doc.Connected(); ++i) lost.wait(500);
    save(&frame, "frame-device-panel-connection-lost");

    CAboutDlg about(&frame);
    about.show();
    save(&about, "dialog-about");
    about.revealCodeField();
    save(&about, "dialog-about-code-field");
    about.hide();

    saveBox(kAppCaption, kExitQuestion, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, "message-exit-question");
    saveBox(kAppCaption, QString::fromUtf8(kSecondInstanceText), QMessageBox::NoIcon, QMessageBox::Ok,
            "message-second-instance");
    saveBox(kErrorCaption, QStringLiteral("Nie można pobrać błędu z serwera DCOM !"), QMessageBox::Critical,
            QMessageBox::Ok, "message-server-error");

    setMessageBoxHandler([](QWidget*, const MessageBoxRequest&) { return QMessageBox::Yes; });
    frame.close();
    return 0;
}
