// The switching chart's three pictures, drawn once from the evaluator: the
// time scale (40 high, hour ticks and numbers with the step of the
// resolution, a date at every midnight) and one strip per relay (80 high,
// base line, dotted hour lines, and per column the mark of the state the
// evaluator reports: from y = 67 up to 35 while the relay is on, to 62
// while it is off, in the operation's colour; nothing where no command is
// in force). Painting and scrolling only copy from them.
#pragma once

#include <QImage>
#include <array>

#include "ChartGeometry.h"
#include "ProgramEvaluator.h"

namespace kt64::console {

struct ChartPictures {
    QImage timeScale;
    std::array<QImage, 2> relays;
    bool ready = false;
};

inline constexpr QRgb kStripBaseColour = qRgb(180, 240, 180);
inline constexpr QRgb kHourLineColour = qRgb(180, 180, 180);

// Evaluates both relays column by column (row 0 whole before row 1).
ChartPictures drawChart(const program::ChartGeometry& geometry, program::ProgramEvaluator& evaluator);

// The three pictures one under the other as the dialog shows them (time
// scale at 0, relay 1 at 42, relay 2 at 124), for saving as a picture.
QImage chartPicture(const ChartPictures& pictures);

QColor colourOf(const program::Rgb& rgb);

}  // namespace kt64::console
