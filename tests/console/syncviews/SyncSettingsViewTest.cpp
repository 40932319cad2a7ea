// The settings form against a real link server on the emulated centre, with
// a private registry: loading and saving with their refusals, the start-up
// connection, the clocks and identity, the loss of the server, and the
// service buttons (a stand-in control and the real stand-alone program).
#include <QComboBox>
#include <QScopeGuard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QCheckBox>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimeEdit>

#include <unistd.h>

#include <set>
#include <string>
#include <thread>

#include "SyncSettingsView.h"
#include "SyncSettingsTexts.h"
#include "ControlTooltips.h"
#include "ConsoleRig.h"
#include "MessageBoxes.h"
#include "ProgramPaths.h"
#include "StandaloneServiceControl.h"
#include "SyncSettings.h"

using namespace kt64;
using namespace kt64::console;
using namespace kt64::test;
namespace sc = kt64::servicecontrol;

namespace {

// A service whose answers the test sets.
class StandInService final : public sc::SyncServiceControl {
public:
    bool start() override { return startOk; }
    bool stop() override { return stopOk; }
    int state() override { return stateCode; }
    std::atomic<int> stateCode{sc::kStateStopped};
    std::atomic<bool> startOk{true};
    std::atomic<bool> stopOk{true};
};

template <class T>
T* control(QWidget& form, const char* name) {
    auto* w = form.findChild<T*>(name);
    if (!w) qFatal("no control %s", name);
    return w;
}

QString labelText(QWidget& form, const char* name) { return control<QLabel>(form, name)->text(); }

// Every control that the running service locks, with the save button.
const char* const kLockedControls[] = {
    "syncHourEdit",       "periodSpin",   "periodUnitCombo", "deviationFromSpin",    "deviationToSpin",
    "startServiceButton", "computerEdit", "soundCheck",      "browseComputerButton", "saveButton"};

}  // namespace

class SyncSettingsViewTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ConsoleRig> rig_;
    RecordingMessages messages_;
    std::shared_ptr<StandInService> service_ = std::make_shared<StandInService>();

    // A form initialised on the rig's registry, its connection tried.
    std::unique_ptr<SyncSettingsView> startedForm(ServerSession& session, bool expectConnected = true) {
        auto form = std::make_unique<SyncSettingsView>(session.document(), service_, messages_);
        QSignalSpy tried(form.get(), &SyncSettingsView::connectionTried);
        QSignalSpy state(form.get(), &SyncSettingsView::serviceStateShown);
        form->initialUpdate();
        if (!tried.wait(20000)) qWarning("no connection attempt ended");
        if (state.isEmpty()) state.wait(10000);
        if (session.connected() != expectConnected) qWarning("connected is %d", session.connected());
        return form;
    }

    static void writeSettings(std::uint32_t freq, std::uint32_t od, std::uint32_t to, const std::string& name) {
        auto key = ConsoleRig::clearedSettingsKey();
        key.setDword("FreqSync", freq);
        key.setDword("SyncOd", od);
        key.setDword("SyncDo", to);
        key.setString("CompName", name);
        key.setBinary("HourSync", sync::dateBytes(*makeDate(1900, 1, 1, 2, 30, 15)));
    }

    static reg::Key settingsKey() { return reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Prog"); }

private slots:
    void initTestCase() { rig_ = std::make_unique<ConsoleRig>(); }
    void cleanupTestCase() { rig_.reset(); }
    void init() {
        messages_.shown.clear();
        service_->stateCode = sc::kStateStopped;
        ConsoleRig::clearedSettingsKey();
        if (rig_->server()) rig_->lease().SetComPort(1);
    }

    void periodLoadsAndSavesAsNumberAndUnit_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<int>("saved");
        QTest::newRow("90 -> 1 h -> 60") << 90 << 1 << "h" << 60;
        QTest::newRow("1440 -> 24 h") << 1440 << 24 << "h" << 1440;
        QTest::newRow("60 -> 1 h") << 60 << 1 << "h" << 60;
        QTest::newRow("59 -> 59 m") << 59 << 59 << "m" << 59;
        QTest::newRow("45 -> 45 m") << 45 << 45 << "m" << 45;
    }
    void periodLoadsAndSavesAsNumberAndUnit() {
        QFETCH(int, stored);
        QFETCH(int, number);
        QFETCH(QString, unit);
        QFETCH(int, saved);
        writeSettings(stored, 3, 7, rig_->computer());
        ConsoleDocument document;
        ServerSession& session = document.session;
        auto form = startedForm(session);
        QCOMPARE(control<QSpinBox>(*form, "periodSpin")->value(), number);
        QCOMPARE(control<QComboBox>(*form, "periodUnitCombo")->currentText(), unit);
        QCOMPARE(control<QSpinBox>(*form, "periodSpin")->maximum(), unit == "h" ? 24 : 59);
        QCOMPARE(control<QTimeEdit>(*form, "syncHourEdit")->time(), QTime(2, 30, 15));
        QSignalSpy saved_(form.get(), &SyncSettingsView::saveFinished);
        form->save();
        QVERIFY(saved_.count() == 1 || saved_.wait(10000));
        QVERIFY(messages_.shown.empty());
        auto key = settingsKey();
        QCOMPARE(key.dword("FreqSync"), std::optional<std::uint32_t>(saved));
        QCOMPARE(key.dword("SyncOd"), std::optional<std::uint32_t>(3));
        const auto hour = sync::dateFromBytes(*key.binary("HourSync"));
        const auto st = fromVariantTime(*hour);
        QCOMPARE(st->hour * 3600 + st->minute * 60 + st->second, 2 * 3600 + 30 * 60 + 15);
    }

    // Each tooltip reaches the widget its row names, once per widget.
    void everyTooltipReachesItsWidget() {
        ConsoleDocument document;
        auto form = startedForm(document.session);
        std::set<std::string> widgets;
        for (const auto& row : kControlTooltips) {
            if (row.form != "syncSettings") continue;
            QVERIFY2(widgets.insert(row.widget).second, row.widget);
            QCOMPARE(control<QWidget>(*form, row.widget)->toolTip(), QString::fromUtf8(row.text));
        }
        QCOMPARE(widgets.size(), std::size_t(18));
    }

    void unitChangeSetsThePeriodRange() {
        writeSettings(1440, 0, 0, rig_->computer());
        ConsoleDocument document;
        ServerSession& session = document.session;
        auto form = startedForm(session);
        auto* unit = control<QComboBox>(*form, "periodUnitCombo");
        unit->setCurrentIndex(1);
        QCOMPARE(control<QSpinBox>(*form, "periodSpin")->maximum(), 59);
        unit->setCurrentIndex(0);
        QCOMPARE(control<QSpinBox>(*form, "periodSpin")->maximum(), 24);
    }

    void equalBoundsKeepWindowButSaveNameSoundAndPort() {
        writeSettings(90, 1, 9, rig_->computer());
        ConsoleDocument document;
        ServerSession& session = document.session;
        auto form = startedForm(session);
        QVERIFY(session.connected());
        control<QSpinBox>(*form, "deviationFromSpin")->setValue(5);
        control<QSpinBox>(*form, "deviationToSpin")->setValue(5);
        control<QSpinBox>(*form, "periodSpin")->setValue(3);
        control<QCheckBox>(*form, "soundCheck")->setChecked(true);
        control<QComboBox>(*form, "portCombo")->setCurrentIndex(2);
        QSignalSpy saved(form.get(), &SyncSettingsView::saveFinished);
        form->save();
        QVERIFY(saved.wait(10000));
        QCOMPARE(messages_.shown.size(), std::size_t(1));
        QCOMPARE(messages_.shown[0].text, QString("Parametr Od-Do musi się różnić conajmniej o 1 sekundę"));
        QCOMPARE(messages_.shown[0].caption, QString("Błąd"));
        QCOMPARE(messages_.shown[0].icon, QMessageBox::Critical);
        auto key = settingsKey();
        QCOMPARE(key.dword("SyncOd"), std::optional<std::uint32_t>(1));
        QCOMPARE(key.dword("SyncDo"), std::optional<std::uint32_t>(9));
        QCOMPARE(key.dword("FreqSync"), std::optional<std::uint32_t>(90));
        QCOMPARE(key.dword("SyncSnd"), std::optional<std::uint32_t>(1));
        QCOMPARE(key.string("CompName"), std::optional<std::string>(rig_->computer()));
        QCOMPARE(rig_->lease().GetComPort(), 3u);
    }

    void zeroBoundsSaveWithoutMessage() {
        writeSettings(1440, 4, 8, rig_->computer());
        ConsoleDocument document;
        ServerSession& session = document.session;
        auto form = startedForm(session);
        control<QSpinBox>(*form, "deviationFromSpin")->setValue(0);
        control<QSpinBox>(*form, "deviationToSpin")->setValue(0);
        QSignalSpy saved(form.get(), &SyncSettingsView::saveFinished);
        form->save();
        QVERIFY(saved.count() == 1 || saved.wait(10000));
        QVERIFY(messages_.shown.empty());
        QCOMPARE(settingsKey().dword("SyncDo"), std::optional<std::uint32_t>(0));
    }

    // CompName is kept in 16 bytes; a 16-character name would be cut by the
    // synchronisation programs, so the form refuses it and writes nothing.
    void sixteenCharacterNameIsRefused() {
        writeSettings(1440, 0, 0, rig_->computer());
        ConsoleDocument document;
        ServerSession& session = document.session;
        auto form = startedForm(session);
        control<QLineEdit>(*form, "computerEdit")->setText("ABCDEFGHIJKLMNOP");
        control<QSpinBox>(*form, "deviationToSpin")->setValue(20);
        form->save();
        QCOMPARE(messages_.shown.size(), std::size_t(1));
        QCOMPARE(messages_.shown[0].text, QString::fromUtf8(sc::kCompNameTooLongText.data()));
        QCOMPARE(settingsKey().string("CompName"), std::optional<std::string>(rig_->computer()));
        QCOMPARE(settingsKey().dword("SyncDo"), std::optional<std::uint32_t>(0));
        QCOMPARE(session.computerName(), rig_->computer());

        control<QLineEdit>(*form, "computerEdit")->setText("ABCDEFGHIJKLMNO");
        QSignalSpy saved(form.get(), &SyncSettingsView::saveFinished);
        form->save();
        QVERIFY(saved.count() == 1 || saved.wait(10000));
        QCOMPARE(settingsKey().string("CompName"), std::optional<std::string>("ABCDEFGHIJKLMNO"));
        QCOMPARE(session.computerName(), std::string("ABCDEFGHIJKLMNO"));
    }

    void missingValuesGetTheDefaults() {
        ConsoleRig::clearedSettingsKey();
        ConsoleDocument document;
        ServerSession& session = document.session;
        auto form = startedForm(session, false);
        auto key = settingsKey();
        QCOMPARE(key.dword("FreqSync"), std::optional<std::uint32_t>(1440));
        QCOMPARE(key.string("CompName"), std::optional<std::string>(sync::defaultCompName()));
        QCOMPARE(control<QSpinBox>(*form, "periodSpin")->value(), 24);
        QCOMPARE(control<QLineEdit>(*form, "computerEdit")->text(), QString::fromStdString(sync::defaultCompName()));
    }

    void connectionAtStartShowsPortClocksAndIdentity() {
        writeSettings(1440, 0, 0, rig_->computer());
        rig_->lease().SetComPort(1);
        ConsoleDocument document;
        ServerSession& session = document.session;
        auto form = startedForm(session);
        QVERIFY(session.connected());
        QCOMPARE(labelText(*form, "serverStatusLabel"), QString("Połączenie z serwerem nawiązano pomyślnie!"));
        // The identity is read on a later tick; until then the placeholder.
        QCOMPARE(labelText(*form, "buildTypeLabel"), QString("KT-64/xxx/x/xxx"));
        QSignalSpy relays(form.get(), &SyncSettingsView::relayOutputsChanged);
        QVERIFY(control<QComboBox>(*form, "portCombo")->isEnabled());
        QCOMPARE(control<QComboBox>(*form, "portCombo")->currentIndex(), 0);

        // The centre runs one hour ahead of GMT (the emulator's default offset).
        // Right after the port was set again the server may still report
        // the reopening; the form shows what it says until the centre answers.
        QTRY_VERIFY_WITH_TIMEOUT((form->tick(), labelText(*form, "serverStatusLabel") == "Brak błędu !"), 20000);
        const QDateTime centre = QDateTime::currentDateTimeUtc().addSecs(3600);
        QCOMPARE(labelText(*form, "centreDateLabel"), centre.toString("yyyy-MM-dd"));
        const QTime shown = QTime::fromString(labelText(*form, "centreTimeLabel"), "HH:mm:ss");
        QVERIFY2(std::abs(shown.secsTo(centre.time())) <= 3 || std::abs(shown.secsTo(centre.time())) >= 86397,
                 qPrintable(labelText(*form, "centreTimeLabel")));
        QCOMPARE(labelText(*form, "pcDateLabel"), QDate::currentDate().toString("yyyy-MM-dd"));

        // The ticks above may already have reached the identity's turn (a slow
        // machine needs more of them before the centre answers): at most one
        // more round of ticks brings it.
        for (int i = 0; i <= SyncSettingsView::kIdentityTicks && relays.isEmpty() &&
                        labelText(*form, "buildTypeLabel") == "KT-64/xxx/x/xxx";
             ++i)
            form->tick();
        QVERIFY(!relays.isEmpty() || relays.wait(10000));
        QCOMPARE(relays.at(0).at(0).toInt(), 2);
        QCOMPARE(labelText(*form, "buildTypeLabel"), QString("KT-64/GPS/2/232 V1.2"));
        QCOMPARE(labelText(*form, "serialNumberLabel"), QString::fromStdString(rig_->lease().GetSerialNum()));
        QCOMPARE(labelText(*form, "lastSyncLabel"), QString("Data: xxxx-xx-xx            Godz: xx:xx:xx"));
    }

    // Shown while the server lies frozen, unnoticed since start-up: the form
    // neither claims the connection nor shows a date before a reading came.
    void shownAgainTheFormWaitsForAReading() {
        writeSettings(1440, 0, 0, rig_->computer());
        ConsoleDocument document;
        ServerSession& session = document.session;
        auto form = startedForm(session);
        QCOMPARE(labelText(*form, "serverStatusLabel"), QString("Połączenie z serwerem nawiązano pomyślnie!"));
        rig_->stopSignal();
        const auto wake = qScopeGuard([this] { rig_->continueSignal(); });
        form->setActive(true);
        QCOMPARE(labelText(*form, "serverStatusLabel"), QString());
        QCOMPARE(labelText(*form, "centreDateLabel"), QString("xxxx-xx-xx"));
        QCOMPARE(labelText(*form, "centreTimeLabel"), QString("xx:xx:xx"));
        QCOMPARE(labelText(*form, "pcDateLabel"), QDate::currentDate().toString("yyyy-MM-dd"));
        form->setActive(false);
    }

    void lastSynchronisationIsShown() {
        writeSettings(1440, 0, 0, rig_->computer());
        settingsKey().setBinary("LastSync", sync::dateBytes(*makeDate(2007, 2, 16, 2, 0, 5)));
        ConsoleDocument document;
        ServerSession& session = document.session;
        auto form = startedForm(session);
        for (int i = 0; i <= SyncSettingsView::kIdentityTicks; ++i) form->tick();
        QCOMPARE(labelText(*form, "lastSyncLabel"), QString("Data: 2007-02-16            Godz: 02:00:05"));
    }

    void clockRunsOnlyWhileActive() {
        writeSettings(1440, 0, 0, rig_->computer());
        ConsoleDocument document;
        ServerSession& session = document.session;
        auto form = startedForm(session);
        QVERIFY(!form->clockWaiting() && !form->clockTicking());
        form->setActive(true);
        QVERIFY(form->clockWaiting());
        QTRY_VERIFY_WITH_TIMEOUT(form->clockTicking(), 10000);
        form->setActive(false);
        QVERIFY(!form->clockWaiting() && !form->clockTicking());
    }

    void openMinAsksTheWindowToMinimiseAndCloseWritesOptions() {
        writeSettings(1440, 0, 0, rig_->computer());
        settingsKey().setDword("OpenMin", 1);
        {
            ConsoleDocument document;
            ServerSession& session = document.session;
            auto form = std::make_unique<SyncSettingsView>(session.document(), service_, messages_);
            QSignalSpy minimise(form.get(), &SyncSettingsView::minimiseRequested);
            form->initialUpdate();
            QCOMPARE(minimise.count(), 1);
            QVERIFY(control<QCheckBox>(*form, "minimizeCheck")->isChecked());
            control<QCheckBox>(*form, "minimizeCheck")->setChecked(false);
            control<QCheckBox>(*form, "soundCheck")->setChecked(true);
        }
        QCOMPARE(settingsKey().dword("OpenMin"), std::optional<std::uint32_t>(0));
        QCOMPARE(settingsKey().dword("SyncSnd"), std::optional<std::uint32_t>(1));
    }

    // A registry store that cannot be opened: the form starts on defaults
    // after "Nie mogę otworzyć rejestru"; when it closes, "Błąd otwarcia
    // rejestru", and the console goes on ending in order.
    void unusableRegistry() {
        // A store whose folder is a plain file can be neither opened nor made.
        const auto notAFolder = rig_->folder() / "not-a-folder";
        kt64::test::writeFile(notAFolder, "x");
        kt64::test::ScopedEnv broken("KT64_REGISTRY", (notAFolder / "registry.db").string());
        ConsoleDocument document;
        ServerSession& session = document.session;
        // The console's own messages, their boxes answered here.
        std::vector<MessageBoxRequest> boxes;
        setMessageBoxHandler([&](QWidget*, const MessageBoxRequest& r) {
            boxes.push_back(r);
            return QMessageBox::Ok;
        });
        {
            auto form = std::make_unique<SyncSettingsView>(session.document(), service_, defaultFormMessages());
            form->initialUpdate();
            QCOMPARE(boxes.size(), std::size_t(1));
            QCOMPARE(boxes[0].text, QString("Nie mogę otworzyć rejestru"));
            QCOMPARE(boxes[0].caption, QString("Błąd"));
            QCOMPARE(control<QSpinBox>(*form, "periodSpin")->value(), 24);
            QCOMPARE(control<QComboBox>(*form, "periodUnitCombo")->currentText(), QString("h"));
            QCOMPARE(session.computerName(), sync::defaultCompName());
            form->save();
            QCOMPARE(boxes.back().text, QString("Nie mogę otworzyć rejestru"));
        }
        // Still here: the console ends in order, not at once.
        setMessageBoxHandler({});
        QCOMPARE(boxes.back().text, QString("Błąd otwarcia rejestru"));
        QCOMPARE(boxes.back().icon, QMessageBox::Critical);
    }

    void serviceStateDecidesWhatCanBeEdited_data() {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("settingsEnabled");
        QTest::addColumn<bool>("stopEnabled");
        QTest::addColumn<bool>("unreachableMessage");
        QTest::newRow("running") << 4 << false << true << false;
        QTest::newRow("continue pending") << 5 << false << true << false;
        QTest::newRow("stopped") << 1 << true << false << false;
        QTest::newRow("stop pending") << 3 << true << false << false;
        QTest::newRow("unreachable") << -1 << true << false << true;
    }
    void serviceStateDecidesWhatCanBeEdited() {
        QFETCH(int, state);
        QFETCH(bool, settingsEnabled);
        QFETCH(bool, stopEnabled);
        QFETCH(bool, unreachableMessage);
        writeSettings(1440, 0, 0, rig_->computer());
        service_->stateCode = state;
        ConsoleDocument document;
        ServerSession& session = document.session;
        auto form = startedForm(session);
        for (const char* name : kLockedControls)
            QVERIFY2(control<QWidget>(*form, name)->isEnabled() == settingsEnabled, name);
        QCOMPARE(control<QWidget>(*form, "portCombo")->isEnabled(), settingsEnabled);
        QCOMPARE(control<QWidget>(*form, "stopServiceButton")->isEnabled(), stopEnabled);
        QCOMPARE(messages_.shown.size(), std::size_t(unreachableMessage ? 1 : 0));
        if (unreachableMessage) {
            QCOMPARE(messages_.shown[0].text, QString("Nie mozna otworzyć usługi"));
            QCOMPARE(messages_.shown[0].caption, QString("Uwaga!"));
        }
        // A pending state leaves everything as it was.
        service_->stateCode = 2;
        QSignalSpy shown(form.get(), &SyncSettingsView::serviceStateShown);
        form->refresh();
        QVERIFY(shown.wait(10000));
        QCOMPARE(control<QWidget>(*form, "stopServiceButton")->isEnabled(), stopEnabled);
        QCOMPARE(control<QWidget>(*form, "saveButton")->isEnabled(), settingsEnabled);
    }

    void failedStartAndStopAreReported() {
        writeSettings(1440, 0, 0, rig_->computer());
        ConsoleDocument document;
        ServerSession& session = document.session;
        auto form = startedForm(session);
        service_->startOk = false;
        QSignalSpy shown(form.get(), &SyncSettingsView::serviceStateShown);
        form->startService();
        QVERIFY(shown.wait(10000));
        QCOMPARE(messages_.shown.back().text, QString("Nie mozna uruchomić usługi"));
        QCOMPARE(messages_.shown.back().caption, QString("Uwaga!"));
        QVERIFY(control<QWidget>(*form, "startServiceButton")->isEnabled());
        service_->startOk = true;
        service_->stopOk = false;
        form->stopService();
        QVERIFY(shown.wait(10000));
        QCOMPARE(messages_.shown.back().text, QString("Nie mozna zatrzymać usługi"));
        service_->stopOk = true;
    }

    // The server is killed; only the stand-alone program runs after this.
    // A clock reading hangs on a route gone silent; meanwhile the panel
    // drops the connection and the form reconnects (straight to the server).
    // The hung reading fails after its deadline, for a lost connection: it
    // must not release the new server object.
    // (SIGSTOP on the server cannot stand for the silent network here: the
    // same server must answer a new connection while the old one hangs.)
    void lateFailureKeepsTheNewConnection() {
        kt64::test::TcpRelay route(rig_->rpcPort());
        writeSettings(1440, 0, 0, "127.0.0.1:" + std::to_string(route.port()));
        ConsoleDocument document;
        ServerSession& session = document.session;
        auto form = startedForm(session);
        QVERIFY(session.connected());
        const auto first = document.doc.serverGeneration();
        form->setActive(true);
        QTRY_VERIFY_WITH_TIMEOUT(form->clockTicking(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(labelText(*form, "serverStatusLabel"), QString("Brak błędu !"), 10000);
        route.silence();
        // A reading (one every tick) is now stuck on the silent route.
        QTRY_VERIFY_WITH_TIMEOUT(route.holding(), 5000);
        document.doc.releaseServer();
        session.setComputerName(rig_->address());
        QSignalSpy tried(form.get(), &SyncSettingsView::connectionTried);
        form->refresh();
        QVERIFY(tried.wait(20000));
        QVERIFY(session.connected());
        const auto second = document.doc.serverGeneration();
        QVERIFY(second != first);
        // No new readings; the hung one ends by its deadline and its failure
        // reaches the form.
        form->setActive(false);
        QTRY_COMPARE_WITH_TIMEOUT(document.doc.workers().pending(), 0, 30000);
        QTest::qWait(0);
        QCoreApplication::processEvents();
        QVERIFY(session.connected());
        QCOMPARE(document.doc.serverGeneration(), second);
    }

    void unreachableServerAndLostConnection() {
        writeSettings(1440, 0, 0, rig_->computer());
        {
            ConsoleDocument document;
            ServerSession& session = document.session;
            auto form = startedForm(session);
            QVERIFY(session.connected());
            const auto first = document.doc.serverGeneration();
            form->setActive(true);
            QTRY_VERIFY_WITH_TIMEOUT(form->clockTicking(), 10000);
            // Killed, and nothing can be started on demand for now.
            ChildProcess("VqSrvKt64", {"-UnregServer"}, {}).wait(std::chrono::seconds(20));
            rig_->killServer();
            QTRY_COMPARE_WITH_TIMEOUT(labelText(*form, "serverStatusLabel"),
                                      QString("Nie można pobrać błędu z serwera DCOM !"), 20000);
            QVERIFY(!session.connected());
            QCOMPARE(labelText(*form, "centreDateLabel"), QString("xxxx-xx-xx"));
            QCOMPARE(labelText(*form, "centreTimeLabel"), QString("xx:xx:xx"));
            QVERIFY(!control<QWidget>(*form, "portCombo")->isEnabled());
            QVERIFY(form->clockWaiting());
            form->tick();
            QCOMPARE(labelText(*form, "serverStatusLabel"), kReconnectingText);
            // Registered again: the document starts it and the form uses the
            // new object, its port list with it.
            ChildProcess("VqSrvKt64", {"-RegServer"}, {}).wait(std::chrono::seconds(20));
            QTRY_VERIFY_WITH_TIMEOUT(session.connected(), 20000);
            QVERIFY(document.doc.serverGeneration() != first);
            QVERIFY(control<QWidget>(*form, "portCombo")->isEnabled());
            QTRY_VERIFY_WITH_TIMEOUT((form->tick(), labelText(*form, "serverStatusLabel") == "Brak błędu !"), 20000);
            form->setActive(false);
        }
        // Nothing registered answers "localhost" any more: unregister so that
        // a new client cannot start a server on demand.
        rig_->stopServer();
        ChildProcess("VqSrvKt64", {"-UnregServer"}, {}).wait(std::chrono::seconds(20));
        ConsoleDocument document;
        ServerSession& session = document.session;
        auto form = startedForm(session, false);
        QVERIFY(!session.connected());
        QCOMPARE(labelText(*form, "serverStatusLabel"), QString("Brak połączenia z serwerem !"));
        QVERIFY(!control<QWidget>(*form, "portCombo")->isEnabled());
        form->tick();
        QCOMPARE(labelText(*form, "serverStatusLabel"), QString("Błąd połączenia z serwerem !"));
        QCOMPARE(labelText(*form, "buildTypeLabel"), QString("KT-64/xxx/x/xxx"));
    }

    // The real stand-alone program, pointed at a computer where no server
    // can be reached (nothing is registered any more), its instant twelve
    // hours away: it never has a reading to set the clock from.
    void startAndStopTheStandaloneProgram() {
        writeSettings(1440, 0, 0, "localhost:1");
        const QTime far = QTime::currentTime().addSecs(12 * 3600);
        settingsKey().setBinary("HourSync", sync::dateBytes(*makeDate(1899, 12, 30, far.hour(), far.minute(), 0)));
        auto real = std::make_shared<sc::StandaloneServiceControl>(executableDirectory(), std::chrono::seconds(10));
        QVERIFY2(kt64::test::eventually([&] { return real->state() == sc::kStateStopped; }, std::chrono::seconds(60)),
                 "another HoralService9x keeps running");
        ConsoleDocument document;
        ServerSession& session = document.session;
        SyncSettingsView form(session.document(), real, messages_);
        QSignalSpy shown(&form, &SyncSettingsView::serviceStateShown);
        form.initialUpdate();
        QVERIFY(shown.wait(10000));
        QCOMPARE(shown.takeFirst().at(0).toInt(), sc::kStateStopped);

        form.startService();
        QVERIFY(shown.wait(10000));
        QCOMPARE(shown.takeFirst().at(0).toInt(), sc::kStateRunning);
        QVERIFY(messages_.shown.empty());
        for (const char* name : kLockedControls) QVERIFY2(!control<QWidget>(form, name)->isEnabled(), name);
        QVERIFY(control<QWidget>(form, "stopServiceButton")->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(real->state(), sc::kStateRunning, 10000);

        form.refresh();
        QVERIFY(shown.wait(10000));
        QCOMPARE(shown.takeFirst().at(0).toInt(), sc::kStateRunning);

        form.stopService();
        QVERIFY(shown.wait(20000));
        QCOMPARE(shown.takeFirst().at(0).toInt(), sc::kStateStopped);
        QVERIFY(messages_.shown.empty());
        QVERIFY(control<QWidget>(form, "saveButton")->isEnabled());
        QVERIFY(!control<QWidget>(form, "stopServiceButton")->isEnabled());
        // Not connected: the port list stays disabled with the rest enabled.
        QVERIFY(!control<QWidget>(form, "portCombo")->isEnabled());

        form.stopService();
        QVERIFY(shown.wait(20000));
        QCOMPARE(messages_.shown.size(), std::size_t(1));
        QCOMPARE(messages_.shown[0].text, QString("Nie mozna zatrzymać usługi"));
    }
};

QTEST_MAIN(SyncSettingsViewTest)
#include "SyncSettingsViewTest.moc"
