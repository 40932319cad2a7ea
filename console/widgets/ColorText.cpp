#include "ColorText.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>

namespace kt64::console {

ColorText::ColorText(QWidget* parent) : ColorText(QString(), parent) {}

ColorText::ColorText(const QString& text, QWidget* parent) : QLabel(text, parent), background_(buttonFace()) {}

QColor ColorText::buttonFace() { return QApplication::palette().color(QPalette::Button); }

bool ColorText::bold() const { return font().weight() >= QFont::Bold; }

void ColorText::setBackground(const QColor& colour) {
    background_ = colour;
    repaintNow();
}

void ColorText::setTextColor(const QColor& colour) {
    text_ = colour;
    // QLabel draws its text in the palette's window-text colour.
    QPalette p = palette();
    p.setColor(QPalette::WindowText, text_);
    setPalette(p);
    repaintNow();
}

void ColorText::resetBackground() { setBackground(buttonFace()); }

void ColorText::setBold(bool on) {
    QFont f = font();
    f.setWeight(on ? QFont::Bold : QFont::Normal);
    setFont(f);
}

void ColorText::repaintNow() {
    // A hidden or not yet shown control has nothing on screen to refresh;
    // repaint() then would only warn.
    if (isVisible())
        repaint();
    else
        update();
}

void ColorText::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        painter.fillRect(rect(), background_);
    }
    QLabel::paintEvent(event);
}

}  // namespace kt64::console
