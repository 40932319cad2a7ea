// The printed bell plan from the console ("Drukuj plan…" in the File menu):
// the user picks a day, the dialog shows the ISO week it belongs to, and
// the week's plan goes to a printer through the system's print dialog or
// into a PDF file. The plan is read from the open program when it is
// printed, so it shows the program as edited so far.
#pragma once

#include <QDate>
#include <QDialog>
#include <functional>
#include <memory>

#include "BellPlan.h"
#include "ProgramDocument.h"
#include "UserMessages.h"

class QPushButton;

namespace Ui {
class PlanPrintDialog;
}

namespace kt64::console {

class PlanPrintDialog : public QDialog {
    Q_OBJECT
public:
    // Opens on the week of day.
    PlanPrintDialog(program::ProgramDocument& document, program::UserMessages& messages, QDate day,
                    QWidget* parent = nullptr);
    ~PlanPrintDialog() override;

    Ui::PlanPrintDialog& ui() { return *ui_; }
    QPushButton* printButton() const { return printButton_; }
    QPushButton* savePdfButton() const { return savePdfButton_; }
    program::IsoWeek week() const;

    // Writes the chosen week's plan as a PDF file; on failure the reason
    // is shown and false returned.
    bool savePdf(const QString& file);
    // The system's print dialog, then the plan on the printer chosen.
    void print();

    // The program's file name, for the page footer.
    QString programName;
    // The folder of the program's file: "Zapisz PDF…" starts there, beside
    // the program the plan is of. Empty (a program never saved): the
    // user's documents folder.
    QString programFolder;
    // The file dialog of "Zapisz PDF…": the file chosen, or empty (tests
    // answer instead).
    std::function<QString(const QString& start)> choosePdfFile;

private:
    void showWeek();
    // The chosen week's plan; empty with the reason shown when the program
    // cannot be read.
    std::optional<program::WeekPlan> readPlan();

    std::unique_ptr<Ui::PlanPrintDialog> ui_;
    program::ProgramDocument& document_;
    program::UserMessages& messages_;
    QPushButton* printButton_ = nullptr;
    QPushButton* savePdfButton_ = nullptr;
};

}  // namespace kt64::console
