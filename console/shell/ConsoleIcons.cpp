// Icons painted with QPainter at the sizes the tray and toolbar use.
#include "ConsoleIcons.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QStyle>

#include "ConsoleView.h"

namespace kt64::console {

namespace {

QPixmap clockFace(int size, QColor background) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(background);
    p.setPen(QPen(QColor(0, 0, 255), size / 16.0));
    const double m = size / 16.0;
    p.drawEllipse(QRectF(m, m, size - 2 * m, size - 2 * m));
    p.setPen(QPen(Qt::black, size / 12.0));
    const QPointF c(size / 2.0, size / 2.0);
    p.drawLine(c, c + QPointF(0, -size * 0.32));
    p.drawLine(c, c + QPointF(size * 0.22, 0));
    return pixmap;
}

QPixmap glyph(const QString& text, QColor colour) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(colour);
    QFont f = p.font();
    f.setPixelSize(11);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, text);
    return pixmap;
}

}  // namespace

QPixmap consoleIconPixmap(int iconId, int size) {
    return clockFace(size, iconId == kIconAlarm ? QColor(250, 0, 0) : QColor(255, 255, 255));
}

QIcon consoleIcon(int iconId) {
    QIcon icon;
    for (int size : {16, 32, 48}) icon.addPixmap(consoleIconPixmap(iconId, size));
    return icon;
}

CommandIcons commandIcons() {
    QStyle* style = QApplication::style();
    return {style->standardIcon(QStyle::SP_DialogOpenButton),
            style->standardIcon(QStyle::SP_DialogSaveButton),
            style->standardIcon(QStyle::SP_DialogCloseButton),
            QIcon(glyph("R", QColor(0, 0, 160))),
            QIcon(glyph("T", QColor(160, 0, 0))),
            QIcon(glyph("G", QColor(0, 120, 0))),
            QIcon(clockFace(16, Qt::white)),
            QIcon(glyph("P", Qt::black)),
            QIcon(glyph("U", Qt::black)),
            QIcon(glyph("L", Qt::black)),
            QIcon(glyph("?", Qt::black))};
}

}  // namespace kt64::console
