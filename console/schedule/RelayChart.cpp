// The switching chart control (see RelayChart.h).
#include "RelayChart.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

namespace kt64::console {

namespace {

// Stands in when the chart has no one to tell (tests that draw only).
class SilentMessages : public program::UserMessages {
public:
    void show(std::string_view, program::MessageIcon) override {}
    bool ask(std::string_view, program::MessageIcon) override { return false; }
};

SilentMessages& silent() {
    static SilentMessages messages;
    return messages;
}

}  // namespace

RelayChart::RelayChart(QWidget* parent) : QWidget(parent) {
    setMouseTracking(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

RelayChart::~RelayChart() = default;

void RelayChart::setProgram(program::Database* db, program::UserMessages* messages) {
    db_ = db;
    messages_ = messages;
}

void RelayChart::setChart(const program::CivilDate& start, int days, int minutesPerPixel) {
    geometry_ = program::ChartGeometry(start, days, minutesPerPixel);
    program::UserMessages& messages = messages_ ? *messages_ : silent();
    evaluator_ = std::make_unique<program::ProgramEvaluator>(db_, messages);
    dated_.clear();
    if (db_ != nullptr) {
        try {
            auto q = db_->query("SELECT Priorytet,DataOd,DataDo,Roczny,NrBloku FROM Daty,Bloki WHERE Bloki.LP=NrBloku");
            while (q.next())
                dated_.push_back({q.integer("Priorytet"),
                                  q.date("DataOd"),
                                  q.date("DataDo"),
                                  q.boolean("Roczny"),
                                  q.integer("NrBloku"),
                                  {}});
        } catch (const program::DatabaseError&) {
            // The evaluator reports the same failure when it reads the rows.
        }
    }
    pictures_ = drawChart(geometry_, *evaluator_);
    offset_ = 0;
    cursor_.reset();
    update();
}

void RelayChart::setOffset(int offset) {
    offset_ = offset;
    update();
}

std::vector<std::int64_t> RelayChart::dayBlocks(const program::CivilDate& day) const {
    return program::blocksInForce(dated_, day);
}

QRect RelayChart::stripRect(int row) const {
    const int visible = std::max(0, std::min(width(), geometry_.width() - offset_));
    return QRect(0, program::kStripTop[static_cast<std::size_t>(row)], visible, program::kStripHeight);
}

std::optional<int> RelayChart::stripAt(const QPoint& point) const {
    for (int row = 0; row < 2; ++row)
        if (stripRect(row).contains(point)) return row;
    return std::nullopt;
}

void RelayChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (!pictures_.ready) return;
    const int w = width();
    painter.drawImage(QPoint(0, 0), pictures_.timeScale, QRect(offset_, 0, w, program::kTimeScaleHeight));
    for (int row = 0; row < 2; ++row)
        painter.drawImage(QPoint(0, program::kStripTop[static_cast<std::size_t>(row)]),
                          pictures_.relays[static_cast<std::size_t>(row)], QRect(offset_, 0, w, program::kStripHeight));
    if (cursor_) {
        const QRect strip = stripRect(cursor_->row);
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.drawLine(cursor_->x, strip.top(), cursor_->x, strip.bottom());
    }
}

void RelayChart::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint p = event->position().toPoint();
    if (const auto row = stripAt(p)) {
        cursor_ = CursorLine{p.x(), *row};
        update();
        reportSample();
    }
}

void RelayChart::mouseMoveEvent(QMouseEvent* event) {
    if (!cursor_) return;
    const QPoint p = event->position().toPoint();
    if (const auto row = stripAt(p)) {
        const QRect strip = stripRect(*row);
        cursor_ = CursorLine{std::clamp(p.x(), strip.left(), strip.right()), *row};
        reportSample();
    } else {
        cursor_.reset();
    }
    update();
}

void RelayChart::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    cursor_.reset();
    update();
}

void RelayChart::reportSample() {
    if (!cursor_ || !evaluator_) return;
    const auto n = geometry_.sampleNumber(cursor_->x, offset_);
    if (!n) return;
    const program::SampleRecord* sample = evaluator_->sample(cursor_->row, static_cast<std::size_t>(*n));
    if (sample == nullptr) return;
    emit sampleShown(*sample, geometry_.sampleTime(*n), cursor_->row);
}

}  // namespace kt64::console
