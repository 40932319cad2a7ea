// AnalogClock: the device panel's clock faces (GMT, local time and the LA
// control clock). The face is drawn in an isotropic 1000 x 1000 space with
// its origin at the centre and y upwards, so it keeps its shape in any
// rectangle; clockGeometry() gives every point of a drawing in that space,
// so the hands can be checked as numbers without painting. The face only
// repaints when the second, minute or hour shown changes.
#pragma once

#include <QPoint>
#include <QRect>
#include <QTransform>
#include <QWidget>

#include <array>

#include "OleDate.h"

namespace kt64::console {

struct ClockGeometry {
    // The face's bounding box, (left, bottom) and (right, top) in logical units.
    QPoint faceFrom{-480, -460};
    QPoint faceTo{460, 460};
    // Centres of the twelve filled squares (side kMarkSide), 12 o'clock first.
    std::array<QPoint, 12> marks{};
    // Kite outlines: tip, three corners, tip again.
    std::array<QPoint, 5> hourHand{};
    std::array<QPoint, 5> minuteHand{};
    // The second hand: a line from its tip to its tail.
    QPoint secondTip;
    QPoint secondTail;

    static constexpr int kMarkSide = 40;
};

// A point at angle degrees clockwise from 12 o'clock and length units from
// the centre, (L sin a, L cos a), each coordinate cut towards zero.
QPoint clockPoint(int degrees, int length);
// The kite of a hand: tip (x, y), then (y/r, -x/r), (-x/r, -y/r), (-y/r, x/r)
// with whole-number division, and back to the tip.
std::array<QPoint, 5> kiteHand(int degrees, int length, int ratio);
// hour 0..11: hour hand at hour*30 + minute/2 (whole), length 200, ratio 4;
// minute hand at minute*6, length 400, ratio 8; second hand at second*6,
// length 400, tail at (-x/8, -y/8).
ClockGeometry clockGeometry(int hour, int minute, int second);
// The isotropic mapping of the 1000 x 1000 space onto a client rectangle.
QTransform clockTransform(const QSize& client);

class AnalogClock : public QWidget {
    Q_OBJECT
public:
    explicit AnalogClock(QWidget* parent = nullptr);

    // Takes the date's second, minute and hour modulo 12; repaints only when
    // one of them changed. Returns whether it did.
    bool setTime(DATE time);
    // Erases the second hand for good (the LA control clock has none).
    void hideSecondHand();
    bool secondHandShown() const { return showSecondHand_; }
    int hour() const { return hour_; }
    int minute() const { return minute_; }
    int second() const { return second_; }
    // Paint events so far (repaints happen only on change).
    int paintCount() const { return paints_; }

signals:
    // A click on the face (the panel selects GMT or local editing).
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int second_ = 0;
    int minute_ = 0;
    int hour_ = 0;
    bool showSecondHand_ = true;
    int paints_ = 0;
};

}  // namespace kt64::console
