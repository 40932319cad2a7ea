// Days off added to a block (see DaysOffDialog.h).
#include "DaysOffDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QPushButton>

#include <algorithm>

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
      block_(block),
      today_(today) {
    ui_->setupUi(this);
    const bool calendar = source == DaysOffSource::Calendar;
    setWindowTitle(QString::fromUtf8(calendar ? daysofftext::kCalendarTitle : daysofftext::kHolidaysTitle));
    ui_->calendarGroup->setVisible(calendar);

    // Every block but block 1, and a new block of days off when the
    // program has none; the tree's block first, else the block of days off.
    if (document_.database()) {
        try {
            program::Database& db = *document_.database();
            const std::int64_t offered = program::daysOffBlock(db);
            for (const auto& b : program::readBlocks(db))
                if (b.id != program::kBaseBlock)
                    ui_->blockCombo->addItem(QString::fromUtf8(daysofftext::kBlockChoice)
                                                 .arg(b.id)
                                                 .arg(QString::fromStdString(b.description)),
                                             QVariant::fromValue<qlonglong>(b.id));
            if (offered == 0)
                ui_->blockCombo->addItem(QString::fromUtf8(daysofftext::kNewBlockChoice)
                                             .arg(QString::fromStdString(program::newDaysOffBlockName(db))),
                                         QVariant::fromValue<qlonglong>(0));
            const int shown = ui_->blockCombo->findData(QVariant::fromValue<qlonglong>(block_ != 0 ? block_ : offered));
            ui_->blockCombo->setCurrentIndex(std::max(shown, 0));
        } catch (const program::DatabaseError& e) {
            ui_->summaryLabel->setText(QString::fromUtf8(program::text::kDatabaseError) + QString::fromUtf8(e.what()));
        }
    }

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
    connect(ui_->blockCombo, &QComboBox::currentIndexChanged, this, &DaysOffDialog::refresh);
    connect(ui_->timedCheck, &QCheckBox::toggled, this, &DaysOffDialog::refresh);
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
    ui_->summaryLabel->clear();
    program::Database* db = document_.database();
    if (!db || ui_->blockCombo->currentIndex() < 0) return;
    block_ = ui_->blockCombo->currentData().toLongLong();
    const int from = ui_->fromYearSpin->value(), to = ui_->toYearSpin->value();
    try {
        const std::string newBlock = program::newDaysOffBlockName(*db);
        ui_->blockLabel->setText(block_ == 0 ? QString::fromUtf8(daysofftext::kToNewBlock)
                                                   .arg(QString::fromStdString(newBlock))
                                                   .arg(program::kDaysOffPriority)
                                             : QString());
        ui_->blockLabel->setVisible(block_ == 0);
        if (const std::string why = program::daysOffRefusal(*db, block_); !why.empty()) {
            ui_->summaryLabel->setText(QString::fromStdString(why));
            return;
        }
        if (source_ == DaysOffSource::Holidays) {
            plan_ = program::planHolidays(*db, block_, newBlock, from, to, today_);
        } else if (ui_->calendarEdit->text().isEmpty()) {
            ui_->summaryLabel->setText(QString::fromUtf8(daysofftext::kNoCalendarYet));
            return;
        } else {
            const program::CalendarOptions options{from, to, std::string(program::kCentreZone),
                                                   ui_->timedCheck->isChecked()};
            const auto calendar = program::readCalendarFile(ui_->calendarEdit->text().toStdString(), options);
            for (const auto& event : calendar.skipped)
                ui_->previewList->addItem(
                    QString::fromUtf8(daysofftext::kSkippedEntry).arg(QString::fromStdString(event)));
            if (calendar.ranges.empty()) {
                ui_->summaryLabel->setText(QString::fromUtf8(daysofftext::kNothingToImport)
                                               .arg(QString::fromStdString(calendar.name))
                                               .arg(from)
                                               .arg(to));
                return;
            }
            plan_ = program::planCalendarImport(*db, block_, newBlock, calendar, options);
        }
    } catch (const program::CalendarError& e) {
        ui_->summaryLabel->setText(QString::fromUtf8(e.what()));
        return;
    } catch (const program::DatabaseError& e) {
        ui_->summaryLabel->setText(QString::fromUtf8(program::text::kDatabaseError) + QString::fromUtf8(e.what()));
        return;
    }
    int row = 0;  // the ranges first, then what is left out
    for (const auto& r : plan_.added) ui_->previewList->insertItem(row++, rangeText(r));
    for (const auto& r : plan_.removed)
        ui_->previewList->insertItem(row++, QString::fromUtf8(daysofftext::kRemovedEntry).arg(rangeText(r)));
    if (!plan_.fits()) {
        ui_->summaryLabel->setText(QString::fromStdString(plan_.refusal()));
        return;
    }
    if (plan_.added.empty() && plan_.removed.empty()) {
        ui_->summaryLabel->setText(QString::fromUtf8(daysofftext::kNothingToAdd));
        return;
    }
    const char* summary = plan_.removed.empty()                ? daysofftext::kSummary
                          : source_ == DaysOffSource::Holidays ? daysofftext::kHolidaysSummaryWithRemovals
                                                               : daysofftext::kCalendarSummaryWithRemovals;
    QString text = QString::fromUtf8(summary).arg(plan_.added.size());
    if (!plan_.removed.empty()) text = text.arg(plan_.removed.size());
    ui_->summaryLabel->setText(text.arg(plan_.free()));
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
    document_.notifyChanged(0);
    QDialog::accept();
}

}  // namespace kt64::console
