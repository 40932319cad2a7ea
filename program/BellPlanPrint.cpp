// Drawing the weekly bell plan (see BellPlanPrint.h).
#include "BellPlanPrint.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

namespace kt64::program {

namespace {

QString q(const std::string& text) { return QString::fromStdString(text); }
QString q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

const QColor kDayOffShade(0xE4, 0xE4, 0xE4);
const QColor kRule(0x60, 0x60, 0x60);

struct Fonts {
    QFont title, head, body;
    Fonts() {
        title.setPointSizeF(15);
        title.setBold(true);
        head.setPointSizeF(10);
        head.setBold(true);
        body.setPointSizeF(10);
    }
};

}  // namespace

bool paintWeekPlan(const WeekPlan& plan, QPagedPaintDevice& device, const QString& programName) {
    QPainter painter;
    if (!painter.begin(&device)) return false;
    const Fonts fonts;
    const QRectF page(0, 0, device.width(), device.height());
    const QFontMetricsF title(fonts.title, &device), head(fonts.head, &device), body(fonts.body, &device);
    const qreal line = body.height() * 1.15, gap = body.height() * 0.5;
    const qreal columnWidth = page.width() / 7;
    const qreal headTop = page.top() + title.height() * 1.6;
    const qreal blocksTop = headTop + head.height() * 2.4;
    const qreal bellsTop = blocksTop + line * 3 + gap;
    const qreal bottom = page.bottom() - body.height() * 1.6;
    const int linesPerPage = std::max(1, static_cast<int>((bottom - bellsTop) / line));
    const auto pages = planPages(plan, linesPerPage);

    for (std::size_t n = 0; n < pages.size(); ++n) {
        const PlanPage& p = pages[n];
        if (n > 0) device.newPage();
        painter.setPen(Qt::black);
        painter.setFont(fonts.title);
        painter.drawText(QRectF(page.left(), page.top(), page.width(), title.height()), Qt::AlignLeft | Qt::AlignTop,
                         q(planTitle(plan)) + QStringLiteral(" – Przekaźnik %1").arg(p.relay));
        for (int d = 0; d < 7; ++d) {
            const PlanDay& day = plan.days[static_cast<std::size_t>(d)];
            const QRectF column(page.left() + d * columnWidth, headTop, columnWidth, bottom - headTop);
            if (day.dayOff) painter.fillRect(column, kDayOffShade);
            const QRectF inner = column.adjusted(gap, gap * 0.5, -gap, 0);
            painter.setFont(fonts.head);
            painter.drawText(QRectF(inner.left(), inner.top(), inner.width(), head.height()), Qt::AlignLeft,
                             q(weekdayName(d)));
            painter.setFont(fonts.body);
            painter.drawText(QRectF(inner.left(), inner.top() + head.height(), inner.width(), head.height()),
                             Qt::AlignLeft, q(dayHeading(day)));
            // What is in force that day: the day off's name, else the blocks.
            QString blocks;
            if (day.dayOff) {
                blocks = QStringLiteral("Dzień wolny: ") + q(*day.dayOff);
            } else {
                for (const auto& b : day.blocks) blocks += (blocks.isEmpty() ? QString() : QStringLiteral(", ")) + q(b);
            }
            painter.setFont(day.dayOff ? fonts.head : fonts.body);
            painter.drawText(QRectF(inner.left(), blocksTop, inner.width(), line * 3),
                             Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, blocks);
            painter.setFont(fonts.body);
            const auto& bells = day.bells[static_cast<std::size_t>(p.relay - 1)];
            for (int i = 0; i < linesPerPage; ++i) {
                const std::size_t k = static_cast<std::size_t>(p.firstLine + i);
                if (k >= bells.size()) break;
                painter.drawText(QRectF(inner.left(), bellsTop + i * line, inner.width(), line),
                                 Qt::AlignLeft | Qt::AlignVCenter,
                                 // A long description is cut to its column.
                                 body.elidedText(q(bellText(bells[k])), Qt::ElideRight, inner.width()));
            }
        }
        painter.setPen(QPen(kRule, 0));
        for (int d = 0; d <= 7; ++d)
            painter.drawLine(QPointF(page.left() + d * columnWidth, headTop),
                             QPointF(page.left() + d * columnWidth, bottom));
        for (const qreal y : {headTop, blocksTop - gap * 0.5, bellsTop - gap * 0.5, bottom})
            painter.drawLine(QPointF(page.left(), y), QPointF(page.right(), y));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(page.left(), bottom + body.height() * 0.4, page.width(), body.height()), Qt::AlignLeft,
                         programName);
        painter.drawText(QRectF(page.left(), bottom + body.height() * 0.4, page.width(), body.height()), Qt::AlignRight,
                         QStringLiteral("Strona %1 z %2").arg(static_cast<int>(n) + 1).arg(pages.size()));
    }
    return painter.end();
}

bool writeWeekPlanPdf(const WeekPlan& plan, const QString& path, const QString& programName, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) *error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    {
        QPdfWriter writer(&file);
        writer.setTitle(q(planTitle(plan)));
        writer.setCreator(QStringLiteral("KT-64"));
        writer.setResolution(300);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(12, 12, 12, 12),
                                         QPageLayout::Millimeter));
        if (!paintWeekPlan(plan, writer, programName)) {
            file.cancelWriting();
            if (error) *error = path + QStringLiteral(": nie udało się narysować planu");
            return false;
        }
    }
    if (!file.commit()) {
        if (error) *error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    return true;
}

}  // namespace kt64::program
