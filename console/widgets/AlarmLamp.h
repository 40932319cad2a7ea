// AlarmLamp: one alarm lamp of the device panel. A lamp has a colour set
// (its lit and dark colours) and a shape, and repaints only when it is
// switched between lit and dark.
#pragma once

#include <QColor>
#include <QWidget>

#include <utility>

namespace kt64::console {

enum LampColours { kLampRed = 2001, kLampGreen = 2002, kLampBlue = 2003, kLampYellow = 2004 };
enum LampShape { kLampRound = 3001, kLampRectangle = 3002 };

// (lit, dark) colours of a set; an unknown set is red.
std::pair<QColor, QColor> lampColours(int colourSet);

class AlarmLamp : public QWidget {
    Q_OBJECT
public:
    explicit AlarmLamp(QWidget* parent = nullptr);

    void setColorAndShape(int colourSet, int shape);
    // Switch on / off: return whether the lamp changed (and so repainted).
    bool switchOn();
    bool switchOff();
    bool setLit(bool lit) { return lit ? switchOn() : switchOff(); }
    bool lit() const { return lit_; }
    int colourSet() const { return colourSet_; }
    int shape() const { return shape_; }
    // The colour the lamp shows now.
    QColor shownColour() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int colourSet_ = kLampRed;
    int shape_ = kLampRound;
    bool lit_ = false;
};

}  // namespace kt64::console
