// The synchronisation views in the console's frame: the settings form makes
// the document's connection when the frame starts, the menu entries switch
// to the form and the log view and their timers follow, the relay outputs
// and the minimise-after-start reach the frame, and the access code opens
// the service dialog on the document's connection.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QtTest>

#include "SyncSettingsView.h"
#include "ConsoleRig.h"
#include "LogView.h"
#include "MainFrame.h"
#include "MessageBoxes.h"
#include "SyncSettings.h"

using namespace kt64;
using namespace kt64::console;
using namespace kt64::test;

class FramePlugTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ConsoleRig> rig_;
    ConsoleMessages programMessages_;
    std::vector<MessageBoxRequest> boxes_;
    std::unique_ptr<Kt64Document> doc_;
    std::unique_ptr<MainFrame> frame_;

    void make(bool openMin, bool tray) {
        auto key = ConsoleRig::clearedSettingsKey();
        key.setString("CompName", rig_->computer());
        key.setDword("OpenMin", openMin ? 1 : 0);
        doc_ = std::make_unique<Kt64Document>(programMessages_);
        QVERIFY(doc_->program().newDocument());
        frame_ = std::make_unique<MainFrame>(*doc_, MainFrame::Options{tray});
        frame_->show();
        QTRY_VERIFY_WITH_TIMEOUT(doc_->connected(), 20000);
    }

    SyncSettingsView* form() { return qobject_cast<SyncSettingsView*>(frame_->view(ViewKind::SyncSettings)); }
    LogView* log() { return qobject_cast<LogView*>(frame_->view(ViewKind::Log)); }

private slots:
    void initTestCase() { rig_ = std::make_unique<ConsoleRig>(); }
    void cleanupTestCase() { rig_.reset(); }
    void init() {
        boxes_.clear();
        setMessageBoxHandler([this](QWidget*, const MessageBoxRequest& r) {
            boxes_.push_back(r);
            return QMessageBox::Yes;
        });
    }
    void cleanup() {
        frame_.reset();
        doc_.reset();
        setMessageBoxHandler({});
    }

    void menuEntriesSwitchToTheViewsAndTheirTimers() {
        make(false, true);
        QVERIFY(form() && log());
        QCOMPARE(doc_->computerName, rig_->computer());
        QVERIFY(!form()->clockWaiting() && !form()->clockTicking());
        frame_->actions().syncSettingsView->trigger();
        QCOMPARE(frame_->activeView(), ViewKind::SyncSettings);
        QCOMPARE(frame_->viewStack()->currentWidget(), static_cast<QWidget*>(form()));
        QVERIFY(form()->clockWaiting());
        // The identity refresh after 21 ticks gives the frame its relay outputs.
        QTRY_COMPARE_WITH_TIMEOUT(frame_->relayOutputs(), 2, 20000);

        frame_->actions().logView->trigger();
        QCOMPARE(frame_->activeView(), ViewKind::Log);
        QVERIFY(log()->polling());
        QVERIFY(!form()->clockWaiting() && !form()->clockTicking());
        // No log yet: the open error is shown on the first tick.
        log()->poll();
        QVERIFY(!log()->toPlainText().isEmpty());
        QVERIFY(!doc_->program().isModified());

        frame_->switchView(ViewKind::Device);
        QVERIFY(!log()->polling());
        QVERIFY(boxes_.empty());
    }

    void savingTheSettingsSaysSoInTheStatusBar() {
        make(false, true);
        frame_->actions().syncSettingsView->trigger();
        QSignalSpy saved(form(), &SyncSettingsView::saveFinished);
        form()->save();
        QVERIFY(saved.count() == 1 || saved.wait(10000));
        QVERIFY(boxes_.empty());
        const QString pane = frame_->findChild<QLabel*>("paneMessage")->text();
        QVERIFY2(pane.startsWith("Ustawienia zapisano ("), qPrintable(pane));
    }

    void minimiseAfterStartWithoutTray() {
        make(true, false);
        QTRY_VERIFY_WITH_TIMEOUT(frame_->isMinimized(), 10000);
        QVERIFY(frame_->isVisible());
    }

    void minimiseAfterStartHidesToTheTray() {
        make(true, true);
        QTRY_VERIFY_WITH_TIMEOUT(!frame_->isVisible(), 10000);
    }

    void accessCodeOpensTheServiceDialogOnTheDocumentsConnection() {
        make(false, true);
        QString model, source;
        bool seen = false;
        QTimer closer;
        closer.setInterval(20);
        connect(&closer, &QTimer::timeout, [&] {
            auto* dialog = QApplication::activeModalWidget();
            if (!dialog || dialog->objectName() != "HiddenFunctionsDialog") return;
            seen = true;
            model = dialog->findChild<QLineEdit*>("modelEdit")->text();
            source = dialog->findChild<QComboBox*>("sourceCombo")->currentText();
            qobject_cast<QDialog*>(dialog)->reject();
        });
        closer.start();
        frame_->aboutClosed("Brovik");
        closer.stop();
        QString said;
        for (const auto& box : boxes_) said += box.caption + ": " + box.text + "\n";
        QVERIFY2(seen, qPrintable("no service dialog; boxes:\n" + said));
        QCOMPARE(model, QString("KT-64"));
        QCOMPARE(source, QString("GPS"));
        QVERIFY(boxes_.empty());
    }
};

QTEST_MAIN(FramePlugTest)
#include "FramePlugTest.moc"
