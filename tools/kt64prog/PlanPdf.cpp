// The bell plan drawn into a PDF file by Qt's painting. A command-line tool
// has no screen to draw on: Qt's painting runs on the offscreen platform,
// set up for the drawing and taken down after it.
#include <QGuiApplication>

#include <cstdlib>

#include "BellPlanPrint.h"
#include "PlanDrawing.h"

namespace kt64::prog {

bool canDrawPlan() { return true; }

std::string writePlanPdf(const program::WeekPlan& plan, const std::string& path, const std::string& programName) {
    int argc = 1;
    char name[] = "kt64prog";
    char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const QGuiApplication app(argc, argv);
    QString error;
    if (!program::writeWeekPlanPdf(plan, QString::fromStdString(path), QString::fromStdString(programName), &error))
        return error.toStdString();
    return {};
}

}  // namespace kt64::prog
