// AnalogClock: geometry as numbers, then a painter over the mapping.
#include "AnalogClock.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>

#include <cmath>
#include <numbers>

namespace kt64::console {

QPoint clockPoint(int degrees, int length) {
    const double a = degrees * std::numbers::pi / 180.0;
    return {static_cast<int>(length * std::sin(a)), static_cast<int>(length * std::cos(a))};
}

std::array<QPoint, 5> kiteHand(int degrees, int length, int ratio) {
    const QPoint tip = clockPoint(degrees, length);
    const int x = tip.x();
    const int y = tip.y();
    return {tip, QPoint(y / ratio, -x / ratio), QPoint(-x / ratio, -y / ratio), QPoint(-y / ratio, x / ratio), tip};
}

ClockGeometry clockGeometry(int hour, int minute, int second) {
    ClockGeometry g;
    g.marks = {QPoint(0, 450),     QPoint(225, 390),  QPoint(390, 225),  QPoint(450, 0),
               QPoint(390, -225),  QPoint(225, -390), QPoint(0, -450),   QPoint(-225, -390),
               QPoint(-390, -225), QPoint(-450, 0),   QPoint(-390, 225), QPoint(-225, 390)};
    g.hourHand = kiteHand(hour * 30 + minute / 2, 200, 4);
    g.minuteHand = kiteHand(minute * 6, 400, 8);
    g.secondTip = clockPoint(second * 6, 400);
    g.secondTail = QPoint(-g.secondTip.x() / 8, -g.secondTip.y() / 8);
    return g;
}

QTransform clockTransform(const QSize& client) {
    const double scale = std::min(client.width(), client.height()) / 1000.0;
    QTransform t;
    t.translate(client.width() / 2.0, client.height() / 2.0);
    t.scale(scale, -scale);
    return t;
}

AnalogClock::AnalogClock(QWidget* parent) : QWidget(parent) {}

bool AnalogClock::setTime(DATE time) {
    const auto st = fromVariantTime(time);
    if (!st) return false;
    const int second = st->second;
    const int minute = st->minute;
    const int hour = st->hour % 12;
    if (second == second_ && minute == minute_ && hour == hour_) return false;
    second_ = second;
    minute_ = minute;
    hour_ = hour;
    update();
    return true;
}

void AnalogClock::hideSecondHand() {
    showSecondHand_ = false;
    update();
}

void AnalogClock::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit clicked();
    QWidget::mousePressEvent(event);
}

void AnalogClock::paintEvent(QPaintEvent*) {
    ++paints_;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setTransform(clockTransform(size()));
    const ClockGeometry g = clockGeometry(hour_, minute_, second_);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 0, 255), 0));
    p.drawEllipse(QRect(g.faceFrom, g.faceTo));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    constexpr int half = ClockGeometry::kMarkSide / 2;
    for (const QPoint& m : g.marks)
        p.drawRect(QRect(m.x() - half, m.y() - half, ClockGeometry::kMarkSide, ClockGeometry::kMarkSide));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::black, 0));
    p.drawPolyline(g.hourHand.data(), static_cast<int>(g.hourHand.size()));
    p.drawPolyline(g.minuteHand.data(), static_cast<int>(g.minuteHand.size()));
    if (showSecondHand_) p.drawLine(g.secondTip, g.secondTail);
}

}  // namespace kt64::console
