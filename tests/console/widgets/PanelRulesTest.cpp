// The device panel's rules: what the operator reads for each value the
// server gives, and what is sent for what the operator chose.
#include <QtTest>

#include "PanelRules.h"
#include "WidgetsTests.h"

using namespace kt64::console::panel;
using kt64::DATE;
using kt64::makeDate;

void PanelRulesTest::readoutsOfDates() {
    const DATE friday = *makeDate(2024, 5, 17, 9, 5, 7);
    QCOMPARE(timeText(friday), QString("09:05:07"));
    QCOMPARE(dateText(friday), QString("17/05/2024"));
    QCOMPARE(weekdayText(friday), QString("Piątek"));
    const char* const week[] = {"Niedziela", "Poniedziałek", "Wtorek", "Środa", "Czwartek", "Piątek", "Sobota"};
    for (int d = 0; d < 7; ++d) QCOMPARE(weekdayText(*makeDate(2024, 5, 12 + d)), QString::fromUtf8(week[d]));
    // Dates the conversion rejects read "Błąd".
    for (DATE bad : {std::nan(""), 1e9, -1e9}) {
        QCOMPARE(weekdayText(bad), QString("Błąd"));
        QCOMPARE(timeText(bad), QString("Błąd"));
    }
}

void PanelRulesTest::offsets_data() {
    QTest::addColumn<double>("days");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("hours");
    QTest::addColumn<int>("minutes");
    QTest::newRow("+1 h") << 1.0 / 24 << "+01:00" << 1 << 0;
    QTest::newRow("-1 h") << -1.0 / 24 << "-01:00" << 1 << 0;
    QTest::newRow("zero") << 0.0 << "+00:00" << 0 << 0;
    QTest::newRow("-3:30") << -(3.5 / 24) << "-03:30" << 3 << 30;
    QTest::newRow("+5:45") << (5.75 / 24) << "+05:45" << 5 << 45;
    QTest::newRow("-23:59") << -(23 * 60 + 59) / 1440.0 << "-23:59" << 23 << 59;
    // A value a hair below the minute still reads as that minute.
    QTest::newRow("rounding") << (60.0 / 1440 - 1e-9) << "+01:00" << 1 << 0;
}

void PanelRulesTest::offsets() {
    QFETCH(double, days);
    QFETCH(QString, text);
    QFETCH(int, hours);
    QFETCH(int, minutes);
    QCOMPARE(offsetText(days), text);
    QCOMPARE(offsetMagnitude(days).hours, hours);
    QCOMPARE(offsetMagnitude(days).minutes, minutes);
    QCOMPARE(offsetDays(days >= 0, hours, minutes) * 1440, std::round(days * 1440));
}

void PanelRulesTest::lineStates() {
    QCOMPARE(analogLineState(A_LINE1, S_LINE1ANALON).text, QString("Zwarta"));
    QCOMPARE(analogLineState(A_LINE1, 0).background, QColor(255, 0, 0));
    QCOMPARE(analogLineState(0, S_LINE1ANALON).text, QString("Załączona"));
    QCOMPARE(analogLineState(0, S_LINE1ANALON).background, QColor(0, 255, 0));
    QCOMPARE(analogLineState(A_MANSET, S_LINE1DIGITON).text, QString("Wyłączona"));
    QCOMPARE(analogLineState(0, 0).background, QColor(255, 255, 0));
    QCOMPARE(digitalLineState(S_LINE1DIGITON).text, QString("Załączona"));
    QCOMPARE(digitalLineState(S_LINE1ANALON).text, QString("Wyłączona"));
}

void PanelRulesTest::daylightText() {
    QCOMPARE(kt64::console::panel::daylightText(S_CHANGETIMEON | S_WINTERTIME), QString("Czas zimowy"));
    QCOMPARE(kt64::console::panel::daylightText(S_CHANGETIMEON), QString("Czas letni"));
    // Change off: its off state, whatever the winter bit says.
    QCOMPARE(kt64::console::panel::daylightText(S_WINTERTIME), QString("Zmiana czasu wyłączona"));
    QCOMPARE(kt64::console::panel::daylightText(0), QString("Zmiana czasu wyłączona"));
}

void PanelRulesTest::telegram() {
    const std::pair<int, const char*> texts[] = {
        {0, "g,m"}, {17, "g,m,s"}, {34, "g,m,s,d,m,r"}, {5, "Błąd"}, {-1, "Błąd"}};
    for (auto [type, text] : texts) QCOMPARE(telegramText(type), QString::fromUtf8(text));
    QCOMPARE(telegramIndex(5), 0);
    QCOMPARE(telegramIndex(17), 1);
    QCOMPARE(telegramIndex(34), 2);
    for (int i = 0; i < 3; ++i) QCOMPARE(telegramIndex(telegramType(i)), i);
}

void PanelRulesTest::changeHourClamp_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("hour");  // -1 = no number: the hour stays
    QTest::addColumn<bool>("clamped");
    QTest::newRow("12") << "12" << 8 << true;
    QTest::newRow("9") << "9" << 8 << true;
    QTest::newRow("8") << "8" << 8 << false;
    QTest::newRow("0") << "0" << 0 << false;
    QTest::newRow("07") << "07" << 7 << false;
    QTest::newRow("too long for an int") << "99999999999" << 8 << true;
    QTest::newRow("empty") << "" << -1 << false;
    QTest::newRow("letters") << "ab" << -1 << false;
    QTest::newRow("3x") << "3x" << -1 << false;
    QTest::newRow("-3") << "-3" << -1 << false;
}

void PanelRulesTest::changeHourClamp() {
    QFETCH(QString, typed);
    QFETCH(int, hour);
    QFETCH(bool, clamped);
    const auto h = typedChangeHour(typed);
    QCOMPARE(h ? h->hour : -1, hour);
    QCOMPARE(h && h->clamped, clamped);
}

void PanelRulesTest::alarmRows() {
    const auto d = alarmRowsFor('D');
    QVERIFY(d && !d->transmission && d->synchro && d->antenna);
    QCOMPARE(d->antennaText, QString("Brak anteny"));
    const auto g = alarmRowsFor('G');
    QVERIFY(g && g->transmission && g->synchro && g->antenna);
    QCOMPARE(g->antennaText, QString("Impulsy 1PPS"));
    const auto r = alarmRowsFor('R');
    QVERIFY(r && r->transmission && r->synchro && !r->antenna);
    const auto none = alarmRowsFor('0');
    QVERIFY(none && !none->transmission && !none->synchro && !none->antenna);
    QVERIFY(!alarmRowsFor('L'));
    QVERIFY(!alarmRowsFor('d'));
}

void PanelRulesTest::buildTypeRhythm() {
    // Read on the first poll, then on every ninth.
    BuildTypeTicks ticks;
    std::vector<int> due;
    for (int poll = 1; poll <= 20; ++poll) {
        if (ticks.due()) due.push_back(poll);
        ticks.advance();
    }
    QCOMPARE(due, (std::vector<int>{1, 10, 19}));
}

void PanelRulesTest::changeDates() {
    const DATE zl = *makeDate(1900, 3, 31, 2);
    const DATE local = *makeDate(2024, 5, 17, 13, 0, 0);
    QCOMPARE(changeDateText(zl, local), QString("31/03/2024"));
    QCOMPARE(changeTime(3, 2), *makeDate(1900, 3, 1, 2));
    QCOMPARE(changeTime(10, 3), *makeDate(1900, 10, 1, 3));
    const auto mh = monthHourOf(*makeDate(1900, 10, 27, 3));
    QVERIFY(mh);
    QCOMPARE(mh->month, 10);
    QCOMPARE(mh->hour, 3);
}
