// The computer picker with a browse model behind the seam (domains, lists,
// the OK rule, the CompName text, the no-domain case, answers for a domain
// no longer chosen), and the real Avahi client and the link server's
// announcement where no daemon can be reached. No private Avahi daemon is
// started: it needs the system bus name and root's rights.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <condition_variable>
#include <map>
#include <set>
#include <mutex>

#include "ComputerPickerDialog.h"
#include "ConsoleRig.h"
#include "ServiceAdvertisement.h"

using namespace kt64;
using namespace kt64::console;
using namespace kt64::test;

namespace {

// Domains and computers as the test lays them out; a domain can be held
// back until the test releases it, to see a late answer dropped.
class FakeBrowser final : public ComputerBrowser {
public:
    std::vector<std::string> domains() override { return domainList; }
    std::vector<BrowsedComputer> computers(const std::string& domain) override {
        std::unique_lock lock(mutex);
        released.wait(lock, [&] { return !held.count(domain); });
        asked.push_back(domain);
        return byDomain[domain];
    }
    void release(const std::string& domain) {
        std::lock_guard lock(mutex);
        held.erase(domain);
        released.notify_all();
    }

    std::vector<std::string> domainList;
    std::map<std::string, std::vector<BrowsedComputer>> byDomain;
    std::set<std::string> held;
    std::vector<std::string> asked;
    std::mutex mutex;
    std::condition_variable released;
};

QTreeWidget* list(QDialog& d) { return d.findChild<QTreeWidget*>("computerList"); }
QComboBox* domains(QDialog& d) { return d.findChild<QComboBox*>("domainList"); }
QPushButton* ok(QDialog& d) { return d.findChild<QDialogButtonBox*>("buttons")->button(QDialogButtonBox::Ok); }

QStringList rows(QTreeWidget* tree) {
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        out << tree->topLevelItem(i)->text(0) + "|" + tree->topLevelItem(i)->text(1);
    return out;
}

}  // namespace

class ComputerPickerTest : public QObject {
    Q_OBJECT

private:
    RecordingMessages messages_;
    WorkerCalls workers_{2};

private slots:
    void init() { messages_.shown.clear(); }

    void listsTheComputersOfTheChosenDomain() {
        auto browser = std::make_shared<FakeBrowser>();
        browser->domainList = {"local", "biuro.example"};
        browser->byDomain["local"] = {{"SZKOLA", "local", 6464}, {"PORTIERNIA", "local", 7000}};
        browser->byDomain["biuro.example"] = {{"SEKRETARIAT", "biuro.example", 6464}};
        ComputerPickerDialog dialog(browser, workers_, 6464, messages_);
        QCOMPARE(dialog.windowTitle(), QString("Wybierz komputer"));
        QVERIFY(dialog.isSizeGripEnabled());
        QCOMPARE(list(dialog)->headerItem()->text(0), QString("Nazwa"));
        QCOMPARE(list(dialog)->headerItem()->text(1), QString("Grupa/Domena"));
        QSignalSpy computers(&dialog, &ComputerPickerDialog::computersShown);
        dialog.load();
        QVERIFY(computers.wait(10000));
        QCOMPARE(domains(dialog)->count(), 2);
        QCOMPARE(domains(dialog)->currentText(), QString("local"));
        QCOMPARE(rows(list(dialog)), (QStringList{"SZKOLA|local", "PORTIERNIA|local"}));
        QVERIFY(!ok(dialog)->isEnabled());
        QVERIFY(!dialog.chosen());

        list(dialog)->setCurrentItem(list(dialog)->topLevelItem(1));
        QVERIFY(ok(dialog)->isEnabled());
        QCOMPARE(*dialog.chosen(), QString("PORTIERNIA:7000"));
        list(dialog)->setCurrentItem(list(dialog)->topLevelItem(0));
        QCOMPARE(*dialog.chosen(), QString("SZKOLA"));

        domains(dialog)->setCurrentIndex(1);
        QVERIFY(computers.wait(10000));
        QCOMPARE(rows(list(dialog)), (QStringList{"SEKRETARIAT|biuro.example"}));
        QVERIFY(!ok(dialog)->isEnabled());
        QVERIFY(messages_.shown.empty());
    }

    void lateAnswerForAnotherDomainIsDropped() {
        auto browser = std::make_shared<FakeBrowser>();
        browser->domainList = {"local", "other"};
        browser->byDomain["local"] = {{"STARY", "local", 6464}};
        browser->byDomain["other"] = {{"NOWY", "other", 6464}};
        browser->held = {"local"};
        ComputerPickerDialog dialog(browser, workers_, 6464, messages_);
        QSignalSpy domainsShown(&dialog, &ComputerPickerDialog::domainsShown);
        QSignalSpy computers(&dialog, &ComputerPickerDialog::computersShown);
        dialog.load();
        QVERIFY(domainsShown.wait(10000));
        domains(dialog)->setCurrentIndex(1);
        browser->release("local");
        QVERIFY(computers.wait(10000));
        QCOMPARE(rows(list(dialog)), (QStringList{"NOWY|other"}));
        QCOMPARE(computers.count(), 1);
    }

    void noDomainDisablesBothLists() {
        auto browser = std::make_shared<FakeBrowser>();
        ComputerPickerDialog dialog(browser, workers_, 6464, messages_);
        QSignalSpy domainsShown(&dialog, &ComputerPickerDialog::domainsShown);
        dialog.load();
        QVERIFY(domainsShown.wait(10000));
        QCOMPARE(messages_.shown.size(), std::size_t(1));
        QCOMPARE(messages_.shown[0].text, QString("Domains informations not found !"));
        QCOMPARE(messages_.shown[0].caption, QString("Wybierz komputer"));
        QCOMPARE(messages_.shown[0].icon, QMessageBox::Warning);
        QCOMPARE(domains(dialog)->currentText(), QString("(NONE)"));
        QVERIFY(!domains(dialog)->isEnabled());
        QVERIFY(!list(dialog)->isEnabled());
        QVERIFY(!ok(dialog)->isEnabled());
        QVERIFY(browser->asked.empty());
    }

    // The real client where no daemon answers (the system bus is pointed at
    // nothing): no domain, and the picker says so.
    void avahiWithoutDaemon() {
        kt64::test::ScopedEnv bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/kt64-no-bus");
        auto browser = makeAvahiComputerBrowser();
        QVERIFY(browser->domains().empty());
        QVERIFY(browser->computers("local").empty());
        ComputerPickerDialog dialog(browser, workers_, 6464, messages_);
        QSignalSpy domainsShown(&dialog, &ComputerPickerDialog::domainsShown);
        dialog.load();
        QVERIFY(domainsShown.wait(10000));
        QCOMPARE(domainsShown.at(0).at(0).toInt(), 0);
        QCOMPARE(messages_.shown.size(), std::size_t(1));
    }

    void serverAnnouncementWithoutDaemonIsOneLogLine() {
        kt64::test::ScopedEnv bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/kt64-no-bus");
        std::vector<std::string> lines;
        {
            server::ServiceAdvertisement advert("SZKOLA", 6464, [&](std::string_view l) { lines.emplace_back(l); });
            QVERIFY(!advert.established());
        }
        QCOMPARE(lines.size(), std::size_t(1));
        QVERIFY2(lines[0].find("Not advertised") == 0, lines[0].c_str());
    }

    void serverAnnouncesItsComputerName() {
        const auto name = server::advertisedComputerName();
        QVERIFY(!name.empty());
        QVERIFY(name.find('.') == std::string::npos);
    }

    void compNameText() {
        QCOMPARE(compNameOf({"SZKOLA", "local", 6464}, 6464), std::string("SZKOLA"));
        QCOMPARE(compNameOf({"SZKOLA", "local", 7000}, 6464), std::string("SZKOLA:7000"));
        QCOMPARE(compNameOf({"SZKOLA", "local", 0}, 6464), std::string("SZKOLA"));
    }
};

QTEST_MAIN(ComputerPickerTest)
#include "ComputerPickerTest.moc"
