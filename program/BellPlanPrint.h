// The weekly bell plan on paper: drawn with QPainter onto any paged device
// (a printer, a PDF file), A4 landscape, one column per weekday. What the
// pages hold comes from BellPlan.h; this only draws it.
#pragma once

#include <QString>

#include "BellPlan.h"

class QPagedPaintDevice;

namespace kt64::program {

// Draws every page of the plan in the device's page layout (the printer's
// as the user chose it; landscape suits seven columns best); programName
// goes in the footer. False when the device cannot be painted on.
bool paintWeekPlan(const WeekPlan& plan, QPagedPaintDevice& device, const QString& programName);

// Writes the plan as an A4 landscape PDF file, replacing path only once the whole file is
// written. On failure returns false and sets error (the file and why).
bool writeWeekPlanPdf(const WeekPlan& plan, const QString& path, const QString& programName, QString* error);

}  // namespace kt64::program
