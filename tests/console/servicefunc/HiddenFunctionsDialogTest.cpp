// The service dialog: its splitting and building rules, and against a real
// link server on the emulated centre, what it shows and what reaches the
// centre, the server's refusals and the refusal to open without a server.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "BuildType.h"
#include "ConsoleRig.h"
#include "HiddenFunctionsDialog.h"
#include "HiddenFunctionsRules.h"

using namespace kt64;
using namespace kt64::console;
using namespace kt64::test;

namespace {

template <class T>
T* control(QWidget& w, const char* name) {
    auto* c = w.findChild<T*>(name);
    if (!c) qFatal("no control %s", name);
    return c;
}

}  // namespace

class HiddenFunctionsDialogTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ConsoleRig> rig_;
    RecordingMessages messages_;

    void connect(ServerSession& session) {
        session.setComputerName(rig_->computer());
        QSignalSpy changed(&session, &ServerSession::connectedChanged);
        session.connectServer(this, [](ServerAnswer<Done>) {});
        QVERIFY(changed.wait(20000));
        QVERIFY(session.connected());
    }

private slots:
    void initTestCase() { rig_ = std::make_unique<ConsoleRig>(); }
    void cleanupTestCase() { rig_.reset(); }
    void init() { messages_.shown.clear(); }

    void accessCode_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("unlocks");
        QTest::newRow("exact") << "Brovik" << true;
        QTest::newRow("lower case") << "brovik" << false;
        QTest::newRow("upper case") << "BROVIK" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("trailing blank") << "Brovik " << false;
        QTest::newRow("prefix") << "Brovi" << false;
    }
    void accessCode() {
        QFETCH(QString, typed);
        QFETCH(bool, unlocks);
        QCOMPARE(accessCodeMatches(typed.toStdString()), unlocks);
    }

    void buildTypeSplitting_data() {
        QTest::addColumn<QString>("buildType");
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("source");
        QTest::addColumn<int>("relays");
        QTest::addColumn<int>("interface");
        QTest::newRow("as reported") << "KT-64/DCF/2/485 V1.2"
                                     << "KT-64" << 2 << 2 << 2;
        QTest::newRow("as written") << "KT-64/LIN/0/000/"
                                    << "KT-64" << 4 << 0 << 0;
        QTest::newRow("no source") << "KT-64/00/1/232 V1.0"
                                   << "KT-64" << 0 << 1 << 1;
        QTest::newRow("an empty field moves none") << "KT-64//GPS//1/232"
                                                   << "KT-64" << -1 << -1 << -1;
        QTest::newRow("unknown fields") << "KT-64/XYZ/7/999"
                                        << "KT-64" << -1 << -1 << -1;
        QTest::newRow("case matters") << "KT-64/gps/1/232"
                                      << "KT-64" << -1 << 1 << 1;
        QTest::newRow("short") << "KT-64/RS"
                               << "KT-64" << 3 << -1 << -1;
        QTest::newRow("empty") << ""
                               << "" << -1 << -1 << -1;
        QTest::newRow("fifth field ignored") << "KT-64/GPS/1/485/232"
                                             << "KT-64" << 1 << 1 << 2;
    }
    void buildTypeSplitting() {
        QFETCH(QString, buildType);
        QFETCH(QString, model);
        QFETCH(int, source);
        QFETCH(int, relays);
        QFETCH(int, interface);
        const auto c = splitBuildType(buildType.toStdString());
        QCOMPARE(QString::fromStdString(c.model), model);
        QCOMPARE(c.source, source);
        QCOMPARE(c.relays, relays);
        QCOMPARE(c.interface, interface);
    }

    void textsWrittenBack() {
        QCOMPARE(link::buildTypeToSet("LIN", "0", "000"), std::string("KT-64/LIN/0/000/"));
        QCOMPARE(link::buildTypeToSet("", "", ""), std::string("KT-64////"));
        QCOMPARE(serialNumText("12", "3456"), std::string("12/3456"));
        QCOMPARE(splitSerialNum("12/3456"), (SerialParts{"12", "3456"}));
        QCOMPARE(splitSerialNum("/12//3456/"), (SerialParts{"12", "3456"}));
        QCOMPARE(splitSerialNum(""), (SerialParts{"", ""}));
    }

    void refusesWithoutConnection() {
        ConsoleDocument document;
        ServerSession& session = document.session;
        HiddenFunctionsDialog::run(session, messages_, nullptr);
        QCOMPARE(messages_.shown.size(), std::size_t(1));
        QCOMPARE(messages_.shown[0].text, QString("Brak połączenia z serwerem!"));
    }

    void showsTheCentresTypeAndSerial() {
        ConsoleDocument document;
        ServerSession& session = document.session;
        connect(session);
        HiddenFunctionsDialog dialog(session, messages_);
        QCOMPARE(control<QLineEdit>(dialog, "serialFirstEdit")->maxLength(), 2);
        QCOMPARE(control<QLineEdit>(dialog, "serialSecondEdit")->maxLength(), 4);
        QSignalSpy loaded(&dialog, &HiddenFunctionsDialog::loaded);
        dialog.load();
        QVERIFY(loaded.wait(10000));
        QVERIFY(loaded.at(0).at(0).toBool());
        // The emulator's defaults: GPS, two relays, RS-232, serial 01 23 45.
        QCOMPARE(control<QLineEdit>(dialog, "modelEdit")->text(), QString("KT-64"));
        QCOMPARE(control<QComboBox>(dialog, "sourceCombo")->currentText(), QString("GPS"));
        QCOMPARE(control<QComboBox>(dialog, "relaysCombo")->currentText(), QString("2"));
        QCOMPARE(control<QComboBox>(dialog, "interfaceCombo")->currentText(), QString("232"));
        QCOMPARE(control<QLineEdit>(dialog, "serialFirstEdit")->text(), QString("01"));
        QCOMPARE(control<QLineEdit>(dialog, "serialSecondEdit")->text(), QString("2345"));
        QVERIFY(messages_.shown.empty());
    }

    void typeAndSerialReachTheCentre() {
        ConsoleDocument document;
        ServerSession& session = document.session;
        connect(session);
        HiddenFunctionsDialog dialog(session, messages_);
        QSignalSpy loaded(&dialog, &HiddenFunctionsDialog::loaded);
        dialog.load();
        QVERIFY(loaded.wait(10000));

        control<QComboBox>(dialog, "sourceCombo")->setCurrentText("LIN");
        control<QComboBox>(dialog, "relaysCombo")->setCurrentText("0");
        control<QComboBox>(dialog, "interfaceCombo")->setCurrentText("000");
        QSignalSpy typeSet(&dialog, &HiddenFunctionsDialog::typeSet);
        control<QPushButton>(dialog, "setTypeButton")->click();
        QVERIFY(typeSet.wait(10000));
        QVERIFY(typeSet.at(0).at(0).toBool());
        QCOMPARE(messages_.shown.back().text, QString("Typ Centrali ustawiono pomyślnie"));
        QCOMPARE(messages_.shown.back().icon, QMessageBox::Information);
        QTRY_VERIFY_WITH_TIMEOUT(rig_->centre().view().settings.source == sim::code::kSourceLin, 10000);
        const auto settings = rig_->centre().view().settings;
        QCOMPARE(settings.relays, sim::code::kRelaysNone);
        QCOMPARE(settings.interface, sim::code::kInterfaceNone);

        control<QLineEdit>(dialog, "serialFirstEdit")->setText("12");
        control<QLineEdit>(dialog, "serialSecondEdit")->setText("3456");
        QSignalSpy serialSet(&dialog, &HiddenFunctionsDialog::serialSet);
        control<QPushButton>(dialog, "setSerialButton")->click();
        QVERIFY(serialSet.wait(10000));
        QCOMPARE(messages_.shown.back().text, QString("Numer seryjny ustawiono pomyślnie"));
        QTRY_VERIFY_WITH_TIMEOUT(
            (rig_->centre().view().settings.serial == std::array<std::uint8_t, 3>{0x12, 0x34, 0x56}), 10000);

        // Read back through a new dialog, as the service person would see it.
        HiddenFunctionsDialog again(session, messages_);
        QSignalSpy reloaded(&again, &HiddenFunctionsDialog::loaded);
        QTRY_VERIFY_WITH_TIMEOUT(rig_->lease().GetSerialNum() == "12/3456", 10000);
        again.load();
        QVERIFY(reloaded.wait(10000));
        QCOMPARE(control<QComboBox>(again, "sourceCombo")->currentText(), QString("LIN"));
        QCOMPARE(control<QLineEdit>(again, "serialSecondEdit")->text(), QString("3456"));
    }

    // The server refuses a serial number that is not "xx/xxxx": its own
    // description is shown in a plain box and the dialog stays open.
    void serverRefusalIsShownAndTheDialogStays() {
        ConsoleDocument document;
        ServerSession& session = document.session;
        connect(session);
        HiddenFunctionsDialog dialog(session, messages_);
        dialog.show();
        control<QLineEdit>(dialog, "serialFirstEdit")->setText("1");
        control<QLineEdit>(dialog, "serialSecondEdit")->setText("23");
        QSignalSpy serialSet(&dialog, &HiddenFunctionsDialog::serialSet);
        dialog.setSerial();
        QVERIFY(serialSet.wait(10000));
        QVERIFY(!serialSet.at(0).at(0).toBool());
        QCOMPARE(messages_.shown.back().icon, QMessageBox::NoIcon);
        QVERIFY(!messages_.shown.back().text.isEmpty());
        QVERIFY(messages_.shown.back().text != "Numer seryjny ustawiono pomyślnie");
        QVERIFY(dialog.isVisible());
    }

    // Last: the server is killed while the session still thinks it is connected.
    void failedReadClosesWithServerError() {
        ConsoleDocument document;
        ServerSession& session = document.session;
        connect(session);
        rig_->killServer();
        HiddenFunctionsDialog dialog(session, messages_);
        QSignalSpy loaded(&dialog, &HiddenFunctionsDialog::loaded);
        dialog.load();
        QVERIFY(loaded.wait(20000));
        QVERIFY(!loaded.at(0).at(0).toBool());
        const QString text = messages_.shown.back().text;
        QVERIFY2(text.startsWith("Błąd serwera DCOM !\n0x"), qPrintable(text));
    }
};

QTEST_MAIN(HiddenFunctionsDialogTest)
#include "HiddenFunctionsDialogTest.moc"
