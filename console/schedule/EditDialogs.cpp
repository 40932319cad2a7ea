// The schedule edit dialogs (see EditDialogs.h).
#include "EditDialogs.h"

#include <QContextMenuEvent>
#include <QDate>
#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>

#include "MessageBoxes.h"
#include "TextFormat.h"
#include "ui_BlockDialog.h"
#include "ui_PresetsDialog.h"
#include "ui_DateRangeDialog.h"
#include "ui_AddMinutesDialog.h"
#include "ui_CommandDialog.h"

namespace kt64::console {

using program::MessageIcon;

namespace {

QDate toQDate(const program::CivilDate& d) { return QDate(d.year, d.month, d.day); }
program::CivilDate fromQDate(const QDate& d) { return {d.year(), d.month(), d.day()}; }

void wireOkCancel(QDialog* dialog, QPushButton* ok, QPushButton* cancel) {
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
}

}  // namespace

// ------------------------------------------------------------- BlockDialog

BlockDialog::BlockDialog(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::BlockDialog>()) {
    ui_->setupUi(this);
    wireOkCancel(this, ui_->okButton, ui_->cancelButton);
    ui_->priorityCombo->setCurrentIndex(0);
}

BlockDialog::~BlockDialog() = default;

void BlockDialog::setRow(const program::BlockRow& row) {
    row_ = row;
    const auto index = std::clamp<std::int64_t>(row.priority - 1, 0, 8);
    ui_->priorityCombo->setCurrentIndex(static_cast<int>(index));
    ui_->descriptionEdit->setText(QString::fromStdString(row.description));
}

program::BlockRow BlockDialog::row() const {
    program::BlockRow r = row_;
    r.priority = ui_->priorityCombo->currentIndex() + 1;
    r.description = ui_->descriptionEdit->text().toStdString();
    return r;
}

// ------------------------------------------------------------- DateRangeDialog

DateRangeDialog::DateRangeDialog(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::DateRangeDialog>()) {
    ui_->setupUi(this);
    wireOkCancel(this, ui_->okButton, ui_->cancelButton);
    ui_->fromEdit->setDate(QDate::currentDate());
    ui_->toEdit->setDate(QDate::currentDate());
    // The range is put in order once a date has been typed whole, not at
    // each digit: the half-typed dates on the way (2 for 2026, 0 for 06)
    // would move the other picker to somewhere nobody asked for.
    for (QDateEdit* edit : {ui_->fromEdit, ui_->toEdit}) {
        edit->setKeyboardTracking(false);
        edit->installEventFilter(this);
    }
    connect(ui_->fromEdit, &QDateEdit::dateChanged, this, [this] { keepOrdered(true); });
    connect(ui_->toEdit, &QDateEdit::dateChanged, this, [this] { keepOrdered(false); });
}

bool DateRangeDialog::eventFilter(QObject* watched, QEvent* event) {
    auto* edit = qobject_cast<QDateEdit*>(watched);
    if (!edit || event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::SelectAll)) {
        // The whole text selected takes no digit (a lone "2" is no date);
        // the year selected takes the date typed over it, section by
        // section.
        edit->setCurrentSection(QDateTimeEdit::YearSection);
        edit->setSelectedSection(QDateTimeEdit::YearSection);
        return true;
    }
    // A filled section hands over to the next one with its text selected;
    // the separator typed after it ("2026-06-25") must not skip that one
    // too.
    if (key->text() == QStringLiteral("-")) {
        if (auto* line = edit->findChild<QLineEdit*>(); line && line->hasSelectedText()) return true;
    }
    return QDialog::eventFilter(watched, event);
}

DateRangeDialog::~DateRangeDialog() = default;

void DateRangeDialog::keepOrdered(bool startMoved) {
    if (ordering_) return;
    ordering_ = true;
    DateRange range{fromQDate(ui_->fromEdit->date()), fromQDate(ui_->toEdit->date())};
    range = startMoved ? startChanged(range) : endChanged(range);
    ui_->fromEdit->setDate(toQDate(*range.from));
    ui_->toEdit->setDate(toQDate(*range.to));
    ordering_ = false;
}

void DateRangeDialog::setRow(const program::DateRow& row) {
    row_ = row;
    ordering_ = true;
    const QDate today = QDate::currentDate();
    ui_->fromEdit->setDate(row.from && program::isValid(*row.from) ? toQDate(*row.from) : today);
    ui_->toEdit->setDate(row.to && program::isValid(*row.to) ? toQDate(*row.to) : today);
    ordering_ = false;
    ui_->yearOnlyCheck->setChecked(row.inItsYearOnly);
    ui_->descriptionEdit->setText(QString::fromStdString(row.description));
}

program::DateRow DateRangeDialog::row() const {
    program::DateRow r = row_;
    r.from = fromQDate(ui_->fromEdit->date());
    r.to = fromQDate(ui_->toEdit->date());
    r.inItsYearOnly = ui_->yearOnlyCheck->isChecked();
    r.description = ui_->descriptionEdit->text().toStdString();
    return r;
}

std::vector<program::DateRow> DateRangeDialog::rows() const {
    const program::DateRow r = row();
    if (split_ && endsBeforeItStarts(r)) return splitAtNewYear(r);
    return {r};
}

void DateRangeDialog::accept() {
    split_ = false;
    const program::DateRow r = row();
    if (endsBeforeItStarts(r)) {
        const auto answer =
            messageBox(this, {kAppCaption, QString::fromStdString(newYearQuestion(r)), QMessageBox::Warning,
                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel});
        if (answer == QMessageBox::Cancel) return;
        split_ = answer == QMessageBox::Yes;
    }
    QDialog::accept();
}

// ----------------------------------------------------------- CommandDialog

CommandDialog::CommandDialog(program::UserMessages& messages, QWidget* parent)
    : QDialog(parent), messages_(messages), ui_(std::make_unique<Ui::CommandDialog>()) {
    ui_->setupUi(this);
    wireOkCancel(this, ui_->okButton, ui_->cancelButton);
    // Both lengths are 1..99; the rules keep the impulse within the cycle.
    for (QSpinBox* spin : {ui_->impulseSpin, ui_->cycleSpin}) spin->setRange(1, 99);

    connect(ui_->operationCombo, &QComboBox::currentIndexChanged, this, &CommandDialog::operationChanged);
    connect(ui_->impulseSpin, &QSpinBox::valueChanged, this, &CommandDialog::runImpulseRule);
    connect(ui_->impulseUnitCombo, &QComboBox::currentIndexChanged, this, &CommandDialog::runImpulseRule);
    connect(ui_->cycleSpin, &QSpinBox::valueChanged, this, &CommandDialog::runCycleRule);
    connect(ui_->cycleUnitCombo, &QComboBox::currentIndexChanged, this, &CommandDialog::runCycleRule);
    connect(ui_->workdaysButton, &QPushButton::clicked, this, [this] { toggleBar(kBarWorkdays); });
    connect(ui_->weekendButton, &QPushButton::clicked, this, [this] { toggleBar(kBarWeekend); });
    connect(ui_->wholeWeekButton, &QPushButton::clicked, this, [this] { toggleBar(kBarWholeWeek); });
    connect(ui_->addMinutesButton, &QPushButton::clicked, this,
            [this] { minutesMenu().exec(ui_->addMinutesButton->mapToGlobal(ui_->addMinutesButton->rect().center())); });
    connect(ui_->impulsePresetButton, &QPushButton::clicked, this, [this] {
        impulseMenu().exec(ui_->impulsePresetButton->mapToGlobal(ui_->impulsePresetButton->rect().center()));
    });

    for (int i = 0; i < 8; ++i) {
        QAction* a = minutes_.addAction(QString());
        a->setObjectName(QStringLiteral("addMinutesPreset%1").arg(i + 1));
        connect(a, &QAction::triggered, this,
                [this, i] { addToTime(readPresets(messages_).minutes[static_cast<std::size_t>(i)]); });
    }
    QAction* manual = minutes_.addAction(QStringLiteral("+ Ręcznie (min)..."));
    manual->setObjectName("addMinutesManually");
    connect(manual, &QAction::triggered, this, &CommandDialog::askMinutes);
    QAction* configureMinutes = minutes_.addAction(QStringLiteral("Konfiguruj"));
    configureMinutes->setObjectName("configureMinutePresets");
    connect(configureMinutes, &QAction::triggered, this, &CommandDialog::configure);
    for (int i = 0; i < 6; ++i) {
        QAction* a = impulses_.addAction(QString());
        a->setObjectName(QStringLiteral("impulsePreset%1").arg(i + 1));
        connect(a, &QAction::triggered, this,
                [this, i] { setImpulsePreset(readPresets(messages_).impulses[static_cast<std::size_t>(i)]); });
    }
    QAction* configureImpulses = impulses_.addAction(QStringLiteral("Konfiguruj"));
    configureImpulses->setObjectName("configureImpulsePresets");
    connect(configureImpulses, &QAction::triggered, this, &CommandDialog::configure);

    program::CommandRow fresh;
    fresh.time = program::TimeOfDay{};
    setRow(fresh);
}

CommandDialog::~CommandDialog() = default;

void CommandDialog::setRow(const program::CommandRow& row) {
    initialised_ = false;
    row_ = row;
    const QList<QCheckBox*> days = {ui_->mondayCheck, ui_->tuesdayCheck,  ui_->wednesdayCheck, ui_->thursdayCheck,
                                    ui_->fridayCheck, ui_->saturdayCheck, ui_->sundayCheck};
    for (int i = 0; i < 7; ++i) days[i]->setChecked((row.weekdays >> i) & 1);
    const auto time = row.time.value_or(program::TimeOfDay{});
    ui_->hourCombo->setEditText(QString::number(time.hour));
    ui_->minuteCombo->setEditText(QString::number(time.minute));
    ui_->operationCombo->setCurrentIndex(static_cast<int>(std::clamp<std::int64_t>(row.operation, 0, 5)));
    ui_->relayCombo->setCurrentIndex(row.relay == 2 ? 1 : 0);
    setTiming({static_cast<int>(row.impulse), row.impulseInMinutes, static_cast<int>(row.cycle), row.cycleInMinutes});
    ui_->descriptionEdit->setText(QString::fromStdString(row.description));
    operationChanged();
    initialised_ = true;
}

std::optional<int> CommandDialog::timeBox(int box) const {
    const QString text = box == 0 ? ui_->hourCombo->currentText() : ui_->minuteCombo->currentText();
    const auto value = parseInteger(text.toStdString());
    if (!value) {
        messages_.show(integerMessage(), MessageIcon::Exclamation);
        return std::nullopt;
    }
    if (*value < 0) {
        messages_.show(rangeMessage(0, box == 0 ? 23 : 59), MessageIcon::Exclamation);
        return std::nullopt;
    }
    return value;
}

program::CommandRow CommandDialog::row() const {
    program::CommandRow r = row_;
    const QList<QCheckBox*> days = {ui_->mondayCheck, ui_->tuesdayCheck,  ui_->wednesdayCheck, ui_->thursdayCheck,
                                    ui_->fridayCheck, ui_->saturdayCheck, ui_->sundayCheck};
    r.weekdays = 0;
    for (int i = 0; i < 7; ++i)
        if (days[i]->isChecked()) r.weekdays |= 1 << i;
    const auto hour = parseInteger(ui_->hourCombo->currentText().toStdString()).value_or(0);
    const auto minute = parseInteger(ui_->minuteCombo->currentText().toStdString()).value_or(0);
    const HourMinute stored = storedTime(std::max(hour, 0), std::max(minute, 0));
    r.time = program::TimeOfDay{stored.hour, stored.minute, 0};
    r.operation = ui_->operationCombo->currentIndex();
    r.relay = ui_->relayCombo->currentIndex() + 1;
    const CommandTiming t = timing();
    r.impulse = t.impulse;
    r.impulseInMinutes = t.impulseMinutes;
    r.cycle = isImpulseOperation(static_cast<int>(r.operation)) ? 99 : t.cycle;
    r.cycleInMinutes = t.cycleMinutes;
    r.description = ui_->descriptionEdit->text().toStdString();
    return r;
}

void CommandDialog::accept() {
    // A time box without a number keeps the dialog open, as every integer
    // field does.
    if (!timeBox(0) || !timeBox(1)) return;
    QDialog::accept();
}

CommandTiming CommandDialog::timing() const {
    return {ui_->impulseSpin->value(), ui_->impulseUnitCombo->currentIndex() == 1, ui_->cycleSpin->value(),
            ui_->cycleUnitCombo->currentIndex() == 1};
}

void CommandDialog::setTiming(const CommandTiming& t) {
    const bool was = applying_;
    applying_ = true;
    ui_->impulseSpin->setValue(t.impulse);
    ui_->impulseUnitCombo->setCurrentIndex(t.impulseMinutes ? 1 : 0);
    ui_->cycleSpin->setValue(t.cycle);
    ui_->cycleUnitCombo->setCurrentIndex(t.cycleMinutes ? 1 : 0);
    applying_ = was;
}

void CommandDialog::operationChanged() {
    const GroupEnabling groups = groupsFor(ui_->operationCombo->currentIndex());
    ui_->impulseGroup->setEnabled(groups.impulse);
    ui_->cycleGroup->setEnabled(groups.cycle);
}

void CommandDialog::runImpulseRule() {
    if (!initialised_ || applying_) return;
    setTiming(impulseRule(timing(), isImpulseOperation(ui_->operationCombo->currentIndex())));
}

void CommandDialog::runCycleRule() {
    if (!initialised_ || applying_) return;
    setTiming(cycleRule(timing(), isImpulseOperation(ui_->operationCombo->currentIndex())));
}

void CommandDialog::toggleBar(int group) {
    const QList<QCheckBox*> days = {ui_->mondayCheck, ui_->tuesdayCheck,  ui_->wednesdayCheck, ui_->thursdayCheck,
                                    ui_->fridayCheck, ui_->saturdayCheck, ui_->sundayCheck};
    int mask = 0;
    for (int i = 0; i < 7; ++i)
        if (days[i]->isChecked()) mask |= 1 << i;
    mask = toggleWeekdayBar(mask, group);
    for (int i = 0; i < 7; ++i) days[i]->setChecked((mask >> i) & 1);
}

void CommandDialog::addToTime(int minutes) {
    const auto hour = timeBox(0);
    if (!hour) return;
    const auto minute = timeBox(1);
    if (!minute) return;
    const HourMinute result = addMinutes({*hour, *minute}, minutes);
    ui_->hourCombo->setEditText(QString::number(result.hour));
    ui_->minuteCombo->setEditText(QString::number(result.minute));
}

void CommandDialog::setImpulsePreset(int length) {
    const bool was = applying_;
    applying_ = true;
    ui_->impulseSpin->setValue(length);
    applying_ = was;
    runImpulseRule();
}

namespace {

// Labels the first actions of a preset popup with the presets. The default
// minute presets repeat 10, 15 and 30: a value is offered once, at its
// first place.
template <std::size_t N>
void labelPresets(const QList<QAction*>& actions, const std::array<int, N>& values, const char* format) {
    for (std::size_t i = 0; i < N; ++i) {
        QAction* action = actions[static_cast<qsizetype>(i)];
        action->setText(QString::fromStdString(program::formatText(format, values[i])));
        const auto here = values.begin() + static_cast<std::ptrdiff_t>(i);
        action->setVisible(std::find(values.begin(), here, values[i]) == here);
    }
}

}  // namespace

QMenu& CommandDialog::minutesMenu() {
    labelPresets(minutes_.actions(), readPresets(messages_).minutes, "+ %d min");
    return minutes_;
}

QMenu& CommandDialog::impulseMenu() {
    labelPresets(impulses_.actions(), readPresets(messages_).impulses, "= %d");
    return impulses_;
}

void CommandDialog::askMinutes() {
    AddMinutesDialog ask(messages_, this);
    if (ask.exec() == QDialog::Accepted) addToTime(ask.value());
}

void CommandDialog::configure() {
    PresetsDialog config(messages_, this);
    config.exec();
}

void CommandDialog::contextMenuEvent(QContextMenuEvent* event) {
    const QPoint pos = event->pos();
    const auto inside = [&](QWidget* w) { return QRect(w->mapTo(this, QPoint(0, 0)), w->size()).contains(pos); };
    if (inside(ui_->timeGroup)) {
        minutesMenu().exec(event->globalPos());
    } else if (inside(ui_->impulseGroup)) {
        impulseMenu().exec(event->globalPos());
    }
}

// --------------------------------------------------------- AddMinutesDialog

AddMinutesDialog::AddMinutesDialog(program::UserMessages& messages, QWidget* parent)
    : QDialog(parent), messages_(messages), ui_(std::make_unique<Ui::AddMinutesDialog>()) {
    ui_->setupUi(this);
    wireOkCancel(this, ui_->okButton, ui_->cancelButton);
    ui_->minutesEdit->setText(QStringLiteral("1"));
}

AddMinutesDialog::~AddMinutesDialog() = default;

void AddMinutesDialog::accept() {
    const auto value = parseInteger(ui_->minutesEdit->text().toStdString());
    if (!value) {
        messages_.show(integerMessage(), MessageIcon::Exclamation);
        ui_->minutesEdit->setFocus();
        return;
    }
    value_ = *value;
    QDialog::accept();
}

// -------------------------------------------------------- PresetsDialog

namespace {

QList<QLineEdit*> presetFields(Ui::PresetsDialog& ui) {
    return {ui.minutes1Edit, ui.minutes2Edit, ui.minutes3Edit, ui.minutes4Edit, ui.minutes5Edit,
            ui.minutes6Edit, ui.minutes7Edit, ui.minutes8Edit, ui.impulse1Edit, ui.impulse2Edit,
            ui.impulse3Edit, ui.impulse4Edit, ui.impulse5Edit, ui.impulse6Edit};
}

}  // namespace

PresetsDialog::PresetsDialog(program::UserMessages& messages, QWidget* parent)
    : QDialog(parent), messages_(messages), ui_(std::make_unique<Ui::PresetsDialog>()) {
    ui_->setupUi(this);
    wireOkCancel(this, ui_->okButton, ui_->cancelButton);
    const Presets presets = readPresets(messages_);
    const auto fields = presetFields(*ui_);
    for (int i = 0; i < 8; ++i) fields[i]->setText(QString::number(presets.minutes[static_cast<std::size_t>(i)]));
    for (int i = 0; i < 6; ++i) fields[8 + i]->setText(QString::number(presets.impulses[static_cast<std::size_t>(i)]));
}

PresetsDialog::~PresetsDialog() = default;

void PresetsDialog::accept() {
    Presets presets{};
    const auto fields = presetFields(*ui_);
    for (int i = 0; i < 14; ++i) {
        const int high = i < 8 ? 255 : 99;
        const auto value = parseInteger(fields[i]->text().toStdString());
        if (!value || *value < 1 || *value > high) {
            messages_.show(value ? rangeMessage(1, high) : integerMessage(), MessageIcon::Exclamation);
            fields[i]->setFocus();
            fields[i]->selectAll();
            return;
        }
        if (i < 8) {
            presets.minutes[static_cast<std::size_t>(i)] = *value;
        } else {
            presets.impulses[static_cast<std::size_t>(i - 8)] = *value;
        }
    }
    writePresets(presets, messages_);
    QDialog::accept();
}

// -------------------------------------------------------- DialogRecords

bool DialogRecords::editBlock(program::BlockRow& row) {
    BlockDialog dialog(parent_);
    dialog.setRow(row);
    if (dialog.exec() != QDialog::Accepted) return false;
    row = dialog.row();
    return true;
}

bool DialogRecords::editDate(std::vector<program::DateRow>& rows) {
    DateRangeDialog dialog(parent_);
    dialog.setRow(rows.at(0));
    if (dialog.exec() != QDialog::Accepted) return false;
    rows = dialog.rows();
    return true;
}

bool DialogRecords::editCommand(program::CommandRow& row) {
    CommandDialog dialog(messages_, parent_);
    dialog.setRow(row);
    if (dialog.exec() != QDialog::Accepted) return false;
    row = dialog.row();
    return true;
}

}  // namespace kt64::console
