// The edit dialogs driven through their controls (object names are the
// controls' identifiers): defaults and column mapping, the impulse and
// cycle rules, the groups enabled by the operation, the weekday bars, the
// minutes added past midnight, the two preset popups from "TimDod" and
// their configuration, the date range kept in order.
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "EditDialogs.h"
#include "MessageBoxes.h"
#include "Registry.h"
#include "ScheduleTestSupport.h"
#include "ui_PresetsDialog.h"
#include "ui_DateRangeDialog.h"
#include "ui_AddMinutesDialog.h"
#include "ui_CommandDialog.h"

using namespace kt64::console;
using namespace kt64::test;
namespace program = kt64::program;
namespace reg = kt64::reg;

namespace {

std::vector<std::uint8_t> storedPresets() {
    auto key = reg::Key::open(reg::Hive::LocalMachine, kProgramKey);
    if (!key) return {};
    return key->binary("TimDod").value_or(std::vector<std::uint8_t>{});
}

// The entries a popup shows.
QStringList labels(QMenu& menu) {
    QStringList out;
    for (QAction* a : menu.actions())
        if (a->isVisible()) out << a->text();
    return out;
}

struct Timing {
    int impulse;
    const char* impulseUnit;
    int cycle;
    const char* cycleUnit;
};

Timing timingOf(CommandDialog& d) {
    return {d.ui().impulseSpin->value(), d.ui().impulseUnitCombo->currentIndex() ? "min" : "sek",
            d.ui().cycleSpin->value(), d.ui().cycleUnitCombo->currentIndex() ? "min" : "sek"};
}

}  // namespace

class EditDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void newCommandDefaults();
    void commandRowRoundTrip();
    void impulseAndCycleRules_data();
    void impulseAndCycleRules();
    void impulseOperationStoresCycle99();
    void rulesClampLengthsFromElsewhere();
    void weekdayBars();
    void minutesWrapPastMidnight();
    void timeBoxesOutOfRange();
    void presetPopupsFromTheRegistry();
    void presetConfigurationRefusesOutOfRange();
    void dateRangeKeptInOrder();
    void datesTypedByKeyboard_data();
    void datesTypedByKeyboard();
    void rangeWithoutYearOverTheNewYearIsSplitOnRequest();
    void blockPriorityMapping();
    void unusableRegistryFallsBackToTheDefault();
    void rightClickOpensThePopupOfItsGroup();
};

void EditDialogsTest::newCommandDefaults() {
    kt64::test::TempRegistry registry;
    RecordedMessages messages;
    CommandDialog d(messages);
    auto& ui = d.ui();
    for (QCheckBox* day : {ui.mondayCheck, ui.tuesdayCheck, ui.wednesdayCheck, ui.thursdayCheck, ui.fridayCheck,
                           ui.saturdayCheck, ui.sundayCheck})
        QVERIFY(day->isChecked());
    QCOMPARE(ui.hourCombo->currentText(), QString("0"));
    QCOMPARE(ui.minuteCombo->currentText(), QString("0"));
    QCOMPARE(ui.operationCombo->currentText(), QString("Wyłącz"));
    QCOMPARE(ui.relayCombo->currentText(), QString("1"));
    QCOMPARE(ui.impulseSpin->value(), 1);
    QCOMPARE(ui.impulseUnitCombo->currentText(), QString("sek"));
    QCOMPARE(ui.cycleSpin->value(), 2);
    QCOMPARE(ui.cycleUnitCombo->currentText(), QString("sek"));
    QVERIFY(!ui.impulseGroup->isEnabled());
    QVERIFY(!ui.cycleGroup->isEnabled());
    ui.operationCombo->setCurrentIndex(2);  // "Impuls +"
    QVERIFY(ui.impulseGroup->isEnabled());
    QVERIFY(!ui.cycleGroup->isEnabled());
    ui.operationCombo->setCurrentIndex(5);  // "Cykl -"
    QVERIFY(ui.impulseGroup->isEnabled());
    QVERIFY(ui.cycleGroup->isEnabled());
    ui.operationCombo->setCurrentIndex(1);
    QVERIFY(!ui.impulseGroup->isEnabled());
}

void EditDialogsTest::commandRowRoundTrip() {
    kt64::test::TempRegistry registry;
    RecordedMessages messages;
    CommandDialog d(messages);
    program::CommandRow row;
    row.weekdays = 0x41;  // Monday and Sunday
    row.time = program::TimeOfDay{7, 5, 0};
    row.operation = program::kCycleMinus;
    row.relay = 2;
    row.impulse = 5;
    row.impulseInMinutes = false;
    row.cycle = 3;
    row.cycleInMinutes = true;
    row.description = "przerwa";
    row.id = 12;
    row.block = 4;
    d.setRow(row);
    QCOMPARE(d.ui().hourCombo->currentText(), QString("7"));
    QCOMPARE(d.ui().minuteCombo->currentText(), QString("5"));
    QCOMPARE(d.ui().relayCombo->currentIndex(), 1);
    const program::CommandRow back = d.row();
    QCOMPARE(back.weekdays, row.weekdays);
    QCOMPARE(back.time, row.time);
    QCOMPARE(back.operation, row.operation);
    QCOMPARE(back.relay, 2);
    QCOMPARE(back.impulse, 5);
    QCOMPARE(back.cycle, 3);
    QVERIFY(back.cycleInMinutes);
    QVERIFY(!back.impulseInMinutes);
    QCOMPARE(back.description, std::string("przerwa"));
    QCOMPARE(back.id, 12);
    QCOMPARE(back.block, 4);
}

void EditDialogsTest::impulseAndCycleRules_data() {
    QTest::addColumn<int>("operation");
    QTest::addColumn<int>("impulse");
    QTest::addColumn<int>("impulseUnit");
    QTest::addColumn<int>("cycle");
    QTest::addColumn<int>("cycleUnit");
    QTest::addColumn<QString>("change");  // which control changes, to what
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("expected");  // "I unit K unit"

    // Cycle +, both seconds, cycle 10: impulse 10 makes the cycle 11.
    QTest::newRow("impulse reaches cycle") << 4 << 1 << 0 << 10 << 0 << "impulse" << 10 << "10 sek 11 sek";
    // Cycle 5 under impulse 10: the impulse becomes 4.
    QTest::newRow("cycle under impulse") << 4 << 10 << 0 << 11 << 0 << "cycle" << 5 << "4 sek 5 sek";
    // Impulse unit min while the cycle is in seconds: the cycle follows.
    QTest::newRow("impulse in minutes") << 4 << 1 << 0 << 2 << 0 << "impulseUnit" << 1 << "1 min 2 min";
    // Cycle unit sek while the impulse is in minutes: the impulse follows.
    QTest::newRow("cycle in seconds") << 4 << 1 << 1 << 5 << 1 << "cycleUnit" << 0 << "1 sek 5 sek";
    // Impulse 90 s with a cycle of 1 min: the cycle becomes 2 min.
    QTest::newRow("90 s against 1 min") << 4 << 1 << 0 << 1 << 1 << "impulse" << 90 << "90 sek 2 min";
    // Lengths stay within 1..99.
    QTest::newRow("cycle 150") << 4 << 1 << 0 << 2 << 0 << "cycle" << 150 << "1 sek 99 sek";
    QTest::newRow("cycle 100") << 4 << 1 << 0 << 2 << 0 << "cycle" << 100 << "1 sek 99 sek";
    QTest::newRow("impulse 0") << 2 << 5 << 0 << 99 << 0 << "impulse" << 0 << "1 sek 99 sek";
    QTest::newRow("impulse 99 same units") << 4 << 1 << 0 << 2 << 0 << "impulse" << 99 << "98 sek 99 sek";
    QTest::newRow("cycle 0") << 4 << 1 << 0 << 5 << 0 << "cycle" << 0 << "1 sek 2 sek";
    // Units made equal keep the impulse the shorter one.
    QTest::newRow("5 min against 3 s") << 4 << 5 << 0 << 3 << 0 << "impulseUnit" << 1 << "5 min 6 min";
    QTest::newRow("5 min then cycle in s") << 4 << 5 << 1 << 3 << 1 << "cycleUnit" << 0 << "2 sek 3 sek";
    // An impulse operation keeps the cycle at 99.
    QTest::newRow("impulse op") << 2 << 1 << 0 << 2 << 0 << "impulse" << 20 << "20 sek 99 sek";
}

void EditDialogsTest::impulseAndCycleRules() {
    QFETCH(int, operation);
    QFETCH(int, impulse);
    QFETCH(int, impulseUnit);
    QFETCH(int, cycle);
    QFETCH(int, cycleUnit);
    QFETCH(QString, change);
    QFETCH(int, value);
    QFETCH(QString, expected);
    kt64::test::TempRegistry registry;
    RecordedMessages messages;
    CommandDialog d(messages);
    program::CommandRow row;
    row.time = program::TimeOfDay{};
    row.operation = operation;
    row.impulse = impulse;
    row.impulseInMinutes = impulseUnit;
    row.cycle = cycle;
    row.cycleInMinutes = cycleUnit;
    d.setRow(row);
    if (change == "impulse") d.ui().impulseSpin->setValue(value);
    if (change == "cycle") d.ui().cycleSpin->setValue(value);
    if (change == "impulseUnit") d.ui().impulseUnitCombo->setCurrentIndex(value);
    if (change == "cycleUnit") d.ui().cycleUnitCombo->setCurrentIndex(value);
    const Timing t = timingOf(d);
    QCOMPARE(QString("%1 %2 %3 %4").arg(t.impulse).arg(t.impulseUnit).arg(t.cycle).arg(t.cycleUnit), expected);
}

void EditDialogsTest::impulseOperationStoresCycle99() {
    kt64::test::TempRegistry registry;
    RecordedMessages messages;
    CommandDialog d(messages);
    d.ui().operationCombo->setCurrentIndex(2);  // "Impuls +", impulse fields untouched
    QCOMPARE(d.row().cycle, 99);
    QCOMPARE(d.row().operation, 2);
}

// Lengths that did not come through the spins (a stored or received row;
// the centre's list holds 0..127) meet the rules as they are.
void EditDialogsTest::rulesClampLengthsFromElsewhere() {
    struct Case {
        const char* name;
        bool cycleRuleRun;
        CommandTiming in, out;
    } cases[] = {
        {"cycle 100, cycle rule", true, {1, false, 100, false}, {1, false, 99, false}},
        {"cycle 100, impulse rule", false, {1, false, 100, false}, {1, false, 99, false}},
        {"impulse 100, other units", false, {100, false, 5, true}, {99, false, 5, true}},
        {"impulse 0", true, {0, false, 5, false}, {1, false, 5, false}},
    };
    for (const auto& c : cases) {
        const CommandTiming out = c.cycleRuleRun ? cycleRule(c.in, false) : impulseRule(c.in, false);
        QVERIFY2(out == c.out, c.name);
    }
}

void EditDialogsTest::weekdayBars() {
    kt64::test::TempRegistry registry;
    RecordedMessages messages;
    CommandDialog d(messages);
    auto& ui = d.ui();
    const QList<QCheckBox*> days = {ui.mondayCheck, ui.tuesdayCheck,  ui.wednesdayCheck, ui.thursdayCheck,
                                    ui.fridayCheck, ui.saturdayCheck, ui.sundayCheck};
    const auto mask = [&] {
        int m = 0;
        for (int i = 0; i < 7; ++i) m |= days[i]->isChecked() << i;
        return m;
    };
    for (auto* day : days) day->setChecked(false);
    ui.wednesdayCheck->setChecked(true);  // Wednesday only
    ui.workdaysButton->click();
    QCOMPARE(mask(), 0);
    ui.workdaysButton->click();
    QCOMPARE(mask(), 0x1F);
    ui.weekendButton->click();
    QCOMPARE(mask(), 0x7F);
    ui.weekendButton->click();
    QCOMPARE(mask(), 0x1F);
    ui.wholeWeekButton->click();
    QCOMPARE(mask(), 0);
    ui.wholeWeekButton->click();
    QCOMPARE(mask(), 0x7F);
    QCOMPARE(d.row().weekdays, 0x7F);
    // Each button says what it is for, in a text it can show whole; the
    // tooltips say more.
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    for (QPushButton* bar : {ui.workdaysButton, ui.weekendButton, ui.wholeWeekButton, ui.impulsePresetButton}) {
        QVERIFY2(!bar->toolTip().isEmpty(), qPrintable(bar->objectName()));
        QVERIFY2(!bar->text().isEmpty(), qPrintable(bar->objectName()));
        QVERIFY2(bar->width() >= bar->sizeHint().width() && bar->height() >= bar->sizeHint().height(),
                 qPrintable(bar->objectName()));
    }
    // A screen reader names each day, not the group seven times.
    QStringList names;
    for (auto* day : days) names << day->accessibleName();
    QCOMPARE(names, QStringList({"Poniedziałek", "Wtorek", "Środa", "Czwartek", "Piątek", "Sobota", "Niedziela"}));
}

void EditDialogsTest::minutesWrapPastMidnight() {
    kt64::test::TempRegistry registry;
    RecordedMessages messages;
    CommandDialog d(messages);
    d.ui().hourCombo->setEditText("23");
    d.ui().minuteCombo->setEditText("50");
    d.minutesMenu().actions()[2]->trigger();  // "+ 15 min"
    QCOMPARE(d.ui().hourCombo->currentText(), QString("0"));
    QCOMPARE(d.ui().minuteCombo->currentText(), QString("5"));
    d.addToTime(-10);
    QCOMPARE(d.ui().hourCombo->currentText(), QString("23"));
    QCOMPARE(d.ui().minuteCombo->currentText(), QString("55"));
    d.addToTime(24 * 60 + 70);
    QCOMPARE(d.ui().hourCombo->currentText(), QString("1"));
    QCOMPARE(d.ui().minuteCombo->currentText(), QString("5"));

    // "+Ręcznie m" asks for the number in AddMinutesDialog.
    QTimer::singleShot(0, [&] {
        auto* ask = d.findChild<AddMinutesDialog*>();
        QVERIFY(ask);
        QCOMPARE(ask->ui().minutesEdit->text(), QString("1"));
        ask->ui().minutesEdit->setText("abc");
        ask->accept();
        QVERIFY(ask->isVisible());
        ask->ui().minutesEdit->setText("-65");
        ask->accept();
    });
    d.minutesMenu().actions()[8]->trigger();
    QCOMPARE(messages.texts(), std::vector<std::string>({"Please enter an integer."}));
    QCOMPARE(d.ui().hourCombo->currentText(), QString("0"));
    QCOMPARE(d.ui().minuteCombo->currentText(), QString("0"));
}

void EditDialogsTest::timeBoxesOutOfRange() {
    kt64::test::TempRegistry registry;
    RecordedMessages messages;
    CommandDialog d(messages);
    d.ui().hourCombo->setEditText("30");
    d.ui().minuteCombo->setEditText("75");
    QCOMPARE(d.row().time, (program::TimeOfDay{23, 59, 0}));
    d.show();
    d.ui().hourCombo->setEditText("siódma");
    d.accept();
    QVERIFY(d.isVisible());
    QCOMPARE(messages.texts(), std::vector<std::string>({"Please enter an integer."}));
    d.ui().hourCombo->setEditText("-1");
    d.accept();
    QVERIFY(d.isVisible());
    QCOMPARE(messages.texts().back(), std::string("Please enter an integer between 0 and 23."));
    d.ui().hourCombo->setEditText("7");
    d.accept();
    QVERIFY(!d.isVisible());
    QCOMPARE(d.result(), int(QDialog::Accepted));
}

void EditDialogsTest::presetPopupsFromTheRegistry() {
    kt64::test::TempRegistry registry;
    RecordedMessages messages;
    CommandDialog d(messages);
    // The default repeats 10, 15 and 30 minutes: each is offered once.
    QCOMPARE(labels(d.minutesMenu()), QStringList({"+ 45 min", "+ 10 min", "+ 15 min", "+ 30 min", "+ 5 min",
                                                   "+ Ręcznie (min)...", "Konfiguruj"}));
    QCOMPARE(labels(d.impulseMenu()), QStringList({"= 1", "= 2", "= 5", "= 10", "= 15", "= 20", "Konfiguruj"}));
    QCOMPARE(storedPresets(), std::vector<std::uint8_t>({45, 10, 15, 30, 30, 5, 10, 15, 1, 2, 5, 10, 15, 20}));

    // Stored presets label the popups; a value of the wrong size is
    // replaced by the default.
    reg::Key::create(reg::Hive::LocalMachine, kProgramKey)
        .setBinary("TimDod", std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 99});
    QCOMPARE(labels(d.minutesMenu())[7], QString("+ 8 min"));
    QCOMPARE(labels(d.impulseMenu())[5], QString("= 99"));
    // An impulse preset sets the length and runs the impulse rule.
    d.ui().operationCombo->setCurrentIndex(4);
    d.impulseMenu().actions()[5]->trigger();
    QCOMPARE(d.ui().impulseSpin->value(), 98);
    QCOMPARE(d.ui().cycleSpin->value(), 99);
    reg::Key::create(reg::Hive::LocalMachine, kProgramKey).setBinary("TimDod", std::vector<std::uint8_t>{1, 2, 3});
    QCOMPARE(labels(d.minutesMenu())[0], QString("+ 45 min"));
    QCOMPARE(storedPresets().size(), std::size_t(14));
    QVERIFY(messages.entries.empty());
}

void EditDialogsTest::presetConfigurationRefusesOutOfRange() {
    kt64::test::TempRegistry registry;
    RecordedMessages messages;
    PresetsDialog c(messages);
    auto& ui = c.ui();
    QCOMPARE(ui.minutes1Edit->text(), QString("45"));
    QCOMPARE(ui.impulse6Edit->text(), QString("20"));
    c.show();
    ui.minutes1Edit->setText("60");
    ui.minutes8Edit->setText("256");
    c.accept();
    QVERIFY(c.isVisible());
    QCOMPARE(messages.texts(), std::vector<std::string>({"Please enter an integer between 1 and 255."}));
    QCOMPARE(storedPresets()[0], 45);
    ui.minutes8Edit->setText("255");
    ui.impulse1Edit->setText("100");
    c.accept();
    QCOMPARE(messages.texts().back(), std::string("Please enter an integer between 1 and 99."));
    QCOMPARE(storedPresets()[0], 45);
    ui.impulse1Edit->setText("3");
    c.accept();
    QVERIFY(!c.isVisible());
    QCOMPARE(storedPresets(), std::vector<std::uint8_t>({60, 10, 15, 30, 30, 5, 10, 255, 3, 2, 5, 10, 15, 20}));
}

void EditDialogsTest::dateRangeKeptInOrder() {
    DateRangeDialog d;
    program::DateRow row;
    row.from = program::CivilDate{2025, 3, 1};
    row.to = program::CivilDate{2025, 3, 10};
    row.inItsYearOnly = true;
    row.description = "marzec";
    d.setRow(row);
    d.ui().fromEdit->setDate(QDate(2025, 4, 2));
    QCOMPARE(d.ui().toEdit->date(), QDate(2025, 4, 2));
    d.ui().toEdit->setDate(QDate(2025, 2, 1));
    QCOMPARE(d.ui().fromEdit->date(), QDate(2025, 2, 1));
    d.ui().toEdit->setDate(QDate(2025, 2, 20));
    QCOMPARE(d.ui().fromEdit->date(), QDate(2025, 2, 1));
    const auto back = d.row();
    QCOMPARE(back.from, std::optional<program::CivilDate>(program::CivilDate{2025, 2, 1}));
    QCOMPARE(back.to, std::optional<program::CivilDate>(program::CivilDate{2025, 2, 20}));
    QVERIFY(back.inItsYearOnly);
    QCOMPARE(back.description, std::string("marzec"));

    // A new range starts today.
    DateRangeDialog fresh;
    QCOMPARE(fresh.ui().fromEdit->date(), QDate::currentDate());
    QVERIFY(!fresh.row().inItsYearOnly);
}

// A date typed over a picker's text: the other picker moves only for the
// whole date, not for the half-typed ones on the way.
void EditDialogsTest::datesTypedByKeyboard_data() {
    QTest::addColumn<bool>("intoEnd");
    QTest::addColumn<bool>("selectAll");  // Ctrl+A, else Home
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    // From 15 to 30 June; typing 19 over 30 passes through 10.
    const QDate june15(2026, 6, 15), june30(2026, 6, 30);
    QTest::newRow("end, Home") << true << false << "2026-06-19" << june15 << QDate(2026, 6, 19);
    QTest::newRow("end, Ctrl+A") << true << true << "2026-06-19" << june15 << QDate(2026, 6, 19);
    QTest::newRow("end, Ctrl+A, digits only") << true << true << "20260619" << june15 << QDate(2026, 6, 19);
    QTest::newRow("end before the start") << true << true << "2026-06-01" << QDate(2026, 6, 1) << QDate(2026, 6, 1);
    QTest::newRow("start, Ctrl+A") << false << true << "2026-06-12" << QDate(2026, 6, 12) << june30;
    QTest::newRow("start after the end") << false << true << "2026-07-01" << QDate(2026, 7, 1) << QDate(2026, 7, 1);
}

void EditDialogsTest::datesTypedByKeyboard() {
    QFETCH(bool, intoEnd);
    QFETCH(bool, selectAll);
    QFETCH(QString, typed);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    DateRangeDialog d;
    program::DateRow row;
    row.from = program::CivilDate{2026, 6, 15};
    row.to = program::CivilDate{2026, 6, 30};
    d.setRow(row);
    d.show();
    QVERIFY(QTest::qWaitForWindowActive(&d));
    QDateEdit* edit = intoEnd ? d.ui().toEdit : d.ui().fromEdit;
    edit->setFocus();
    if (selectAll)
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    else
        QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClicks(edit, typed);
    // Leaving the picker finishes the typing.
    d.ui().descriptionEdit->setFocus();
    QCOMPARE(d.ui().fromEdit->date(), from);
    QCOMPARE(d.ui().toEdit->date(), to);
}

void EditDialogsTest::rangeWithoutYearOverTheNewYearIsSplitOnRequest() {
    // 1 September .. 30 June without year applies on no day as it stands.
    struct Case {
        const char* name;
        bool yearBound;
        QMessageBox::StandardButton answer;
        bool asked, accepted;
        std::vector<std::pair<program::CivilDate, program::CivilDate>> stored;
    } cases[] = {
        {"split", false, QMessageBox::Yes, true, true, {{{2025, 9, 1}, {2025, 12, 31}}, {{2026, 1, 1}, {2026, 6, 30}}}},
        {"as typed", false, QMessageBox::No, true, true, {{{2025, 9, 1}, {2026, 6, 30}}}},
        {"back to the dialog", false, QMessageBox::Cancel, true, false, {}},
        {"with year", true, QMessageBox::Yes, false, true, {{{2025, 9, 1}, {2026, 6, 30}}}},
    };
    for (const auto& c : cases) {
        std::vector<MessageBoxRequest> asked;
        setMessageBoxHandler([&](QWidget*, const MessageBoxRequest& r) {
            asked.push_back(r);
            return c.answer;
        });
        DateRangeDialog d;
        program::DateRow row;
        row.from = program::CivilDate{2025, 9, 1};
        row.to = program::CivilDate{2026, 6, 30};
        row.inItsYearOnly = c.yearBound;
        d.setRow(row);
        d.show();
        d.accept();
        setMessageBoxHandler({});
        QCOMPARE(asked.size(), std::size_t(c.asked ? 1 : 0));
        if (c.asked)
            QCOMPARE(asked[0].text,
                     QString("Zakres dat bez roku od 1 września do 30 czerwca kończy się w roku wcześniej, "
                             "niż się zaczyna, więc nie obowiązuje w żadnym dniu.\n\nCzy zapisać go jako "
                             "dwa zakresy: od 1 września do 31 grudnia i od 1 stycznia do 30 czerwca?"));
        QCOMPARE(!d.isVisible(), c.accepted);
        std::vector<std::pair<program::CivilDate, program::CivilDate>> stored;
        for (const auto& r : c.accepted ? d.rows() : std::vector<program::DateRow>{})
            stored.emplace_back(*r.from, *r.to);
        QVERIFY2(stored == c.stored, c.name);
    }
}

void EditDialogsTest::blockPriorityMapping() {
    BlockDialog d;
    d.setRow({5, 7, "Sobota"});
    QCOMPARE(d.row().priority, 7);
    QCOMPARE(d.row().description, std::string("Sobota"));
    QCOMPARE(d.row().id, 5);
    BlockDialog fresh;
    QCOMPARE(fresh.row().priority, 1);
}

void EditDialogsTest::unusableRegistryFallsBackToTheDefault() {
    // A store that cannot be opened: its folder is a plain file.
    kt64::test::TempDir dir;
    { std::ofstream(dir.path() / "plik") << "x"; }
    kt64::test::ScopedEnv store("KT64_REGISTRY", (dir.path() / "plik" / "registry.db").string());
    RecordedMessages messages;
    CommandDialog d(messages);
    QCOMPARE(labels(d.impulseMenu())[0], QString("= 1"));
    QCOMPARE(messages.entries.size(), std::size_t(1));
    QCOMPARE(messages.entries[0].text.substr(0, kRegistryOpenFailed.size()), std::string(kRegistryOpenFailed));
    QCOMPARE(messages.entries[0].icon, program::MessageIcon::Stop);
    // The configuration shows the defaults and cannot store them.
    messages.entries.clear();
    PresetsDialog c(messages);
    QCOMPARE(c.ui().minutes1Edit->text(), QString("45"));
    c.show();
    c.accept();
    QCOMPARE(messages.entries.size(), std::size_t(2));
    QVERIFY(!c.isVisible());
}

void EditDialogsTest::rightClickOpensThePopupOfItsGroup() {
    kt64::test::TempRegistry registry;
    RecordedMessages messages;
    CommandDialog d(messages);
    d.ui().operationCombo->setCurrentIndex(2);  // the impulse group enabled
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    // Which popup a right click at a point of the dialog opens, if any.
    const auto popupAt = [&](QWidget* w) {
        QString first;
        QTimer::singleShot(0, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                first = menu->actions().first()->objectName();
                menu->close();
            }
        });
        const QPoint pos = w->mapTo(&d, QPoint(2, w->height() - 3));
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, d.mapToGlobal(pos));
        QApplication::sendEvent(&d, &event);
        QApplication::processEvents();
        return first;
    };
    QCOMPARE(popupAt(d.ui().timeGroup), QString("addMinutesPreset1"));
    QCOMPARE(popupAt(d.ui().impulseGroup), QString("impulsePreset1"));
    QCOMPARE(popupAt(d.ui().cycleGroup), QString());
    QCOMPARE(popupAt(d.ui().weekdaysGroup), QString());
}

QTEST_MAIN(EditDialogsTest)
#include "EditDialogsTest.moc"
