// RelayChart: the switching chart control. It draws its pictures once per
// change of start, days or resolution (ChartPictures), then paints by
// copying them from the scroll offset. A left button held inside a relay
// strip shows a dotted cursor line; while it is shown the control reports
// the sample under it (sampleShown) for the information window.
#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "ChartGeometry.h"
#include "ChartPictures.h"
#include "ProgramEvaluator.h"
#include "RelayEvaluation.h"
#include "UserMessages.h"

namespace kt64::console {

class RelayChart : public QWidget {
    Q_OBJECT
public:
    explicit RelayChart(QWidget* parent = nullptr);
    ~RelayChart() override;

    // The program the chart shows; db may be nullptr (nothing in force).
    void setProgram(program::Database* db, program::UserMessages* messages);
    // Sets start, days (above 7 become 7) and minutes per pixel (above 20
    // become 20) and draws the pictures anew.
    void setChart(const program::CivilDate& start, int days, int minutesPerPixel);

    const program::ChartGeometry& geometry() const { return geometry_; }
    const ChartPictures& pictures() const { return pictures_; }
    int offset() const { return offset_; }
    void setOffset(int offset);
    // The cursor line: x and the strip it spans, when shown.
    struct CursorLine {
        int x;
        int row;
    };
    std::optional<CursorLine> cursorLine() const { return cursor_; }
    // The strip (0, 1) at a point of the control, if any.
    std::optional<int> stripAt(const QPoint& point) const;

    // The blocks in force on a day, as the evaluator chooses them.
    std::vector<std::int64_t> dayBlocks(const program::CivilDate& day) const;

signals:
    void sampleShown(const program::SampleRecord& sample, program::LocalSeconds time, int row);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QRect stripRect(int row) const;
    void reportSample();

    program::Database* db_ = nullptr;
    program::UserMessages* messages_ = nullptr;
    program::ChartGeometry geometry_{{2000, 1, 1}, 1, 1};
    std::unique_ptr<program::ProgramEvaluator> evaluator_;
    std::vector<program::DatedBlock> dated_;
    ChartPictures pictures_;
    int offset_ = 0;
    std::optional<CursorLine> cursor_;
};

}  // namespace kt64::console
