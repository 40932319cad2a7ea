// The analogue clock's geometry as numbers, its repaint-on-change rule,
// and the lamp's colour sets and switching.
#include <QtTest>

#include "AlarmLamp.h"
#include "AnalogClock.h"
#include "WidgetsTests.h"

using namespace kt64::console;
using kt64::DATE;

void WidgetsTest::faceMarksAndBox() {
    const auto g = clockGeometry(0, 0, 0);
    QCOMPARE(g.faceFrom, QPoint(-480, -460));
    QCOMPARE(g.faceTo, QPoint(460, 460));
    QCOMPARE(g.marks[0], QPoint(0, 450));
    QCOMPARE(g.marks[3], QPoint(450, 0));
    QCOMPARE(g.marks[6], QPoint(0, -450));
    QCOMPARE(g.marks[9], QPoint(-450, 0));
    QCOMPARE(g.marks[1], QPoint(225, 390));
    QCOMPARE(ClockGeometry::kMarkSide, 40);
}

void WidgetsTest::handsAsNumbers_data() {
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<int>("second");
    QTest::addColumn<QPoint>("hourTip");
    QTest::addColumn<QPoint>("hourCorner");  // (y/4, -x/4)
    QTest::addColumn<QPoint>("minuteTip");
    QTest::addColumn<QPoint>("minuteBack");  // (-x/8, -y/8)
    QTest::addColumn<QPoint>("secondTip");
    QTest::addColumn<QPoint>("secondTail");
    // 3:00:15 - hour hand east, minute hand north, second hand east.
    QTest::newRow("3:00:15") << 3 << 0 << 15 << QPoint(200, 0) << QPoint(0, -50) << QPoint(0, 400) << QPoint(0, -50)
                             << QPoint(400, 0) << QPoint(-50, 0);
    // 6:30:30 - hour hand at 195 degrees (6*30 + 30/2).
    QTest::newRow("6:30:30") << 6 << 30 << 30 << QPoint(-51, -193) << QPoint(-48, 12) << QPoint(0, -400)
                             << QPoint(0, 50) << QPoint(0, -400) << QPoint(0, 50);
    // 9:45:45 - minute/2 is whole: 45/2 = 22, so 292 degrees.
    QTest::newRow("9:45:45") << 9 << 45 << 45 << QPoint(-185, 74) << QPoint(18, 46) << QPoint(-400, 0) << QPoint(50, 0)
                             << QPoint(-400, 0) << QPoint(50, 0);
    // 11:59:59 - the hands just short of 12.
    QTest::newRow("11:59:59") << 11 << 59 << 59 << QPoint(-3, 199) << QPoint(49, 0) << QPoint(-41, 397)
                              << QPoint(5, -49) << QPoint(-41, 397) << QPoint(5, -49);
}

void WidgetsTest::handsAsNumbers() {
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(int, second);
    QFETCH(QPoint, hourTip);
    QFETCH(QPoint, hourCorner);
    QFETCH(QPoint, minuteTip);
    QFETCH(QPoint, minuteBack);
    QFETCH(QPoint, secondTip);
    QFETCH(QPoint, secondTail);
    const auto g = clockGeometry(hour, minute, second);
    QCOMPARE(g.hourHand[0], hourTip);
    QCOMPARE(g.hourHand[1], hourCorner);
    QCOMPARE(g.hourHand[4], hourTip);
    QCOMPARE(g.minuteHand[0], minuteTip);
    QCOMPARE(g.minuteHand[2], minuteBack);
    QCOMPARE(g.secondTip, secondTip);
    QCOMPARE(g.secondTail, secondTail);
}

void WidgetsTest::mappingIsIsotropicAndCentred() {
    const QTransform t = clockTransform(QSize(200, 100));
    QCOMPARE(t.map(QPointF(0, 0)), QPointF(100, 50));
    // 1000 units fit the smaller side; y grows upwards.
    QCOMPARE(t.map(QPointF(500, 500)), QPointF(150, 0));
    QCOMPARE(t.map(QPointF(-500, -500)), QPointF(50, 100));
}

void WidgetsTest::clockRepaintsOnlyOnChange() {
    AnalogClock clock;
    clock.resize(100, 100);
    const DATE t = *kt64::makeDate(2024, 5, 17, 13, 4, 5);
    QVERIFY(clock.setTime(t));
    QCOMPARE(clock.hour(), 1);
    QCOMPARE(clock.minute(), 4);
    QCOMPARE(clock.second(), 5);
    QVERIFY(!clock.setTime(t));
    // Twelve hours later the face is the same.
    QVERIFY(!clock.setTime(*kt64::makeDate(2024, 5, 18, 1, 4, 5)));
    QVERIFY(clock.setTime(*kt64::makeDate(2024, 5, 18, 1, 4, 6)));
    QVERIFY(clock.secondHandShown());
    clock.hideSecondHand();
    QVERIFY(!clock.secondHandShown());
}

void WidgetsTest::lampColourSets() {
    struct Case {
        int set;
        QColor lit, dark;
    };
    const Case cases[] = {{kLampRed, {250, 0, 0}, {150, 0, 0}},
                          {kLampGreen, {0, 250, 0}, {0, 150, 0}},
                          {kLampBlue, {0, 0, 250}, {0, 0, 150}},
                          {kLampYellow, {200, 200, 0}, {150, 150, 0}}};
    for (const auto& c : cases) {
        AlarmLamp lamp;
        lamp.setColorAndShape(c.set, kLampRectangle);
        QCOMPARE(lamp.shownColour(), c.dark);
        QVERIFY(lamp.switchOn());
        QCOMPARE(lamp.shownColour(), c.lit);
        QVERIFY(!lamp.switchOn());
        QVERIFY(lamp.switchOff());
        QVERIFY(!lamp.switchOff());
    }
}
