// The analogue clock's geometry as numbers, its repaint-on-change rule,
// and the lamp's colour sets and switching.
#include <QtTest>

#include <cmath>
#include <numbers>

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

namespace {

// Whether p is where a point at degrees clockwise from 12 o'clock and
// length units from the centre belongs, on a face 1000 units across: to
// within two units, what cutting the coordinates to whole units (twice for
// a kite's corners, which are the tip's divided) costs.
bool pointsAt(QPoint p, double degrees, double length) {
    const double radians = degrees * std::numbers::pi / 180.0;
    return std::hypot(p.x() - length * std::sin(radians), p.y() - length * std::cos(radians)) <= 2.0;
}

}  // namespace

void WidgetsTest::handsAsNumbers_data() {
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<int>("second");
    // Clockwise from 12: the hour hand 30 degrees an hour and half a
    // degree a whole two minutes, the minute and second hands 6 a step.
    QTest::addColumn<double>("hourDegrees");
    QTest::addColumn<double>("minuteDegrees");
    QTest::addColumn<double>("secondDegrees");
    QTest::newRow("3:00:15") << 3 << 0 << 15 << 90.0 << 0.0 << 90.0;
    QTest::newRow("6:30:30") << 6 << 30 << 30 << 195.0 << 180.0 << 180.0;
    QTest::newRow("9:45:45 hour hand in whole degrees") << 9 << 45 << 45 << 292.0 << 270.0 << 270.0;
    QTest::newRow("11:59:59 just short of 12") << 11 << 59 << 59 << 359.0 << 354.0 << 354.0;
}

void WidgetsTest::handsAsNumbers() {
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(int, second);
    QFETCH(double, hourDegrees);
    QFETCH(double, minuteDegrees);
    QFETCH(double, secondDegrees);
    const auto g = clockGeometry(hour, minute, second);
    // Each hand is a kite from its tip round the centre back to the tip:
    // the hour hand short and broad (a quarter of its length to each side),
    // the minute hand long and thin (an eighth, and an eighth behind).
    QVERIFY(pointsAt(g.hourHand[0], hourDegrees, 200));
    QVERIFY(pointsAt(g.hourHand[1], hourDegrees + 90, 50));
    QVERIFY(pointsAt(g.hourHand[3], hourDegrees - 90, 50));
    QCOMPARE(g.hourHand[4], g.hourHand[0]);
    QVERIFY(pointsAt(g.minuteHand[0], minuteDegrees, 400));
    QVERIFY(pointsAt(g.minuteHand[2], minuteDegrees + 180, 50));
    QCOMPARE(g.minuteHand[4], g.minuteHand[0]);
    // The second hand crosses the centre: a tail an eighth of its length.
    QVERIFY(pointsAt(g.secondTip, secondDegrees, 400));
    QVERIFY(pointsAt(g.secondTail, secondDegrees + 180, 50));
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
