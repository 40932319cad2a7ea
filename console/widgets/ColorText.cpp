#include "ColorText.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>

namespace kt64::console {

CColorText::CColorText(QWidget* parent) : CColorText(QString(), parent) {}

CColorText::CColorText(const QString& text, QWidget* parent) : QLabel(text, parent), background_(buttonFace()) {}

QColor CColorText::buttonFace() { return QApplication::palette().color(QPalette::Button); }

bool CColorText::bold() const { return font().weight() >= QFont::Bold; }

void CColorText::setBackground(const QColor& colour) {
    background_ = colour;
    repaintNow();
}

void CColorText::setTextColor(const QColor& colour) {
    text_ = colour;
    // QLabel draws its text in the palette's window-text colour.
    QPalette p = palette();
    p.setColor(QPalette::WindowText, text_);
    setPalette(p);
    repaintNow();
}

void CColorText::resetBackground() { setBackground(buttonFace()); }

void CColorText::setBold(bool on) {
    QFont f = font();
    f.setWeight(on ? QFont::Bold : QFont::Normal);
    setFont(f);
}

void CColorText::repaintNow() {
    // A hidden or not yet shown control has nothing on screen to refresh;
    // repaint() then would only warn.
    if (isVisible())
        repaint();
    else
        update();
}

void CColorText::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        painter.fillRect(rect(), background_);
    }
    QLabel::paintEvent(event);
}

}  // namespace kt64::console
