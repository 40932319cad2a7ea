// How kt64prog draws the bell plan: with Qt's painting (PlanPdf.cpp) in the
// full build, or not at all in the logic-only build (NoPlanPdf.cpp), where
// plan --pdf is refused.
#pragma once

#include <string>

#include "BellPlan.h"

namespace kt64::prog {

// Whether this build can draw.
bool canDrawPlan();
// Writes plan to path as PDF; what went wrong, empty when written.
std::string writePlanPdf(const program::WeekPlan& plan, const std::string& path, const std::string& programName);

}  // namespace kt64::prog
