// Drawing the switching chart's pictures (see ChartPictures.h).
#include "ChartPictures.h"

#include <algorithm>

#include <QPainter>

#include "TextFormat.h"

namespace kt64::console {

using program::ChartGeometry;

namespace {

QFont chartFont(bool bold) {
    QFont font(QStringLiteral("Microsoft Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    font.setBold(bold);
    return font;
}

// GDI-like line: from the first point up to, not including, the last.
void verticalLine(QImage& image, int x, int fromY, int toY, QRgb colour) {
    if (x < 0 || x >= image.width()) return;
    const int step = toY < fromY ? -1 : 1;
    for (int y = fromY; y != toY; y += step)
        if (y >= 0 && y < image.height()) image.setPixel(x, y, colour);
}

void horizontalLine(QImage& image, int y, int fromX, int toX, QRgb colour) {
    for (int x = fromX; x < toX; ++x)
        if (x >= 0 && x < image.width()) image.setPixel(x, y, colour);
}

QImage drawTimeScale(const ChartGeometry& g) {
    QImage image(g.width(), program::kTimeScaleHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    horizontalLine(image, 38, program::kChartMargin, g.width() - 29, qRgb(0, 0, 0));
    QPainter painter(&image);
    painter.setPen(Qt::black);
    for (const auto& tick : g.hourTicks()) {
        verticalLine(image, tick.x, 37, 33, qRgb(0, 0, 0));
        if (tick.labelled) {
            painter.setFont(chartFont(false));
            painter.drawText(QRect(tick.x - 2, 20, 40, 14), Qt::AlignLeft | Qt::AlignTop, QString::number(tick.hour));
        }
        if (tick.date) {
            painter.setFont(chartFont(true));
            // The last day's label sits at the right end of the scale: moved
            // left as far as it takes to show it whole.
            const QString date = QString::fromStdString(*tick.date);
            const int width = painter.fontMetrics().horizontalAdvance(date);
            const int x = std::min(tick.x - 20, image.width() - width - 1);
            painter.drawText(QRect(x, 5, 80, 14), Qt::AlignLeft | Qt::AlignTop, date);
        }
    }
    return image;
}

QImage drawRelay(const ChartGeometry& g, program::ProgramEvaluator& evaluator, int row) {
    QImage image(g.width(), program::kStripHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    evaluator.beginRow(row);
    {
        QPainter painter(&image);
        painter.setFont(chartFont(false));
        painter.setPen(Qt::black);
        painter.drawText(QRect(30, 5, 200, 14), Qt::AlignLeft | Qt::AlignTop,
                         QString::fromStdString(program::formatText("Przekaźnik: %d", row + 1)));
    }
    horizontalLine(image, 70, program::kChartMargin, g.width() - 29, kStripBaseColour);
    // Dotted hour lines: every other pixel, starting at the bottom.
    for (const auto& tick : g.hourTicks())
        for (int y = 69; y > 20; y -= 2) image.setPixel(tick.x, y, kHourLineColour);
    for (int x = g.firstColumn(); x <= g.lastColumn(); ++x) {
        const std::uint32_t state = evaluator.evaluate(g.columnTime(x), row);
        if (const auto mark = program::markFor(state)) {
            const QRgb colour = qRgb(mark->colour.red, mark->colour.green, mark->colour.blue);
            verticalLine(image, x, mark->bottom, mark->top, colour);
        }
    }
    evaluator.endRow(row);
    return image;
}

}  // namespace

QColor colourOf(const program::Rgb& rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }

ChartPictures drawChart(const ChartGeometry& geometry, program::ProgramEvaluator& evaluator) {
    ChartPictures pictures;
    pictures.timeScale = drawTimeScale(geometry);
    for (int row = 0; row < program::ProgramEvaluator::kRows; ++row)
        pictures.relays[static_cast<std::size_t>(row)] = drawRelay(geometry, evaluator, row);
    pictures.ready = true;
    return pictures;
}

QImage chartPicture(const ChartPictures& pictures) {
    const int width = pictures.timeScale.width();
    QImage image(width, program::kStripTop[1] + program::kStripHeight, QImage::Format_RGB32);
    image.fill(QColor(240, 240, 240));
    QPainter painter(&image);
    painter.drawImage(0, 0, pictures.timeScale);
    painter.drawImage(0, program::kStripTop[0], pictures.relays[0]);
    painter.drawImage(0, program::kStripTop[1], pictures.relays[1]);
    return image;
}

}  // namespace kt64::console
