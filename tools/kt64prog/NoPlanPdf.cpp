// The logic-only build of kt64prog cannot draw.
#include "PlanDrawing.h"

namespace kt64::prog {

bool canDrawPlan() { return false; }
std::string writePlanPdf(const program::WeekPlan&, const std::string&, const std::string&) { return "cannot draw"; }

}  // namespace kt64::prog
