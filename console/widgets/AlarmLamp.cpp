// AlarmLamp: a round lamp with rims and a highlight, or a bevelled square.
#include "AlarmLamp.h"

#include <QPainter>

namespace kt64::console {

std::pair<QColor, QColor> lampColours(int colourSet) {
    switch (colourSet) {
    case kLampGreen:
        return {QColor(0, 250, 0), QColor(0, 150, 0)};
    case kLampBlue:
        return {QColor(0, 0, 250), QColor(0, 0, 150)};
    case kLampYellow:
        return {QColor(200, 200, 0), QColor(150, 150, 0)};
    default:
        return {QColor(250, 0, 0), QColor(150, 0, 0)};
    }
}

AlarmLamp::AlarmLamp(QWidget* parent) : QWidget(parent) {}

void AlarmLamp::setColorAndShape(int colourSet, int shape) {
    colourSet_ = colourSet;
    shape_ = shape;
    update();
}

bool AlarmLamp::switchOn() {
    if (lit_) return false;
    lit_ = true;
    update();
    return true;
}

bool AlarmLamp::switchOff() {
    if (!lit_) return false;
    lit_ = false;
    update();
    return true;
}

QColor AlarmLamp::shownColour() const {
    const auto [on, off] = lampColours(colourSet_);
    return lit_ ? on : off;
}

void AlarmLamp::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
    if (shape_ == kLampRectangle) {
        p.fillRect(r, shownColour());
        p.setPen(QPen(QColor(128, 128, 128), 1));
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
        p.setPen(QPen(QColor(192, 192, 192), 1));
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        return;
    }
    p.setBrush(shownColour());
    p.setPen(QPen(QColor(128, 128, 128), 2));
    p.drawEllipse(r);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(192, 192, 192), 1));
    p.drawEllipse(r.adjusted(2, 2, -2, -2));
    // Highlight: an arc from the top centre round to the bottom right, and a spot.
    p.setPen(QPen(Qt::white, 1));
    const QRectF inner = r.adjusted(3, 3, -3, -3);
    p.drawArc(inner, 90 * 16, -135 * 16);
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    const double spot = std::max(2.0, r.width() / 8);
    p.drawEllipse(QRectF(r.left() + r.width() * 0.25, r.top() + r.height() * 0.25, spot, spot));
}

}  // namespace kt64::console
