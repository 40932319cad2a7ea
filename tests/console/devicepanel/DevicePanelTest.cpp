// The device panel against a real link server on the emulated centre: it
// shows what the centre reports and follows its changes; what the operator
// sets reaches the centre; line toggles; GMT editing with communication
// suspended; manual setting; connection loss (killed and frozen server)
// and the recovery by itself.
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTimeEdit>
#include <QtTest>

#include "AlarmLamp.h"
#include "AnalogClock.h"
#include "CentreRig.h"
#include "ColorText.h"
#include "Kt64Doc.h"
#include "Kt64View.h"
#include "MainFrame.h"
#include "MessageBoxes.h"

using namespace kt64::console;
using kt64::console::test::CentreRig;
using kt64::console::test::ChildProcess;

namespace {

class RecordingFrame : public ConsoleFrame {
public:
    int RelayOutputs() const override { return relayOutputs; }
    void SetRelayOutputs(int outputs) override { relayOutputs = outputs; }
    void SetTrayIcon(TrayOperation, int iconId) override { trayIcons.push_back(iconId); }
    void ShowCounts(int, int) override {}
    void SwitchView(ViewKind) override {}
    ViewKind ActiveView() const override { return ViewKind::Device; }
    void MinimizeToTray() override {}
    void SetMessageText(const QString&) override {}

    int relayOutputs = 0;
    std::vector<int> trayIcons;
};

}  // namespace

class DevicePanelTest : public QObject {
    Q_OBJECT

    std::unique_ptr<CentreRig> rig;
    kt64::console::ConsoleMessages messages;
    std::unique_ptr<CKt64Doc> doc;
    RecordingFrame frame;
    std::unique_ptr<CKt64View> panel;
    std::vector<MessageBoxRequest> boxes;
    // The status line at the end of each poll, however briefly it stood.
    QStringList statuses;

    QString text(int id) { return panel->control<QLabel>(id)->text(); }
    QColor background(int id) { return panel->control<CColorText>(id)->background(); }
    bool enabled(int id) { return panel->control(id)->isEnabled(); }

    void connectDocument() {
        bool done = false;
        doc->ConnectServer(doc.get(), [&](kt64::HRESULT, const kt64::client::ServerError*) { done = true; });
        QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
        QVERIFY(doc->Connected());
    }

    // Waits for the next poll that shows the centre's values.
    bool nextGoodPoll() {
        QSignalSpy spy(panel.get(), &CKt64View::pollShown);
        for (int i = 0; i < 200; ++i) {
            if (!spy.wait(10000)) return false;
            if (spy.last().at(0).toBool()) return true;
        }
        return false;
    }
    // Waits until the link server has read the centre's change and a poll
    // has shown it.
    void afterCentreChange() {
        rig->settle();
        QVERIFY(nextGoodPoll());
        QVERIFY(nextGoodPoll());
    }
    void waitAction() {
        QSignalSpy spy(panel.get(), &CKt64View::actionFinished);
        QVERIFY(spy.wait(20000));
    }

private slots:
    void initTestCase() { rig = std::make_unique<CentreRig>(); }
    void cleanupTestCase() { rig.reset(); }

    void init() {
        boxes.clear();
        setMessageBoxHandler([this](QWidget*, const MessageBoxRequest& r) {
            boxes.push_back(r);
            return QMessageBox::Ok;
        });
        if (!rig->serverPid() || rig->serverPid() < 0) rig->startServer();
        for (const char* line : {"set offset +01:00", "set change off", "set analog on", "set digital on",
                                 "set digital-type full", "set alarm 0x81,0x00,0x00", "set source gps", "set relays 2",
                                 "set interface 232", "set gmt 2024-05-17 12:34:56"})
            rig->control(line);
        // A test that failed while the panel had the communication off.
        rig->lease().ComunicationEnable(1);
        rig->settle();
        CKt64View::resetProcessState();
        frame = RecordingFrame{};
        doc = std::make_unique<CKt64Doc>(messages);
        doc->ComputerName = rig->computer();
        doc->connectOptions().callTimeout = std::chrono::milliseconds(1500);
        doc->connectOptions().connectTimeout = std::chrono::milliseconds(1500);
        doc->setReconnectPeriod(std::chrono::milliseconds(100));
        connectDocument();
        panel = std::make_unique<CKt64View>(*doc, frame);
        panel->setPeriods({std::chrono::milliseconds(1), std::chrono::milliseconds(20), std::chrono::milliseconds(50)});
        panel->show();
        panel->OnInitialUpdate();
        panel->OnActivateView(true);
        statuses.clear();
        connect(panel.get(), &CKt64View::pollShown, this, [this] { statuses << text(1094); });
        QVERIFY(nextGoodPoll());
    }
    void cleanup() {
        // A test that failed with the server frozen leaves it awake.
        if (rig->server()) rig->continueSignal();
        panel.reset();
        doc.reset();
        setMessageBoxHandler({});
    }

    void showsWhatTheCentreReports() {
        QCOMPARE(text(1023), QString("12:34:56"));
        QCOMPARE(text(1024), QString("17/05/2024"));
        QCOMPARE(text(1022), QString("Piątek"));
        QCOMPARE(text(1027), QString("13:34:56"));
        QCOMPARE(text(1028), QString("17/05/2024"));
        QCOMPARE(text(1026), QString("Piątek"));
        QCOMPARE(text(1018), QString("+01:00"));
        QCOMPARE(text(1105), QString("Zmiana czasu wyłączona"));
        QCOMPARE(text(1099), QString("Załączona"));
        QCOMPARE(background(1099), QColor(0, 255, 0));
        QCOMPARE(text(1100), QString("Załączona"));
        QCOMPARE(text(1113), QString("g,m,s,d,m,r"));
        QCOMPARE(text(1094), QString("Brak błędu !"));
        QCOMPARE(background(1023), QColor(150, 255, 0));
        auto* gmt = panel->control<CAnalogClock>(1014);
        QCOMPARE(gmt->hour(), 0);
        QCOMPARE(gmt->minute(), 34);
        QCOMPARE(gmt->second(), 56);
        QCOMPARE(panel->control<CAnalogClock>(1020)->hour(), 1);
        // The first poll checks the build type: GPS, two relays.
        QCOMPARE(frame.relayOutputs, 2);
        QVERIFY(!panel->control(1097)->isHidden());
        QCOMPARE(text(1115), QString("Impulsy 1PPS"));
        for (int id : {1044, 1051, 1055}) QVERIFY(enabled(id));
        QCOMPARE(panel->control<QPushButton>(1051)->text(), QString("Stop LA"));
        QCOMPARE(panel->control<QPushButton>(1055)->text(), QString("Stop LC"));
    }

    void followsTheCentre_data() {
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<int>("control");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("negative offset") << QStringList{"set offset -01:00"} << 1018 << "-01:00" << QColor();
        QTest::newRow("half-hour offset") << QStringList{"set offset +05:30"} << 1018 << "+05:30" << QColor();
        QTest::newRow("analogue off") << QStringList{"set analog off"} << 1099 << "Wyłączona" << QColor(255, 255, 0);
        QTest::newRow("short circuit wins") << QStringList{"set alarm 0x81,0x00,0x01"} << 1099 << "Zwarta" << QColor(255, 0, 0);
        QTest::newRow("digital off") << QStringList{"set digital off"} << 1100 << "Wyłączona" << QColor(255, 255, 0);
        QTest::newRow("telegram h,m") << QStringList{"set digital-type hm"} << 1113 << "g,m" << QColor();
        QTest::newRow("telegram h,m,s") << QStringList{"set digital-type hms"} << 1113 << "g,m,s" << QColor();
        QTest::newRow("summer time") << QStringList{"set change on"} << 1105 << "Czas letni" << QColor();
        QTest::newRow("winter time") << QStringList{"set change on", "set gmt 2024-12-17 12:00"} << 1105 << "Czas zimowy"
                                     << QColor();
        QTest::newRow("date and weekday") << QStringList{"set gmt 2024-02-29 23:59:58"} << 1022 << "Czwartek" << QColor();
    }
    void followsTheCentre() {
        QFETCH(QStringList, commands);
        QFETCH(int, control);
        QFETCH(QString, expected);
        QFETCH(QColor, colour);
        for (const auto& c : commands) rig->control(c.toStdString());
        afterCentreChange();
        QCOMPARE(text(control), expected);
        if (colour.isValid()) QCOMPARE(background(control), colour);
    }

    void alarmsLightTheirLampsAndSwitchTheTrayIcon() {
        // Every alarm of byte 19: transmission and antenna are active low.
        rig->control("set alarm 0x4E,0x00,0x00");
        afterCentreChange();
        for (int id : {1097, 1030, 1031, 1032, 1057, 1098}) QVERIFY2(panel->control<CAlarmLamp>(id)->lit(), qPrintable(QString::number(id)));
        QVERIFY(!panel->control<CAlarmLamp>(1056)->lit());
        QCOMPARE(frame.trayIcons, std::vector<int>{kIconAlarm});
        rig->control("set alarm 0x81,0x00,0x00");
        afterCentreChange();
        for (int id : {1097, 1030, 1031, 1032, 1057, 1056, 1098}) QVERIFY(!panel->control<CAlarmLamp>(id)->lit());
        QCOMPARE(frame.trayIcons, (std::vector<int>{kIconAlarm, kIconNormal}));
    }

    void buildTypeLaysOutTheAlarmRows() {
        // KT-64/RS/2/485: transmission row shown, antenna row hidden.
        rig->control("set source rs");
        rig->control("set relays 1");
        rig->control("set interface 485");
        rig->settle();
        QTRY_COMPARE_WITH_TIMEOUT(frame.relayOutputs, 1, 20000);
        QVERIFY(panel->control(1115)->isHidden());
        QVERIFY(panel->control(1057)->isHidden());
        QVERIFY(!panel->control(1116)->isHidden());
        QVERIFY(!panel->control(1163)->isHidden());
        rig->control("set source dcf");
        rig->control("set relays 0");
        rig->settle();
        QTRY_COMPARE_WITH_TIMEOUT(frame.relayOutputs, 0, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!panel->control(1115)->isHidden(), 20000);
        QCOMPARE(text(1115), QString("Brak anteny"));
        QVERIFY(panel->control(1116)->isHidden());
    }

    void localSettingsReachTheCentre() {
        // -1 hour, first Sunday of April at 4 to the third of September at 5,
        // automatic change off, telegram h,m,s.
        panel->OnToggleSign();
        panel->control<QTimeEdit>(1043)->setTime(QTime(1, 0));
        panel->control<QComboBox>(1089)->setCurrentIndex(1);
        panel->control<QComboBox>(1104)->setCurrentIndex(3);
        panel->control<QComboBox>(1090)->setCurrentIndex(3);
        panel->control<QComboBox>(1084)->setCurrentIndex(8);
        panel->control<QLineEdit>(1039)->setText("4");
        panel->control<QCheckBox>(1096)->setChecked(false);
        panel->control<QComboBox>(1117)->setCurrentIndex(1);
        panel->OnSend();
        waitAction();
        QVERIFY(boxes.empty());
        QTRY_COMPARE_WITH_TIMEOUT(int(rig->centre().view().settings.digitalType), 0x11, 20000);
        const auto s = rig->centre().view().settings;
        QCOMPARE(s.offsetMinutes, -60);
        QCOMPARE(s.changeOn, false);
        QCOMPARE(s.winterToSummer.key, 1);
        QCOMPARE(s.winterToSummer.month, 4);
        QCOMPARE(s.winterToSummer.hour, 4);
        QCOMPARE(s.summerToWinter.key, 3);
        QCOMPARE(s.summerToWinter.month, 9);
        QCOMPARE(s.summerToWinter.hour, 5);
        afterCentreChange();
        QCOMPARE(text(1018), QString("-01:00"));
    }

    void polishRuleSendsMarchAndOctober() {
        rig->control("set to-summer 2,4,5");
        rig->control("set to-winter 1,11,6");
        panel->OnPolishRule();
        QCOMPARE(panel->control<QComboBox>(1104)->currentText(), QString("Marca"));
        QCOMPARE(panel->control<QComboBox>(1084)->currentText(), QString("Października"));
        QCOMPARE(text(1103), QString("3"));
        panel->OnSend();
        waitAction();
        QTRY_COMPARE_WITH_TIMEOUT(rig->centre().view().settings.winterToSummer, (kt64::sim::ChangeRule{0, 3, 2}), 20000);
        const auto s = rig->centre().view().settings;
        QCOMPARE(s.summerToWinter, (kt64::sim::ChangeRule{0, 10, 3}));
        QVERIFY(s.changeOn);
    }

    void negativeOffsetComesBackIntoTheEditorWhenForced() {
        rig->control("set offset -01:00");
        rig->settle();
        panel->OnSelectLocal();  // local selection forces the settings refresh
        waitAction();
        QCOMPARE(text(1052), QString("-"));
        QVERIFY(!panel->offsetPositive());
        QCOMPARE(panel->control<QTimeEdit>(1043)->time(), QTime(1, 0));
    }

    void lineTogglesReachTheCentreAndWaitForThePoll() {
        panel->OnToggleLC();
        waitAction();
        QVERIFY(!enabled(1055));
        QVERIFY(!enabled(1051));
        QTRY_VERIFY_WITH_TIMEOUT(!rig->centre().view().settings.digitalOn, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(panel->control<QPushButton>(1055)->text(), QString("Start LC"), 20000);
        QVERIFY(enabled(1055));
        panel->OnToggleLA();
        waitAction();
        QTRY_VERIFY_WITH_TIMEOUT(!rig->centre().view().settings.analogOn, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(panel->control<QPushButton>(1051)->text(), QString("Start LA"), 20000);
        // LA stopped in local editing: the control clock can be set.
        QVERIFY(enabled(1048));
        panel->control<QTimeEdit>(1048)->setTime(QTime(7, 45));
        panel->OnSend();
        waitAction();
        QTRY_COMPARE_WITH_TIMEOUT(rig->centre().view().lineMinutes, 7 * 60 + 45, 20000);
    }

    void gmtEditingSuspendsCommunicationUntilTheTimeIsSent() {
        panel->OnSelectGmt();
        waitAction();
        QVERIFY(panel->communicationSuspended());
        QVERIFY(!panel->control(1093)->isHidden());
        QVERIFY(panel->control(1054)->isHidden());
        QCOMPARE(background(1015), QColor(255, 255, 0));
        // While suspended, polls show the server's own description.
        QSignalSpy spy(panel.get(), &CKt64View::pollShown);
        QTRY_VERIFY_WITH_TIMEOUT(text(1023) == "xx:xx:xx", 20000);
        QVERIFY(text(1094) != "Brak błędu !");
        QVERIFY(text(1094) != "Nie można pobrać błędu z serwera DCOM !");
        QVERIFY(doc->Connected());
        QCOMPARE(background(1099), QColor(0, 0, 255));
        QCOMPARE(text(1018), QString("xx:xx"));
        // GMT editing leaves the send button usable.
        QVERIFY(enabled(1044));
        panel->control<QDateEdit>(1036)->setDate(QDate(2025, 1, 2));
        panel->control<QTimeEdit>(1048)->setTime(QTime(3, 4, 5));
        panel->OnSend();
        waitAction();
        QVERIFY(!panel->communicationSuspended());
        QVERIFY(panel->control(1093)->isHidden());
        QVERIFY(nextGoodPoll());
        QCOMPARE(text(1024), QString("02/01/2025"));
        QVERIFY(text(1023).startsWith("03:04:0"));
    }

    // "Czas LOK" clicked before the answer to the GMT switch: the
    // communication comes back all the same.
    void localBeforeTheGmtAnswerResumesCommunication() {
        panel->OnSelectGmt();
        panel->OnSelectLocal();
        QTRY_VERIFY_WITH_TIMEOUT(!panel->communicationSuspended() && nextGoodPoll(), 20000);
        QCOMPARE(text(1094), QString("Brak błędu !"));
        QVERIFY(panel->control(1093)->isHidden());
    }

    // While a send or a line toggle is out, its buttons show that it waits.
    void actionsWaitWithTheirButtonsDisabled_data() {
        QTest::addColumn<int>("button");
        QTest::newRow("send") << 1044;
        QTest::newRow("LA") << 1051;
        QTest::newRow("LC") << 1055;
    }
    void actionsWaitWithTheirButtonsDisabled() {
        QFETCH(int, button);
        QVERIFY(enabled(button));
        panel->control<QPushButton>(button)->click();
        for (int id : {1044, 1051, 1055}) QVERIFY2(!enabled(id), qPrintable(QString::number(id)));
        QCOMPARE(panel->cursor().shape(), Qt::BusyCursor);
        waitAction();
        QVERIFY(boxes.empty());
        QCOMPARE(panel->cursor().shape(), Qt::ArrowCursor);
        // A send gives its button back; a toggle waits for the poll to see
        // the line's new state (which also leaves nothing queued behind).
        QVERIFY(enabled(1044));
        QTRY_VERIFY_WITH_TIMEOUT(enabled(button), 20000);
    }

    // LA runs before and after; it may stop while the centre is set by hand.
    void manualSettingLocksTheEditorAndReleasesItToLocal_data() {
        QTest::addColumn<bool>("laStopsMeanwhile");
        QTest::newRow("LA running") << false;
        QTest::newRow("LA stopped meanwhile") << true;
    }
    void manualSettingLocksTheEditorAndReleasesItToLocal() {
        QFETCH(bool, laStopsMeanwhile);
        panel->OnSelectGmt();
        waitAction();
        panel->OnSelectLocal();
        waitAction();
        // The first good poll after the suspension and the manual setting
        // may coincide: the editor must stay locked either way.
        rig->control("set alarm 0x81,0x40,0x00");
        if (laStopsMeanwhile) rig->control("set analog off");
        afterCentreChange();
        for (int id : {1043, 1036, 1048, 1104, 1084, 1089, 1090, 1039, 1096, 1044, 1117})
            QVERIFY2(!enabled(id), qPrintable(QString::number(id)));
        QVERIFY(panel->control<CAlarmLamp>(1056)->lit());
        rig->control("set alarm 0x81,0x00,0x00");
        rig->control("set analog on");
        afterCentreChange();
        for (int id : {1043, 1036, 1104, 1084, 1089, 1090, 1039, 1096, 1044, 1117})
            QVERIFY2(enabled(id), qPrintable(QString::number(id)));
        QCOMPARE(panel->editMode(), CKt64View::kEditLocal);
        // LA runs: its clock cannot be set.
        QVERIFY(!enabled(1048));
    }

    // A killed server: placeholders and the loss, then the document
    // connects again by itself; once a server can be started on demand
    // (here: registered again) the panel shows the centre without help.
    void aKilledServerComesBackByItself() {
        ChildProcess("VqSrvKt64", {"-UnregServer"}, {}).wait(std::chrono::seconds(20));
        rig->killServer();
        QTRY_VERIFY_WITH_TIMEOUT(statuses.contains("Nie można pobrać błędu z serwera DCOM !"), 20000);
        QVERIFY(!doc->Connected());
        QCOMPARE(text(1023), QString("xx:xx:xx"));
        QCOMPARE(text(1024), QString("xx/xx/xxxx"));
        QCOMPARE(text(1022), QString("--------"));
        QCOMPARE(text(1105), QString("--------"));
        QCOMPARE(text(1099), QString("--------"));
        QCOMPARE(background(1100), QColor(0, 0, 255));
        QCOMPARE(text(1113), QString("----"));
        for (int id : {1051, 1055, 1044}) QVERIFY(!enabled(id));
        QTRY_COMPARE_WITH_TIMEOUT(text(1094), kReconnectingText, 20000);
        ChildProcess("VqSrvKt64", {"-RegServer"}, {}).wait(std::chrono::seconds(20));
        QVERIFY(nextGoodPoll());
        QCOMPARE(text(1023), QString("12:34:56"));
        for (int id : {1051, 1055, 1044}) QVERIFY(enabled(id));
        QCOMPARE(text(1094), QString("Brak błędu !"));
        QCOMPARE(rig->onDemandServers().size(), std::size_t(1));
    }

    // A frozen server: the loss, then the same server is taken up again
    // when it wakes, before it could end for want of a client.
    void aFrozenServerIsTakenUpAgainWhenItWakes() {
        rig->stopSignal();
        QTRY_VERIFY_WITH_TIMEOUT(statuses.contains("Nie można pobrać błędu z serwera DCOM !"), 30000);
        QVERIFY(!doc->Connected());
        QTRY_COMPARE_WITH_TIMEOUT(text(1094), kReconnectingText, 20000);
        rig->continueSignal();
        QVERIFY(nextGoodPoll());
        QCOMPARE(text(1094), QString("Brak błędu !"));
        QVERIFY(doc->Server()->leaseHeld());
        QVERIFY(rig->server()->running());
        QVERIFY(rig->onDemandServers().empty());
    }

    // The bell program's calls (relay outputs, transfers) go through the
    // document's link, not the panel: one that finds the server dead starts
    // the reconnect as well, with no panel polling.
    void aProgramCallFindingTheServerDeadStartsTheReconnect() {
        panel->OnActivateView(false);
        ChildProcess("VqSrvKt64", {"-UnregServer"}, {}).wait(std::chrono::seconds(20));
        rig->killServer();
        auto link = doc->centreLink();
        QVERIFY_THROWS_EXCEPTION(kt64::program::LinkError, link->BuildType());
        QTRY_VERIFY_WITH_TIMEOUT(doc->Reconnecting(), 5000);
        QVERIFY(!doc->Connected());
        ChildProcess("VqSrvKt64", {"-RegServer"}, {}).wait(std::chrono::seconds(20));
        QTRY_VERIFY_WITH_TIMEOUT(doc->Connected(), 20000);
    }

    void aFailedSendShowsTheErrorBox() {
        rig->killServer();
        panel->OnToggleLC();
        waitAction();
        QCOMPARE(boxes.size(), std::size_t(1));
        QCOMPARE(boxes[0].caption, QString("Błąd!"));
        QCOMPARE(boxes[0].icon, QMessageBox::Critical);
        QCOMPARE(boxes[0].text, QString("Nie można pobrać błędu z serwera DCOM !"));
    }

    void inTheFrameThePanelEnablesTransfersAndSwitchesTheTrayIcon() {
        panel.reset();
        CKt64View::resetProcessState();
        CMainFrame main(*doc, CMainFrame::Options{true});
        auto* view = dynamic_cast<CKt64View*>(main.view(ViewKind::Device));
        QVERIFY(view);
        view->setPeriods({std::chrono::milliseconds(1), std::chrono::milliseconds(20), std::chrono::milliseconds(50)});
        main.show();
        QTRY_COMPARE_WITH_TIMEOUT(main.RelayOutputs(), 2, 20000);
        main.SwitchView(ViewKind::Rozk);
        QVERIFY(main.action(command::kSendProgram)->isEnabled());
        QVERIFY(main.action(command::kReceiveProgram)->isEnabled());
        // Away from the panel nothing polls; back on it, alarms reach the tray.
        QVERIFY(!view->pollTimer().isActive());
        rig->control("set alarm 0x4E,0x00,0x00");
        rig->settle();
        QCOMPARE(main.trayIconId(), kIconNormal);
        main.SwitchView(ViewKind::Device);
        QTRY_COMPARE_WITH_TIMEOUT(main.trayIconId(), kIconAlarm, 20000);
        rig->control("set alarm 0x81,0x00,0x00");
        QTRY_COMPARE_WITH_TIMEOUT(main.trayIconId(), kIconNormal, 20000);
        boxes.clear();
        setMessageBoxHandler([](QWidget*, const MessageBoxRequest&) { return QMessageBox::Yes; });
        QVERIFY(main.close());
    }

    // The exit while a send is on its way to a frozen server: the window
    // waits, visibly, until the send has failed and the operator was told.
    void closingWaitsForASendAndSaysWhenItFailed() {
        panel.reset();
        CKt64View::resetProcessState();
        CMainFrame main(*doc, CMainFrame::Options{true});
        auto* view = dynamic_cast<CKt64View*>(main.view(ViewKind::Device));
        view->setPeriods({std::chrono::milliseconds(1), std::chrono::milliseconds(20), std::chrono::milliseconds(50)});
        main.show();
        QTRY_VERIFY_WITH_TIMEOUT(view->control(1044)->isEnabled(), 20000);
        std::vector<std::pair<QString, bool>> asked;  // text, window still shown
        setMessageBoxHandler([&](QWidget*, const MessageBoxRequest& r) {
            asked.emplace_back(r.text, main.isVisible());
            return QMessageBox::Yes;
        });
        QSignalSpy closed(&main, &CMainFrame::closed);
        rig->stopSignal();
        view->OnSend();
        QVERIFY(!main.close());
        QVERIFY(main.isVisible());
        QVERIFY(main.findChild<QWidget*>("sendWait")->isVisible());
        QVERIFY(closed.wait(20000));
        rig->continueSignal();
        QVERIFY(!main.isVisible());
        const auto told = std::find_if(asked.begin(), asked.end(), [](const auto& a) {
            return a.first == "Nie można pobrać błędu z serwera DCOM !";
        });
        QVERIFY(told != asked.end());
        QVERIFY(told->second);
    }

    void changeHourIsClampedAndTheSpinStaysInRange() {
        {
            // Before any of the centre's values came in, the spin is in
            // step with the edit's 2.
            CKt64View::resetProcessState();
            CKt64View fresh(*doc, frame);
            fresh.OnInitialUpdate();
            fresh.control<QSpinBox>(1040)->stepUp();
            QCOMPARE(fresh.control<QLineEdit>(1039)->text(), QString("3"));
            QCOMPARE(fresh.control<QLabel>(1103)->text(), QString("4"));
        }
        auto* edit = panel->control<QLineEdit>(1039);
        auto* spin = panel->control<QSpinBox>(1040);
        spin->stepUp();
        QCOMPARE(edit->text(), QString("3"));
        QCOMPARE(text(1103), QString("4"));
        // Letters never get in; an edit left empty sends the hour it showed.
        rig->control("set to-summer 0,3,6");
        rig->control("set to-winter 0,10,7");
        edit->clear();
        QTest::keyClicks(edit, "ab");
        QCOMPARE(edit->text(), QString());
        panel->OnSend();
        waitAction();
        QTRY_COMPARE_WITH_TIMEOUT(rig->centre().view().settings.winterToSummer.hour, 3, 20000);
        QCOMPARE(rig->centre().view().settings.summerToWinter.hour, 4);
        edit->clear();
        QTest::keyClicks(edit, "12");
        QCOMPARE(edit->text(), QString("8"));
        QCOMPARE(text(1103), QString("9"));
        QCOMPARE(spin->minimum(), 0);
        QCOMPARE(spin->maximum(), 8);
        spin->setValue(3);
        QCOMPARE(edit->text(), QString("3"));
        QCOMPARE(text(1103), QString("4"));
        spin->stepUp();
        spin->setValue(spin->value() + 10);
        QCOMPARE(edit->text(), QString("8"));
        // The Sunday boxes take only their entries: typed text that names none
        // falls back to the selected entry.
        auto* sunday = panel->control<QComboBox>(1089);
        sunday->setCurrentIndex(2);
        sunday->setEditText("7");
        QMetaObject::invokeMethod(sunday->lineEdit(), "editingFinished");
        QCOMPARE(sunday->currentIndex(), 2);
        QCOMPARE(sunday->currentText(), QString("2"));
    }

    void deactivationStopsPolling() {
        panel->OnActivateView(false);
        QVERIFY(!panel->pollTimer().isActive());
        QVERIFY(!panel->startupTimer().isActive());
    }
};

QTEST_MAIN(DevicePanelTest)
#include "DevicePanelTest.moc"
