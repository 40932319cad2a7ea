// ColorText: a static text with its own text and background colours, the
// digital readouts and labels of the device panel and the state field of the
// chart's information window. A colour change repaints at once, so a readout
// turning red is seen in the same event-loop turn as the value that caused it.
#pragma once

#include <QColor>
#include <QLabel>

namespace kt64::console {

class ColorText : public QLabel {
    Q_OBJECT
public:
    explicit ColorText(QWidget* parent = nullptr);
    explicit ColorText(const QString& text, QWidget* parent = nullptr);

    QColor background() const { return background_; }
    QColor textColor() const { return text_; }
    bool bold() const;

    void setBackground(const QColor& colour);
    void setTextColor(const QColor& colour);
    // Back to the system's button-face colour.
    void resetBackground();
    // Weight 700 or 400 of the control's current font.
    void setBold(bool on);

    // The system's button-face colour: the background a new control has.
    static QColor buttonFace();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void repaintNow();

    QColor background_;
    QColor text_{Qt::black};
};

}  // namespace kt64::console
