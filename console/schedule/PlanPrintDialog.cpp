// The plan's print dialog (see PlanPrintDialog.h).
#include "PlanPrintDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QStandardPaths>

#include "BellPlanPrint.h"
#include "ProgramTexts.h"
#include "ui_PlanPrintDialog.h"

namespace kt64::console {

PlanPrintDialog::PlanPrintDialog(program::ProgramDocument& document, program::UserMessages& messages, QDate day,
                                 QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::PlanPrintDialog>()), document_(document), messages_(messages) {
    ui_->setupUi(this);
    printButton_ = ui_->buttons->addButton(QStringLiteral("Drukuj…"), QDialogButtonBox::ActionRole);
    printButton_->setObjectName(QStringLiteral("printButton"));
    savePdfButton_ = ui_->buttons->addButton(QStringLiteral("Zapisz PDF…"), QDialogButtonBox::ActionRole);
    savePdfButton_->setObjectName(QStringLiteral("savePdfButton"));
    printButton_->setDefault(true);
    ui_->buttons->addButton(QStringLiteral("Zamknij"), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("closeButton"));
    ui_->weekDate->setDate(day);
    choosePdfFile = [this](const QString& start) {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Zapisz plan"), start,
                                            QStringLiteral("Dokument PDF (*.pdf)"));
    };
    connect(ui_->weekDate, &QDateEdit::dateChanged, this, &PlanPrintDialog::showWeek);
    connect(ui_->buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(printButton_, &QPushButton::clicked, this, &PlanPrintDialog::print);
    connect(savePdfButton_, &QPushButton::clicked, this, [this] {
        // Beside the program, else in the user's documents folder; never
        // wherever the console was started.
        QDir folder(programFolder);
        if (programFolder.isEmpty() || !folder.exists())
            folder.setPath(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
        const program::IsoWeek w = week();
        const QString name = QStringLiteral("plan-%1-W%2.pdf").arg(w.year).arg(w.week, 2, 10, QChar('0'));
        const QString file = choosePdfFile(folder.exists() ? folder.filePath(name) : name);
        if (!file.isEmpty()) savePdf(file);
    });
    showWeek();
}

PlanPrintDialog::~PlanPrintDialog() = default;

program::IsoWeek PlanPrintDialog::week() const {
    const QDate d = ui_->weekDate->date();
    return program::isoWeekOf({d.year(), d.month(), d.day()});
}

void PlanPrintDialog::showWeek() {
    const program::IsoWeek w = week();
    const auto monday = program::mondayOf(w);
    if (!monday) return;
    const QDate first(monday->year, monday->month, monday->day);
    const QDate last = first.addDays(6);
    ui_->weekLabel->setText(
        QStringLiteral("Tydzień %1/%2: %3–%4")
            .arg(w.week)
            .arg(w.year)
            .arg(first.toString(QStringLiteral("d.MM.yyyy")), last.toString(QStringLiteral("d.MM.yyyy"))));
}

std::optional<program::WeekPlan> PlanPrintDialog::readPlan() {
    program::Database* db = document_.database();
    if (!db) return std::nullopt;
    try {
        return program::weekPlan(*db, week());
    } catch (const program::DatabaseError& e) {
        messages_.show(std::string(program::text::kDatabaseError) + e.what(), program::MessageIcon::Stop);
        return std::nullopt;
    }
}

bool PlanPrintDialog::savePdf(const QString& file) {
    const auto plan = readPlan();
    if (!plan) return false;
    QString error;
    if (!program::writeWeekPlanPdf(*plan, file, programName, &error)) {
        messages_.show("Nie mogę zapisać planu " + error.toStdString(), program::MessageIcon::Stop);
        return false;
    }
    return true;
}

void PlanPrintDialog::print() {
    const auto plan = readPlan();
    if (!plan) return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setDocName(QString::fromStdString(program::planTitle(*plan)));
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    if (!program::paintWeekPlan(*plan, printer, programName))
        messages_.show("Nie mogę wydrukować planu.", program::MessageIcon::Stop);
}

}  // namespace kt64::console
