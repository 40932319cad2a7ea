// Days off added to a block (see DaysOffDialog.h).
#include "DaysOffDialog.h"

#include <QFileDialog>
#include <QPushButton>

#include "CalendarImport.h"
#include "HolidayCalendar.h"
#include "ProgramTables.h"
#include "ProgramTexts.h"
#include "ui_DaysOffDialog.h"

namespace kt64::console {

namespace {

// "18.01.2027 – 31.01.2027  Ferie zimowe", "co roku 24.12 – 26.12  ...".
QString rangeText(const program::DateRow& r) {
    auto day = [&](const program::CivilDate& d) {
        return r.inItsYearOnly ? QString::asprintf("%02d.%02d.%04d", d.day, d.month, d.year)
                               : QString::asprintf("%02d.%02d", d.day, d.month);
    };
    const QString prefix = r.inItsYearOnly ? QString() : QString::fromUtf8(daysofftext::kEveryYear) + " ";
    return prefix + day(*r.from) + " – " + day(*r.to) + "  " + QString::fromStdString(r.description);
}

}  // namespace

DaysOffDialog::DaysOffDialog(DaysOffSource source, program::ProgramDocument& document, program::UserMessages& messages,
                             std::int64_t block, const program::CivilDate& today, QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::DaysOffDialog>()),
      source_(source),
      document_(document),
      messages_(messages),
      block_(block) {
    ui_->setupUi(this);
    const bool calendar = source == DaysOffSource::Calendar;
    setWindowTitle(QString::fromUtf8(calendar ? daysofftext::kCalendarTitle : daysofftext::kHolidaysTitle));
    ui_->calendarGroup->setVisible(calendar);

    // Without a block named, the holiday block the program has already.
    if (block_ == 0 && document_.database())
        block_ = program::findBlock(*document_.database(), std::string(program::text::kHolidayBlock));
    QString target = QString::fromUtf8(daysofftext::kToNewBlock).arg(QString::fromUtf8(program::text::kHolidayBlock));
    if (block_ != 0 && document_.database()) {
        for (const auto& b : program::readBlocks(*document_.database()))
            if (b.id == block_)
                target = QString::fromUtf8(daysofftext::kToBlock).arg(b.id).arg(QString::fromStdString(b.description));
    }
    ui_->blockLabel->setText(target);

    const auto [from, to] = program::fiveSchoolYears(today);
    ui_->fromYearSpin->setValue(from);
    ui_->toYearSpin->setValue(to);
    connect(ui_->fromYearSpin, &QSpinBox::valueChanged, this, [this](int v) {
        if (ui_->toYearSpin->value() < v) ui_->toYearSpin->setValue(v);
        refresh();
    });
    connect(ui_->toYearSpin, &QSpinBox::valueChanged, this, [this](int v) {
        if (ui_->fromYearSpin->value() > v) ui_->fromYearSpin->setValue(v);
        refresh();
    });
    connect(ui_->browseButton, &QPushButton::clicked, this, &DaysOffDialog::browse);
    connect(ui_->addButton, &QPushButton::clicked, this, &DaysOffDialog::accept);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &DaysOffDialog::reject);
    refresh();
}

DaysOffDialog::~DaysOffDialog() = default;

void DaysOffDialog::setCalendarFile(const QString& file) {
    ui_->calendarEdit->setText(file);
    refresh();
}

void DaysOffDialog::browse() {
    const QString file =
        QFileDialog::getOpenFileName(this, QString::fromUtf8(daysofftext::kCalendarTitle), ui_->calendarEdit->text(),
                                     QString::fromUtf8(daysofftext::kCalendarFilter));
    if (!file.isEmpty()) setCalendarFile(file);
}

void DaysOffDialog::refresh() {
    ready_ = false;
    ui_->previewList->clear();
    ui_->addButton->setEnabled(false);
    program::Database* db = document_.database();
    if (!db) return;
    const int from = ui_->fromYearSpin->value(), to = ui_->toYearSpin->value();
    std::vector<program::DateRow> wanted;
    try {
        if (source_ == DaysOffSource::Holidays) {
            wanted = program::polishHolidays(from, to);
        } else if (ui_->calendarEdit->text().isEmpty()) {
            ui_->summaryLabel->setText(QString::fromUtf8(daysofftext::kNoCalendarYet));
            return;
        } else {
            wanted = program::readCalendarFile(ui_->calendarEdit->text().toStdString(), from, to);
        }
        plan_ = program::planDateRanges(*db, block_, std::string(program::text::kHolidayBlock), std::move(wanted),
                                        source_ == DaysOffSource::Holidays ? program::isMovableHoliday : nullptr);
    } catch (const program::CalendarError& e) {
        ui_->summaryLabel->setText(QString::fromUtf8(e.what()));
        return;
    } catch (const program::DatabaseError& e) {
        ui_->summaryLabel->setText(QString::fromUtf8(program::text::kDatabaseError) + QString::fromUtf8(e.what()));
        return;
    }
    for (const auto& r : plan_.added) ui_->previewList->addItem(rangeText(r));
    if (!plan_.fits()) {
        ui_->summaryLabel->setText(QString::fromStdString(plan_.refusal()));
        return;
    }
    if (plan_.added.empty() && plan_.removed.empty()) {
        ui_->summaryLabel->setText(QString::fromUtf8(daysofftext::kNothingToAdd));
        return;
    }
    ui_->summaryLabel->setText(
        QString::fromUtf8(daysofftext::kSummary).arg(plan_.added.size()).arg(plan_.removed.size()).arg(plan_.free()));
    ready_ = true;
    ui_->addButton->setEnabled(true);
}

void DaysOffDialog::accept() {
    if (!ready_ || !document_.database()) return;
    try {
        program::applyDateRangePlan(*document_.database(), plan_);
    } catch (const program::DatabaseError& e) {
        messages_.show(std::string(program::text::kDatabaseError) + e.what(), program::MessageIcon::Stop);
        return;
    }
    document_.setModified();
    document_.UpdateAllViews(0);
    QDialog::accept();
}

}  // namespace kt64::console
