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

#include <set>
#include <string>

#include "AlarmLamp.h"
#include "AnalogClock.h"
#include "CentreRig.h"
#include "ColorText.h"
#include "ControlTooltips.h"
#include "Kt64Document.h"
#include "DevicePanel.h"
#include "MainFrame.h"
#include "MessageBoxes.h"

using namespace kt64::console;
using kt64::test::CentreRig;
using kt64::test::ChildProcess;

namespace {

// What the panel tells the frame, as the frame would show it.
struct RecordingFrame {
    void follow(DevicePanel& panel) {
        QObject::connect(&panel, &DevicePanel::relayOutputsChanged, &panel,
                         [this](int outputs) { relayOutputs = outputs; });
        QObject::connect(&panel, &DevicePanel::alarmsChanged, &panel,
                         [this](bool raised) { trayIcons.push_back(raised ? kIconAlarm : kIconNormal); });
    }

    int relayOutputs = 0;
    std::vector<int> trayIcons;
};

}  // namespace

class DevicePanelTest : public QObject {
    Q_OBJECT

    std::unique_ptr<CentreRig> rig;
    kt64::console::ConsoleMessages messages;
    std::unique_ptr<Kt64Document> doc;
    RecordingFrame frame;
    std::unique_ptr<DevicePanel> panel;
    std::vector<MessageBoxRequest> boxes;
    // The status line at the end of each poll, however briefly it stood.
    QStringList statuses;

    QString text(const QString& name) { return panel->findChild<QLabel*>(name)->text(); }
    QColor background(const QString& name) { return panel->findChild<ColorText*>(name)->background(); }
    bool enabled(const QString& name) { return panel->findChild<QWidget*>(name)->isEnabled(); }

    void connectDocument() {
        bool done = false;
        doc->connectServer(doc.get(), [&](kt64::HRESULT, const kt64::client::ServerError*) { done = true; });
        QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
        QVERIFY(doc->connected());
    }

    // Waits for the next poll that shows the centre's values.
    bool nextGoodPoll() {
        QSignalSpy spy(panel.get(), &DevicePanel::pollShown);
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
    // Returns as everything the operator started has been answered (a
    // refresh still out from before included), before a later poll.
    void waitAction() {
        QSignalSpy spy(panel.get(), &DevicePanel::settled);
        if (panel->busy()) QVERIFY(spy.wait(20000));
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
        frame = RecordingFrame{};
        doc = std::make_unique<Kt64Document>(messages);
        doc->computerName = rig->computer();
        doc->connectOptions().callTimeout = std::chrono::milliseconds(1500);
        doc->connectOptions().connectTimeout = std::chrono::milliseconds(1500);
        doc->setReconnectPeriod(std::chrono::milliseconds(100));
        connectDocument();
        panel = std::make_unique<DevicePanel>(*doc);
        frame.follow(*panel);
        panel->setPeriods({std::chrono::milliseconds(1), std::chrono::milliseconds(20), std::chrono::milliseconds(50)});
        panel->show();
        panel->initialUpdate();
        panel->setActive(true);
        statuses.clear();
        connect(panel.get(), &DevicePanel::pollShown, this, [this] { statuses << text("serverStatusLabel"); });
        QVERIFY(nextGoodPoll());
        waitAction();  // the start-up refresh, so that a test's action ends alone
    }
    void cleanup() {
        // A test that failed with the server frozen leaves it awake.
        if (rig->server()) rig->continueSignal();
        panel.reset();
        doc.reset();
        setMessageBoxHandler({});
    }

    // Each tooltip reaches the widget its row names, once per widget.
    void everyTooltipReachesItsWidget() {
        std::set<std::string> widgets;
        for (const auto& row : kControlTooltips) {
            if (row.form != "devicePanel") continue;
            QVERIFY2(widgets.insert(row.widget).second, row.widget);
            auto* w = panel->findChild<QWidget*>(row.widget);
            QVERIFY2(w, row.widget);
            QCOMPARE(w->toolTip(), QString::fromUtf8(row.text));
        }
        QCOMPARE(widgets.size(), std::size_t(36));
    }

    void showsWhatTheCentreReports() {
        QCOMPARE(text("gmtTimeLabel"), QString("12:34:56"));
        QCOMPARE(text("gmtDateLabel"), QString("17/05/2024"));
        QCOMPARE(text("gmtWeekdayLabel"), QString("Piątek"));
        QCOMPARE(text("localTimeLabel"), QString("13:34:56"));
        QCOMPARE(text("localDateLabel"), QString("17/05/2024"));
        QCOMPARE(text("localWeekdayLabel"), QString("Piątek"));
        QCOMPARE(text("offsetLabel"), QString("+01:00"));
        QCOMPARE(text("daylightStateLabel"), QString("Zmiana czasu wyłączona"));
        QCOMPARE(text("analogLineStateLabel"), QString("Załączona"));
        QCOMPARE(background("analogLineStateLabel"), QColor(0, 255, 0));
        QCOMPARE(text("digitalLineStateLabel"), QString("Załączona"));
        QCOMPARE(text("telegramLabel"), QString("g,m,s,d,m,r"));
        QCOMPARE(text("serverStatusLabel"), QString("Brak błędu !"));
        QCOMPARE(background("gmtTimeLabel"), QColor(150, 255, 0));
        auto* gmt = panel->findChild<AnalogClock*>("gmtClock");
        QCOMPARE(gmt->hour(), 0);
        QCOMPARE(gmt->minute(), 34);
        QCOMPARE(gmt->second(), 56);
        QCOMPARE(panel->findChild<AnalogClock*>("localClock")->hour(), 1);
        // The first poll checks the build type: GPS, two relays.
        QCOMPARE(frame.relayOutputs, 2);
        QVERIFY(!panel->findChild<QWidget*>("noTransmissionLamp")->isHidden());
        QCOMPARE(text("noAntennaLabel"), QString("Impulsy 1PPS"));
        for (const char* id : {"sendButton", "laStopButton", "lcStopButton"}) QVERIFY(enabled(id));
        QCOMPARE(panel->findChild<QPushButton*>("laStopButton")->text(), QString("Stop LA"));
        QCOMPARE(panel->findChild<QPushButton*>("lcStopButton")->text(), QString("Stop LC"));
    }

    void followsTheCentre_data() {
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("negative offset") << QStringList{"set offset -01:00"} << "offsetLabel"
                                         << "-01:00" << QColor();
        QTest::newRow("half-hour offset") << QStringList{"set offset +05:30"} << "offsetLabel"
                                          << "+05:30" << QColor();
        QTest::newRow("analogue off") << QStringList{"set analog off"} << "analogLineStateLabel"
                                      << "Wyłączona" << QColor(255, 255, 0);
        QTest::newRow("short circuit wins") << QStringList{"set alarm 0x81,0x00,0x01"} << "analogLineStateLabel"
                                            << "Zwarta" << QColor(255, 0, 0);
        QTest::newRow("digital off") << QStringList{"set digital off"} << "digitalLineStateLabel"
                                     << "Wyłączona" << QColor(255, 255, 0);
        QTest::newRow("telegram h,m") << QStringList{"set digital-type hm"} << "telegramLabel"
                                      << "g,m" << QColor();
        QTest::newRow("telegram h,m,s") << QStringList{"set digital-type hms"} << "telegramLabel"
                                        << "g,m,s" << QColor();
        QTest::newRow("summer time") << QStringList{"set change on"} << "daylightStateLabel"
                                     << "Czas letni" << QColor();
        QTest::newRow("winter time") << QStringList{"set change on", "set gmt 2024-12-17 12:00"} << "daylightStateLabel"
                                     << "Czas zimowy" << QColor();
        QTest::newRow("date and weekday") << QStringList{"set gmt 2024-02-29 23:59:58"} << "gmtWeekdayLabel"
                                          << "Czwartek" << QColor();
    }
    void followsTheCentre() {
        QFETCH(QStringList, commands);
        QFETCH(QString, control);
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
        for (const char* id : {"noTransmissionLamp", "noSyncLamp", "lowVoltageLamp", "batteryLamp", "noAntennaLamp",
                               "settingRequiredLamp"})
            QVERIFY2(panel->findChild<AlarmLamp*>(id)->lit(), id);
        QVERIFY(!panel->findChild<AlarmLamp*>("manualSettingLamp")->lit());
        QCOMPARE(frame.trayIcons, std::vector<int>{kIconAlarm});
        rig->control("set alarm 0x81,0x00,0x00");
        afterCentreChange();
        for (const char* id : {"noTransmissionLamp", "noSyncLamp", "lowVoltageLamp", "batteryLamp", "noAntennaLamp",
                               "manualSettingLamp", "settingRequiredLamp"})
            QVERIFY(!panel->findChild<AlarmLamp*>(id)->lit());
        QCOMPARE(frame.trayIcons, (std::vector<int>{kIconAlarm, kIconNormal}));
    }

    void buildTypeLaysOutTheAlarmRows() {
        // KT-64/RS/2/485: transmission row shown, antenna row hidden.
        rig->control("set source rs");
        rig->control("set relays 1");
        rig->control("set interface 485");
        rig->settle();
        QTRY_COMPARE_WITH_TIMEOUT(frame.relayOutputs, 1, 20000);
        QVERIFY(panel->findChild<QWidget*>("noAntennaLabel")->isHidden());
        QVERIFY(panel->findChild<QWidget*>("noAntennaLamp")->isHidden());
        QVERIFY(!panel->findChild<QWidget*>("noTransmissionLabel")->isHidden());
        QVERIFY(!panel->findChild<QWidget*>("noSyncLabel")->isHidden());
        rig->control("set source dcf");
        rig->control("set relays 0");
        rig->settle();
        QTRY_COMPARE_WITH_TIMEOUT(frame.relayOutputs, 0, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!panel->findChild<QWidget*>("noAntennaLabel")->isHidden(), 20000);
        QCOMPARE(text("noAntennaLabel"), QString("Brak anteny"));
        QVERIFY(panel->findChild<QWidget*>("noTransmissionLabel")->isHidden());
    }

    void localSettingsReachTheCentre() {
        // -1 hour, first Sunday of April at 4 to the third of September at 5,
        // automatic change off, telegram h,m,s.
        panel->toggleSign();
        panel->findChild<QTimeEdit*>("offsetEdit")->setTime(QTime(1, 0));
        panel->findChild<QComboBox*>("changeZLSundayCombo")->setCurrentIndex(1);
        panel->findChild<QComboBox*>("changeZLMonthCombo")->setCurrentIndex(3);
        panel->findChild<QComboBox*>("changeLZSundayCombo")->setCurrentIndex(3);
        panel->findChild<QComboBox*>("changeLZMonthCombo")->setCurrentIndex(8);
        panel->findChild<QLineEdit*>("changeHourEdit")->setText("4");
        panel->findChild<QCheckBox*>("changeOnCheck")->setChecked(false);
        panel->findChild<QComboBox*>("telegramCombo")->setCurrentIndex(1);
        panel->send();
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
        QCOMPARE(text("offsetLabel"), QString("-01:00"));
    }

    void polishRuleSendsMarchAndOctober() {
        rig->control("set to-summer 2,4,5");
        rig->control("set to-winter 1,11,6");
        panel->applyPolishRule();
        QCOMPARE(panel->findChild<QComboBox*>("changeZLMonthCombo")->currentText(), QString("Marca"));
        QCOMPARE(panel->findChild<QComboBox*>("changeLZMonthCombo")->currentText(), QString("Października"));
        QCOMPARE(text("changeLZHourLabel"), QString("3"));
        panel->send();
        waitAction();
        QTRY_COMPARE_WITH_TIMEOUT(rig->centre().view().settings.winterToSummer, (kt64::sim::ChangeRule{0, 3, 2}),
                                  20000);
        const auto s = rig->centre().view().settings;
        QCOMPARE(s.summerToWinter, (kt64::sim::ChangeRule{0, 10, 3}));
        QVERIFY(s.changeOn);
    }

    void negativeOffsetComesBackIntoTheEditorWhenForced() {
        rig->control("set offset -01:00");
        rig->settle();
        panel->selectLocal();  // local selection forces the settings refresh
        waitAction();
        QCOMPARE(text("offsetSignLabel"), QString("-"));
        QVERIFY(!panel->offsetPositive());
        QCOMPARE(panel->findChild<QTimeEdit*>("offsetEdit")->time(), QTime(1, 0));
    }

    void lineTogglesReachTheCentreAndWaitForThePoll() {
        panel->toggleLC();
        waitAction();
        QVERIFY(!enabled("lcStopButton"));
        QVERIFY(!enabled("laStopButton"));
        QTRY_VERIFY_WITH_TIMEOUT(!rig->centre().view().settings.digitalOn, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(panel->findChild<QPushButton*>("lcStopButton")->text(), QString("Start LC"), 20000);
        QVERIFY(enabled("lcStopButton"));
        panel->toggleLA();
        waitAction();
        QTRY_VERIFY_WITH_TIMEOUT(!rig->centre().view().settings.analogOn, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(panel->findChild<QPushButton*>("laStopButton")->text(), QString("Start LA"), 20000);
        // LA stopped in local editing: the control clock can be set.
        QVERIFY(enabled("clockTimeEdit"));
        panel->findChild<QTimeEdit*>("clockTimeEdit")->setTime(QTime(7, 45));
        panel->send();
        waitAction();
        QTRY_COMPARE_WITH_TIMEOUT(rig->centre().view().lineMinutes, 7 * 60 + 45, 20000);
    }

    void gmtEditingSuspendsCommunicationUntilTheTimeIsSent() {
        panel->selectGmt();
        waitAction();
        QVERIFY(panel->communicationSuspended());
        QCOMPARE(panel->communication(), DevicePanel::Communication::Suspended);
        QCOMPARE(panel->editMode(), DevicePanel::EditMode::Gmt);
        QVERIFY(!panel->findChild<QWidget*>("suspendedLabel")->isHidden());
        QVERIFY(panel->findChild<QWidget*>("laStopHintLabel")->isHidden());
        QCOMPARE(background("gmtCaption"), QColor(255, 255, 0));
        // While suspended, polls show the server's own description.
        QSignalSpy spy(panel.get(), &DevicePanel::pollShown);
        QTRY_VERIFY_WITH_TIMEOUT(text("gmtTimeLabel") == "xx:xx:xx", 20000);
        QVERIFY(text("serverStatusLabel") != "Brak błędu !");
        QVERIFY(text("serverStatusLabel") != "Nie można pobrać błędu z serwera DCOM !");
        QVERIFY(doc->connected());
        QCOMPARE(background("analogLineStateLabel"), QColor(0, 0, 255));
        QCOMPARE(text("offsetLabel"), QString("xx:xx"));
        // GMT editing leaves the send button usable.
        QVERIFY(enabled("sendButton"));
        panel->findChild<QDateEdit*>("gmtDateEdit")->setDate(QDate(2025, 1, 2));
        panel->findChild<QTimeEdit*>("clockTimeEdit")->setTime(QTime(3, 4, 5));
        panel->send();
        waitAction();
        QVERIFY(!panel->communicationSuspended());
        QCOMPARE(panel->communication(), DevicePanel::Communication::On);
        QVERIFY(panel->findChild<QWidget*>("suspendedLabel")->isHidden());
        QVERIFY(nextGoodPoll());
        QCOMPARE(text("gmtDateLabel"), QString("02/01/2025"));
        QVERIFY(text("gmtTimeLabel").startsWith("03:04:0"));
    }

    // "Czas LOK" clicked before the answer to the GMT switch: the
    // communication comes back all the same.
    void localBeforeTheGmtAnswerResumesCommunication() {
        panel->selectGmt();
        panel->selectLocal();
        QTRY_VERIFY_WITH_TIMEOUT(!panel->communicationSuspended() && nextGoodPoll(), 20000);
        QCOMPARE(text("serverStatusLabel"), QString("Brak błędu !"));
        QVERIFY(panel->findChild<QWidget*>("suspendedLabel")->isHidden());
    }

    // While a send or a line toggle is out, its buttons show that it waits.
    void actionsWaitWithTheirButtonsDisabled_data() {
        QTest::addColumn<QString>("button");
        QTest::newRow("send") << "sendButton";
        QTest::newRow("LA") << "laStopButton";
        QTest::newRow("LC") << "lcStopButton";
    }
    void actionsWaitWithTheirButtonsDisabled() {
        QFETCH(QString, button);
        QVERIFY(enabled(button));
        panel->findChild<QPushButton*>(button)->click();
        for (const char* id : {"sendButton", "laStopButton", "lcStopButton"}) QVERIFY2(!enabled(id), id);
        QCOMPARE(panel->cursor().shape(), Qt::BusyCursor);
        // The end of this action, not of a refresh still out from before.
        QTRY_COMPARE_WITH_TIMEOUT(panel->cursor().shape(), Qt::ArrowCursor, 20000);
        QVERIFY(boxes.empty());
        // A send gives its button back; a toggle waits for the poll to see
        // the line's new state (which also leaves nothing queued behind).
        QVERIFY(enabled("sendButton"));
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
        panel->selectGmt();
        waitAction();
        panel->selectLocal();
        waitAction();
        // The first good poll after the suspension and the manual setting
        // may coincide: the editor must stay locked either way.
        rig->control("set alarm 0x81,0x40,0x00");
        if (laStopsMeanwhile) rig->control("set analog off");
        afterCentreChange();
        for (const char* id : {"offsetEdit", "gmtDateEdit", "clockTimeEdit", "changeZLMonthCombo", "changeLZMonthCombo",
                               "changeZLSundayCombo", "changeLZSundayCombo", "changeHourEdit", "changeOnCheck",
                               "sendButton", "telegramCombo"})
            QVERIFY2(!enabled(id), id);
        QVERIFY(panel->findChild<AlarmLamp*>("manualSettingLamp")->lit());
        rig->control("set alarm 0x81,0x00,0x00");
        rig->control("set analog on");
        afterCentreChange();
        for (const char* id :
             {"offsetEdit", "gmtDateEdit", "changeZLMonthCombo", "changeLZMonthCombo", "changeZLSundayCombo",
              "changeLZSundayCombo", "changeHourEdit", "changeOnCheck", "sendButton", "telegramCombo"})
            QVERIFY2(enabled(id), id);
        QCOMPARE(panel->editMode(), DevicePanel::EditMode::Local);
        // LA runs: its clock cannot be set.
        QVERIFY(!enabled("clockTimeEdit"));
    }

    // A killed server: placeholders and the loss, then the document
    // connects again by itself; once a server can be started on demand
    // (here: registered again) the panel shows the centre without help.
    void aKilledServerComesBackByItself() {
        ChildProcess("VqSrvKt64", {"-UnregServer"}, {}).wait(std::chrono::seconds(20));
        rig->killServer();
        QTRY_VERIFY_WITH_TIMEOUT(statuses.contains("Nie można pobrać błędu z serwera DCOM !"), 20000);
        QVERIFY(!doc->connected());
        QCOMPARE(panel->readouts(), DevicePanel::Readouts::Placeholders);
        QCOMPARE(text("gmtTimeLabel"), QString("xx:xx:xx"));
        QCOMPARE(text("gmtDateLabel"), QString("xx/xx/xxxx"));
        QCOMPARE(text("gmtWeekdayLabel"), QString("--------"));
        QCOMPARE(text("daylightStateLabel"), QString("--------"));
        QCOMPARE(text("analogLineStateLabel"), QString("--------"));
        QCOMPARE(background("digitalLineStateLabel"), QColor(0, 0, 255));
        QCOMPARE(text("telegramLabel"), QString("----"));
        for (const char* id : {"laStopButton", "lcStopButton", "sendButton"}) QVERIFY(!enabled(id));
        QTRY_COMPARE_WITH_TIMEOUT(text("serverStatusLabel"), kReconnectingText, 20000);
        ChildProcess("VqSrvKt64", {"-RegServer"}, {}).wait(std::chrono::seconds(20));
        QVERIFY(nextGoodPoll());
        QCOMPARE(panel->readouts(), DevicePanel::Readouts::Current);
        QCOMPARE(text("gmtTimeLabel"), QString("12:34:56"));
        for (const char* id : {"laStopButton", "lcStopButton", "sendButton"}) QVERIFY(enabled(id));
        QCOMPARE(text("serverStatusLabel"), QString("Brak błędu !"));
        QCOMPARE(rig->onDemandServers().size(), std::size_t(1));
    }

    // A frozen server: the loss, then the same server is taken up again
    // when it wakes, before it could end for want of a client.
    void aFrozenServerIsTakenUpAgainWhenItWakes() {
        rig->stopSignal();
        // Before the calls time out, the last values stay, greyed, and the
        // status line says they are old: never "Brak błędu !" over them.
        QTRY_VERIFY_WITH_TIMEOUT(panel->showingStale(), 30000);
        QVERIFY2(text("serverStatusLabel").startsWith("Serwer nie odpowiada: pokazane wartości są sprzed "),
                 qPrintable(text("serverStatusLabel")));
        QCOMPARE(text("gmtTimeLabel"), QString("12:34:56"));
        QCOMPARE(background("gmtTimeLabel"), QColor(200, 200, 200));
        QTRY_VERIFY_WITH_TIMEOUT(statuses.contains("Nie można pobrać błędu z serwera DCOM !"), 30000);
        QVERIFY(!panel->showingStale());
        QCOMPARE(background("gmtTimeLabel"), QColor(150, 255, 0));
        QVERIFY(!doc->connected());
        QTRY_COMPARE_WITH_TIMEOUT(text("serverStatusLabel"), kReconnectingText, 20000);
        rig->continueSignal();
        QVERIFY(nextGoodPoll());
        QCOMPARE(text("serverStatusLabel"), QString("Brak błędu !"));
        QVERIFY(doc->server()->leaseHeld());
        QVERIFY(rig->server()->running());
        QVERIFY(rig->onDemandServers().empty());
    }

    // The bell program's calls (relay outputs, transfers) go through the
    // document's link, not the panel: one that finds the server dead starts
    // the reconnect as well, with no panel polling.
    void aProgramCallFindingTheServerDeadStartsTheReconnect() {
        panel->setActive(false);
        ChildProcess("VqSrvKt64", {"-UnregServer"}, {}).wait(std::chrono::seconds(20));
        rig->killServer();
        auto link = doc->centreLink();
        QVERIFY_THROWS_EXCEPTION(kt64::program::LinkError, link->BuildType());
        QTRY_VERIFY_WITH_TIMEOUT(doc->reconnecting(), 5000);
        QVERIFY(!doc->connected());
        ChildProcess("VqSrvKt64", {"-RegServer"}, {}).wait(std::chrono::seconds(20));
        QTRY_VERIFY_WITH_TIMEOUT(doc->connected(), 20000);
    }

    void aFailedSendShowsTheErrorBox() {
        rig->killServer();
        panel->toggleLC();
        QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), std::size_t(1), 20000);
        QCOMPARE(boxes[0].caption, QString("Błąd!"));
        QCOMPARE(boxes[0].icon, QMessageBox::Critical);
        QCOMPARE(boxes[0].text, QString("Nie można pobrać błędu z serwera DCOM !"));
    }

    void inTheFrameThePanelEnablesTransfersAndSwitchesTheTrayIcon() {
        panel.reset();
        MainFrame main(*doc, MainFrame::Options{true});
        auto* view = dynamic_cast<DevicePanel*>(main.view(ViewKind::Device));
        QVERIFY(view);
        view->setPeriods({std::chrono::milliseconds(1), std::chrono::milliseconds(20), std::chrono::milliseconds(50)});
        main.show();
        QTRY_COMPARE_WITH_TIMEOUT(main.relayOutputs(), 2, 20000);
        main.switchView(ViewKind::CommandList);
        QVERIFY(main.actions().sendProgram->isEnabled());
        QVERIFY(main.actions().receiveProgram->isEnabled());
        // Away from the panel nothing polls; back on it, alarms reach the tray.
        QVERIFY(!view->pollTimer().isActive());
        rig->control("set alarm 0x4E,0x00,0x00");
        rig->settle();
        QCOMPARE(main.trayIconId(), kIconNormal);
        main.switchView(ViewKind::Device);
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
        MainFrame main(*doc, MainFrame::Options{true});
        auto* view = dynamic_cast<DevicePanel*>(main.view(ViewKind::Device));
        view->setPeriods({std::chrono::milliseconds(1), std::chrono::milliseconds(20), std::chrono::milliseconds(50)});
        main.show();
        QTRY_VERIFY_WITH_TIMEOUT(view->findChild<QWidget*>("sendButton")->isEnabled(), 20000);
        std::vector<std::pair<QString, bool>> asked;  // text, window still shown
        setMessageBoxHandler([&](QWidget*, const MessageBoxRequest& r) {
            asked.emplace_back(r.text, main.isVisible());
            return QMessageBox::Yes;
        });
        QSignalSpy closed(&main, &MainFrame::closed);
        rig->stopSignal();
        view->send();
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
            DevicePanel fresh(*doc);
            fresh.initialUpdate();
            fresh.findChild<QSpinBox*>("changeHourSpin")->stepUp();
            QCOMPARE(fresh.findChild<QLineEdit*>("changeHourEdit")->text(), QString("3"));
            QCOMPARE(fresh.findChild<QLabel*>("changeLZHourLabel")->text(), QString("4"));
        }
        auto* edit = panel->findChild<QLineEdit*>("changeHourEdit");
        auto* spin = panel->findChild<QSpinBox*>("changeHourSpin");
        spin->stepUp();
        QCOMPARE(edit->text(), QString("3"));
        QCOMPARE(text("changeLZHourLabel"), QString("4"));
        // Letters never get in; an edit left empty sends the hour it showed.
        rig->control("set to-summer 0,3,6");
        rig->control("set to-winter 0,10,7");
        edit->clear();
        QTest::keyClicks(edit, "ab");
        QCOMPARE(edit->text(), QString());
        panel->send();
        waitAction();
        QTRY_COMPARE_WITH_TIMEOUT(rig->centre().view().settings.winterToSummer.hour, 3, 20000);
        QCOMPARE(rig->centre().view().settings.summerToWinter.hour, 4);
        edit->clear();
        QTest::keyClicks(edit, "12");
        QCOMPARE(edit->text(), QString("8"));
        QCOMPARE(text("changeLZHourLabel"), QString("9"));
        QCOMPARE(spin->minimum(), 0);
        QCOMPARE(spin->maximum(), 8);
        spin->setValue(3);
        QCOMPARE(edit->text(), QString("3"));
        QCOMPARE(text("changeLZHourLabel"), QString("4"));
        spin->stepUp();
        spin->setValue(spin->value() + 10);
        QCOMPARE(edit->text(), QString("8"));
        // The Sunday boxes take only their entries: typed text that names none
        // falls back to the selected entry.
        auto* sunday = panel->findChild<QComboBox*>("changeZLSundayCombo");
        sunday->setCurrentIndex(2);
        sunday->setEditText("7");
        QMetaObject::invokeMethod(sunday->lineEdit(), "editingFinished");
        QCOMPARE(sunday->currentIndex(), 2);
        QCOMPARE(sunday->currentText(), QString("2"));
    }

    void deactivationStopsPolling() {
        panel->setActive(false);
        QVERIFY(!panel->pollTimer().isActive());
        QVERIFY(!panel->startupTimer().isActive());
    }
};

QTEST_MAIN(DevicePanelTest)
#include "DevicePanelTest.moc"
