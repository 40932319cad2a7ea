// DevicePanel: poll and refresh, editing, line toggles and send, all through
// the document's calls off the GUI thread.
#include "DevicePanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTimeEdit>

#include <algorithm>

#include "AlarmLamp.h"
#include "AnalogClock.h"
#include "BuildType.h"
#include "ColorText.h"
#include "ControlTooltips.h"
#include "MessageBoxes.h"
#include "ui_DevicePanel.h"

namespace kt64::console {

using namespace panel;

namespace {

// A date picker of the 1 January 2000 kind holds only hours and minutes.
QTime hourMinute(int h, int m) { return QTime(h, m, 0); }

DATE timeOfDay(const QTime& t) { return makeDate(1900, 1, 1, t.hour(), t.minute(), t.second()).value_or(0.0); }

// A click on a plain label (the offset sign).
class ClickFilter : public QObject {
public:
    ClickFilter(QObject* parent, std::function<void()> f) : QObject(parent), f_(std::move(f)) {}
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::MouseButtonPress) f_();
        return false;
    }

private:
    std::function<void()> f_;
};

}  // namespace

// The editing values as the centre holds them.
struct DevicePanel::EditSettings {
    DATE changeZL = 0;
    int keyZL = 0;
    DATE changeLZ = 0;
    int keyLZ = 0;
    std::uint32_t setFlag = 0;
    double offset = 0;
    int digitType = 0;
};

// Everything one poll reads, in the order the panel shows it.
struct DevicePanel::Reading {
    DATE gmt = 0, local = 0, line = 0;
    std::uint32_t alarms = 0, setFlag = 0;
    double offset = 0;
    int digitType = 0;
    DATE changeZL = 0, changeLZ = 0;
    std::optional<EditSettings> edit;
    std::optional<std::string> buildType;
};

namespace {

DevicePanel::EditSettings readEditSettings(client::ServerProxy& s) {
    DevicePanel::EditSettings e;
    e.changeZL = s.GetChangeTimeZL();
    e.keyZL = static_cast<int>(s.GetKeyTimeZL());
    e.changeLZ = s.GetChangeTimeLZ();
    e.keyLZ = static_cast<int>(s.GetKeyTimeLZ());
    e.setFlag = s.GetSetFlag();
    e.offset = s.GetLocalOffset();
    e.digitType = static_cast<int>(s.GetLineDigitType());
    return e;
}

}  // namespace

DevicePanel::DevicePanel(Kt64Document& doc, QWidget* parent)
    : QWidget(parent), doc_(doc), ui_(std::make_unique<Ui::DevicePanelForm>()) {
    setObjectName("DevicePanel");
    ui_->setupUi(this);
    applyControlTooltips(*this, "devicePanel");
    setFixedSize(size());
    startupTimer_.setObjectName("timer10");
    pollTimer_.setObjectName("timer20");
    connect(&startupTimer_, &QTimer::timeout, this, &DevicePanel::startPolling);
    connect(&pollTimer_, &QTimer::timeout, this, &DevicePanel::poll);

    connect(ui_->gmtClock, &AnalogClock::clicked, this, &DevicePanel::selectGmt);
    connect(ui_->localClock, &AnalogClock::clicked, this, &DevicePanel::selectLocal);
    ui_->offsetSignLabel->installEventFilter(new ClickFilter(this, [this] { toggleSign(); }));
    // The change hour takes digits only; the spin holds the hour that is
    // sent, so an edit left empty or half typed never sends a guess.
    auto* changeHour = ui_->changeHourEdit;
    changeHour->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,2}"), changeHour));
    connect(changeHour, &QLineEdit::textChanged, this, &DevicePanel::changeHourTyped);
    connect(changeHour, &QLineEdit::editingFinished, this, [this] { setChangeHour(ui_->changeHourSpin->value()); });
    connect(ui_->changeHourSpin, &QSpinBox::valueChanged, this, [this](int v) { setChangeHour(v); });
    for (QWidget* button : actionButtons()) actionEnabled_[button] = button->isEnabled();
    connect(ui_->offsetEdit, &QTimeEdit::timeChanged, this, &DevicePanel::offsetPicked);
    connect(ui_->laStopButton, &QPushButton::clicked, this, &DevicePanel::toggleLA);
    connect(ui_->lcStopButton, &QPushButton::clicked, this, &DevicePanel::toggleLC);
    connect(ui_->sendButton, &QPushButton::clicked, this, &DevicePanel::send);
    connect(ui_->polishRuleButton, &QPushButton::clicked, this, &DevicePanel::applyPolishRule);
    // Typed text that names no entry falls back to the selected entry: the
    // value sent is always one of the five.
    for (QComboBox* box : {ui_->changeZLSundayCombo, ui_->changeLZSundayCombo}) {
        connect(box->lineEdit(), &QLineEdit::editingFinished, box, [box] {
            const int match = box->findText(box->currentText());
            if (match >= 0)
                box->setCurrentIndex(match);
            else
                box->setEditText(box->itemText(box->currentIndex()));
        });
    }
    // A GMT time to send starts at the PC's present UTC time.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    ui_->gmtDateEdit->setDate(now.date());
    ui_->clockTimeEdit->setTime(now.time());
}

// The eleven editing controls a manual setting of the centre locks.
QList<QWidget*> DevicePanel::editingControls() const {
    return {ui_->offsetEdit,         ui_->gmtDateEdit,         ui_->clockTimeEdit,       ui_->changeZLMonthCombo,
            ui_->changeLZMonthCombo, ui_->changeZLSundayCombo, ui_->changeLZSundayCombo, ui_->changeHourEdit,
            ui_->changeOnCheck,      ui_->sendButton,          ui_->telegramCombo};
}

// The buttons whose calls the operator waits for: send, LA and LC.
QList<QWidget*> DevicePanel::actionButtons() const { return {ui_->sendButton, ui_->laStopButton, ui_->lcStopButton}; }

QList<ColorText*> DevicePanel::digitalReadouts() const {
    return {ui_->offsetLabel,       ui_->gmtWeekdayLabel, ui_->gmtTimeLabel,   ui_->gmtDateLabel,
            ui_->localWeekdayLabel, ui_->localTimeLabel,  ui_->localDateLabel, ui_->telegramLabel};
}

// Each alarm lamp with the alarm bit it shows.
QList<std::pair<AlarmLamp*, std::uint32_t>> DevicePanel::lamps() const {
    return {{ui_->noTransmissionLamp, A_SYNCTRAN}, {ui_->noSyncLamp, A_SYNC},      {ui_->lowVoltageLamp, A_POWER},
            {ui_->batteryLamp, A_AKU36},           {ui_->noAntennaLamp, A_ANTENA}, {ui_->manualSettingLamp, A_MANSET},
            {ui_->settingRequiredLamp, A_SET}};
}

// What only GMT editing shows, and what only local editing shows.
QList<QWidget*> DevicePanel::gmtEditingWidgets() const {
    return {ui_->gmtDateEdit, ui_->gmtDateCaption, ui_->suspendedLabel};
}
QList<QWidget*> DevicePanel::localEditingWidgets() const {
    return {ui_->laControlClockCaption, ui_->laStopButton, ui_->lcStopButton, ui_->laStopHintLabel};
}

DevicePanel::~DevicePanel() = default;

void DevicePanel::setStatus(const QString& text) { ui_->serverStatusLabel->setText(text); }

void DevicePanel::initialUpdate() {
    if (initialised_) return;
    auto* gmtLabel = ui_->gmtCaption;
    auto* locLabel = ui_->localCaption;
    gmtLabel->setBold(true);
    locLabel->setBold(true);
    locLabel->setBackground(kSelectedLabel);
    for (QWidget* w : gmtEditingWidgets()) w->hide();
    for (QWidget* w : localEditingWidgets()) w->show();
    ui_->clockTimeEdit->setEnabled(false);
    for (QWidget* button : actionButtons()) enableAction(button, false);
    for (ColorText* readout : digitalReadouts()) readout->setBackground(kReadoutBackground);
    for (const auto& [lamp, bit] : lamps()) lamp->setColorAndShape(kLampRed, kLampRound);
    ui_->laControlClock->hideSecondHand();
    ui_->changeHourSpin->setRange(0, 8);
    ui_->changeZLSundayCombo->setCurrentIndex(0);
    ui_->changeZLMonthCombo->setCurrentIndex(2);
    ui_->changeLZSundayCombo->setCurrentIndex(0);
    ui_->changeLZMonthCombo->setCurrentIndex(9);
    ui_->telegramCombo->setCurrentIndex(0);
    ui_->changeOnCheck->setChecked(true);
    setChangeHour(2);
    // The form as made has the 'D' layout: no transmission row.
    ui_->noTransmissionLamp->hide();
    ui_->noTransmissionLabel->hide();
    initialised_ = true;
}

void DevicePanel::setActive(bool active) {
    if (active) {
        startupTimer_.start(periods_.startup);
    } else {
        startupTimer_.stop();
        pollTimer_.stop();
    }
}

void DevicePanel::startPolling() {
    startupTimer_.stop();
    pollTimer_.start(periods_.poll);
    if (doc_.connected()) runForcedRefresh();
}

void DevicePanel::runForcedRefresh() {
    struct Forced {
        DATE changeZL, changeLZ, local;
        EditSettings edit;
    };
    ++refreshesOut_;
    doc_.serverCall(
        this,
        [](client::ServerProxy& s) {
            (void)s.GetAlarmFlag();
            Forced f{};
            f.changeZL = s.GetChangeTimeZL();
            f.local = s.GetLocTime();
            f.changeLZ = s.GetChangeTimeLZ();
            f.edit = readEditSettings(s);
            return f;
        },
        [this](Forced f) {
            --refreshesOut_;
            applySettings(f.changeZL, f.changeLZ, f.local, f.edit);
            reportIfSettled();
        },
        // Failures of this refresh are left to the next poll to show.
        [this](const client::ServerError&) {
            --refreshesOut_;
            reportIfSettled();
        });
}

void DevicePanel::poll() {
    if (!doc_.connected()) {
        setStatus(doc_.reconnecting() ? kReconnectingText : kNoConnection);
        emit pollShown(false);
        return;
    }
    if (pollInFlight_) {
        if (shownAt_) {
            const auto age = clock_() - *shownAt_;
            if (age > 2 * periods_.poll) showStale(age);
        }
        return;
    }
    pollInFlight_ = true;
    const bool buildTypeDue = buildTypeTicks_.due();
    doc_.serverCall(
        this,
        [buildTypeDue](client::ServerProxy& s) {
            Reading r;
            r.gmt = s.GetGmtTime();
            r.local = s.GetLocTime();
            r.alarms = s.GetAlarmFlag();
            r.line = s.GetLineTime();
            r.offset = s.GetLocalOffset();
            r.setFlag = s.GetSetFlag();
            r.digitType = static_cast<int>(s.GetLineDigitType());
            r.changeZL = s.GetChangeTimeZL();
            r.changeLZ = s.GetChangeTimeLZ();
            if (r.alarms & A_MANSET) r.edit = readEditSettings(s);
            if (buildTypeDue) r.buildType = s.GetBuildType();
            return r;
        },
        [this](Reading r) {
            pollInFlight_ = false;
            showReading(r);
            emit pollShown(true);
        },
        [this](const client::ServerError& e) {
            pollInFlight_ = false;
            showFailure(e);
            emit pollShown(false);
        });
}

void DevicePanel::showStale(std::chrono::steady_clock::duration age) {
    setReadouts(Readouts::Stale);
    const auto seconds = std::max<long long>(1, std::chrono::duration_cast<std::chrono::seconds>(age).count());
    setStatus(kStaleText.arg(seconds));
}

void DevicePanel::setReadouts(Readouts readouts) {
    const bool stale = readouts == Readouts::Stale;
    const bool wasStale = readouts_ == Readouts::Stale;
    readouts_ = readouts;
    if (stale == wasStale) return;
    for (ColorText* readout : digitalReadouts()) readout->setBackground(stale ? kStaleBackground : kReadoutBackground);
}

DevicePanel::Communication DevicePanel::communicationOf(bool suspended, bool switching) {
    if (switching) return suspended ? Communication::Resuming : Communication::Suspending;
    return suspended ? Communication::Suspended : Communication::On;
}

void DevicePanel::showReading(const Reading& r) {
    // The first values after placeholders bring the line buttons and the
    // send button back whatever the lines did meanwhile.
    const bool afterPlaceholders = readouts_ == Readouts::Placeholders;
    shownAt_ = clock_();
    setReadouts(Readouts::Current);
    // Display refresh.
    ui_->gmtClock->setTime(r.gmt);
    ui_->gmtTimeLabel->setText(timeText(r.gmt));
    ui_->gmtDateLabel->setText(dateText(r.gmt));
    ui_->gmtWeekdayLabel->setText(weekdayText(r.gmt));
    ui_->localClock->setTime(r.local);
    ui_->localTimeLabel->setText(timeText(r.local));
    ui_->localDateLabel->setText(dateText(r.local));
    for (const auto& [lamp, bit] : lamps()) lamp->setLit(r.alarms & bit);
    if ((previousAlarms_ == 0) != (r.alarms == 0)) emit alarmsChanged(r.alarms != 0);
    previousAlarms_ = r.alarms;
    ui_->laControlClock->setTime(r.line);
    ui_->offsetLabel->setText(offsetText(r.offset));
    const auto analog = analogLineState(r.alarms, r.setFlag);
    ui_->analogLineStateLabel->setText(analog.text);
    ui_->analogLineStateLabel->setBackground(analog.background);
    const auto digital = digitalLineState(r.setFlag);
    ui_->digitalLineStateLabel->setText(digital.text);
    ui_->digitalLineStateLabel->setBackground(digital.background);
    ui_->daylightStateLabel->setText(daylightText(r.setFlag));
    ui_->localWeekdayLabel->setText(weekdayText(r.local));
    ui_->telegramLabel->setText(telegramText(r.digitType));

    // Manual-set tracking.
    const bool manual = r.alarms & A_MANSET;
    if (!previousManualSet_ && manual) setEditingEnabled(false);
    if (previousManualSet_ && !manual) {
        editMode_ = EditMode::Local;
        setEditingEnabled(true);
        // Local editing: the LA clock is set only while the line stands.
        ui_->clockTimeEdit->setEnabled(laStopped_);
    }
    previousManualSet_ = manual;

    // Settings refresh, not forced: the editing controls follow the centre
    // only while it is being set by hand.
    applySettings(r.changeZL, r.changeLZ, r.local, r.edit);

    updateLC(r.setFlag, false);
    updateLA(r.setFlag, r.line, false);

    // Build-type check.
    buildTypeTicks_.advance();
    if (r.buildType) {
        const auto build = link::readBuildType(*r.buildType);
        emit relayOutputsChanged(build.relayOutputs.value_or(0));
        if (const auto letter = build.sourceLetter(); letter && *letter != lastSourceLetter_) {
            layOutAlarmRows(*letter);
            lastSourceLetter_ = *letter;
        }
    }

    if (afterPlaceholders) {
        updateLC(r.setFlag, true);
        updateLA(r.setFlag, r.line, true);
        // A centre that entered manual setting in this very poll keeps its
        // editor locked, the send button with it.
        if (!manual) enableAction(ui_->sendButton, true);
    }
    setStatus(kNoError);
}

void DevicePanel::layOutAlarmRows(char letter) {
    const auto rows = alarmRowsFor(letter);
    if (!rows) return;
    ui_->noTransmissionLabel->setVisible(rows->transmission);
    ui_->noTransmissionLamp->setVisible(rows->transmission);
    ui_->noSyncLabel->setVisible(rows->synchro);
    ui_->noSyncLamp->setVisible(rows->synchro);
    ui_->noAntennaLabel->setVisible(rows->antenna);
    ui_->noAntennaLamp->setVisible(rows->antenna);
    if (!rows->antennaText.isEmpty()) ui_->noAntennaLabel->setText(rows->antennaText);
}

void DevicePanel::applySettings(DATE changeZL, DATE changeLZ, DATE localTime, const std::optional<EditSettings>& edit) {
    ui_->changeZLDateLabel->setText(changeDateText(changeZL, localTime));
    ui_->changeLZDateLabel->setText(changeDateText(changeLZ, localTime));
    if (!edit) return;
    if (const auto zl = monthHourOf(edit->changeZL)) {
        ui_->changeZLMonthCombo->setCurrentIndex(zl->month - 1);
        setChangeHour(zl->hour);
    }
    ui_->changeZLSundayCombo->setCurrentIndex(edit->keyZL);
    if (const auto lz = monthHourOf(edit->changeLZ)) {
        ui_->changeLZMonthCombo->setCurrentIndex(lz->month - 1);
        ui_->changeLZHourLabel->setText(QString::number(lz->hour));
    }
    ui_->changeLZSundayCombo->setCurrentIndex(edit->keyLZ);
    ui_->changeOnCheck->setChecked(edit->setFlag & S_CHANGETIMEON);
    offsetSign_ = edit->offset >= 0;
    ui_->offsetSignLabel->setText(offsetSign_ ? "+" : "-");
    const auto m = offsetMagnitude(edit->offset);
    ui_->offsetEdit->setTime(hourMinute(m.hours, m.minutes));
    ui_->telegramCombo->setCurrentIndex(telegramIndex(edit->digitType));
}

void DevicePanel::updateLC(std::uint32_t setFlag, bool forced) {
    const bool stopped = !(setFlag & S_LINE1DIGITON);
    if (stopped && (!lcStopped_ || forced)) {
        ui_->lcStopButton->setText("Start LC");
        enableAction(ui_->lcStopButton, true);
        enableAction(ui_->laStopButton, true);
    } else if (!stopped && (lcStopped_ || forced)) {
        ui_->lcStopButton->setText("Stop LC");
        enableAction(ui_->lcStopButton, true);
        enableAction(ui_->laStopButton, true);
    }
    lcStopped_ = stopped;
}

void DevicePanel::updateLA(std::uint32_t setFlag, DATE lineTime, bool forced) {
    const bool stopped = !(setFlag & S_LINE1ANALON);
    if (stopped && (!laStopped_ || forced)) {
        ui_->laStopButton->setText("Start LA");
        enableAction(ui_->laStopButton, true);
        enableAction(ui_->lcStopButton, true);
        // A centre set by hand keeps the picker locked with the editor.
        if (editMode_ == EditMode::Local && !previousManualSet_) {
            ui_->clockTimeEdit->setEnabled(true);
            if (const auto t = fromVariantTime(lineTime))
                ui_->clockTimeEdit->setTime(QTime(t->hour, t->minute, t->second));
        }
    } else if (!stopped && (laStopped_ || forced)) {
        ui_->laStopButton->setText("Stop LA");
        enableAction(ui_->laStopButton, true);
        enableAction(ui_->lcStopButton, true);
        if (editMode_ == EditMode::Local) ui_->clockTimeEdit->setEnabled(false);
    }
    laStopped_ = stopped;
}

void DevicePanel::showFailure(const client::ServerError& e) {
    // Placeholders have no age.
    shownAt_.reset();
    setReadouts(Readouts::Placeholders);
    const QString text = QString::fromStdString(e.displayText());
    if (!e.description()) {
        // The connection itself is gone (the document has dropped the object
        // and connects again): polls wait as after activation.
        pollTimer_.stop();
        startupTimer_.start(periods_.afterLoss);
    }
    showPlaceholders();
    setStatus(text);
}

void DevicePanel::showPlaceholders() {
    for (QLabel* label : {ui_->gmtTimeLabel, ui_->localTimeLabel}) label->setText("xx:xx:xx");
    for (QLabel* label : {ui_->gmtDateLabel, ui_->localDateLabel}) label->setText("xx/xx/xxxx");
    for (QLabel* label :
         std::initializer_list<QLabel*>{ui_->gmtWeekdayLabel, ui_->localWeekdayLabel, ui_->daylightStateLabel})
        label->setText("--------");
    ui_->offsetLabel->setText("xx:xx");
    for (ColorText* state : {ui_->analogLineStateLabel, ui_->digitalLineStateLabel}) {
        state->setText("--------");
        state->setBackground(kPlaceholderBlue);
    }
    ui_->telegramLabel->setText("----");
    for (const auto& [lamp, bit] : lamps()) lamp->switchOff();
    enableAction(ui_->lcStopButton, false);
    enableAction(ui_->laStopButton, false);
    if (editMode_ == EditMode::Local) enableAction(ui_->sendButton, false);
}

void DevicePanel::setEditingEnabled(bool enabled) {
    for (QWidget* w : editingControls()) {
        if (w == ui_->sendButton)
            enableAction(w, enabled);
        else
            w->setEnabled(enabled);
    }
}

void DevicePanel::enableAction(QWidget* button, bool enabled) {
    actionEnabled_[button] = enabled;
    button->setEnabled(enabled && !actionInFlight_);
}

void DevicePanel::setActionInFlight(bool inFlight) {
    const bool changed = inFlight != actionInFlight_;
    actionInFlight_ = inFlight;
    for (QWidget* button : actionButtons()) button->setEnabled(actionEnabled_[button] && !inFlight);
    if (inFlight)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
    if (changed) emit sendPendingChanged(inFlight);
}

void DevicePanel::selectGmt() {
    editMode_ = EditMode::Gmt;
    ui_->gmtCaption->setBackground(kSelectedLabel);
    ui_->localCaption->resetBackground();
    for (QWidget* w : gmtEditingWidgets()) w->show();
    for (QWidget* w : localEditingWidgets()) w->hide();
    ui_->offsetEdit->setEnabled(false);
    ui_->clockTimeEdit->setEnabled(true);
    if (!doc_.connected()) return;
    suspendWanted_ = true;
    switchCommunication();
}

void DevicePanel::selectLocal() {
    editMode_ = EditMode::Local;
    ui_->localCaption->setBackground(kSelectedLabel);
    ui_->gmtCaption->resetBackground();
    for (QWidget* w : gmtEditingWidgets()) w->hide();
    for (QWidget* w : localEditingWidgets()) w->show();
    ui_->offsetEdit->setEnabled(true);
    ui_->clockTimeEdit->setEnabled(laStopped_);
    if (!doc_.connected()) return;
    suspendWanted_ = false;
    // A switch still out (the GMT one) is followed by the resumption when
    // its answer comes; the refresh follows the resumption.
    if (!switchCommunication()) runForcedRefresh();
}

bool DevicePanel::switchCommunication() {
    if (switching()) return true;
    if (suspendWanted_ == communicationSuspended()) return false;
    const bool suspend = suspendWanted_;
    communication_ = suspend ? Communication::Suspending : Communication::Resuming;
    doc_.serverCall(
        this,
        [suspend](client::ServerProxy& s) {
            // A centre being set by hand keeps its communication.
            if (suspend && (s.GetAlarmFlag() & A_MANSET)) return false;
            s.ComunicationEnable(suspend ? 0 : 1);
            return suspend;
        },
        [this, suspend](bool suspended) {
            communication_ = suspended ? Communication::Suspended : Communication::On;
            if (suspend && !suspended) suspendWanted_ = false;
            // The operator chose the other clock meanwhile: switch back.
            if (!switchCommunication()) afterCommunicationSwitch();
        },
        // Errors are left to the polls to show; the switch is tried again
        // on the next click.
        [this](const client::ServerError&) {
            communication_ = communicationOf(communicationSuspended(), false);
            afterCommunicationSwitch();
        });
    return true;
}

void DevicePanel::afterCommunicationSwitch() {
    if (editMode_ == EditMode::Local) runForcedRefresh();
    reportIfSettled();
}

void DevicePanel::reportIfSettled() {
    if (!busy()) emit settled();
}

void DevicePanel::toggleSign() {
    offsetSign_ = !offsetSign_;
    ui_->offsetSignLabel->setText(offsetSign_ ? "+" : "-");
}

void DevicePanel::changeHourTyped(const QString& text) {
    if (!initialised_) return;
    const auto typed = typedChangeHour(text);
    if (!typed) return;  // nothing to read yet: the hour stays as it was
    if (typed->clamped)
        setChangeHour(typed->hour);
    else
        showChangeHour(typed->hour);
}

void DevicePanel::setChangeHour(int hour) {
    auto* edit = ui_->changeHourEdit;
    const QString text = QString::number(hour);
    if (edit->text() != text) {
        const QSignalBlocker block(edit);
        edit->setText(text);
    }
    showChangeHour(hour);
}

void DevicePanel::showChangeHour(int hour) {
    ui_->changeLZHourLabel->setText(QString::number(hour + 1));
    auto* spin = ui_->changeHourSpin;
    const QSignalBlocker block(spin);
    spin->setValue(hour);
}

void DevicePanel::offsetPicked() {
    auto* picker = ui_->offsetEdit;
    const QTime t = picker->time();
    if (t.second() != 0) picker->setTime(hourMinute(t.hour(), t.minute()));
}

void DevicePanel::showCallError(const client::ServerError& e) {
    messageBox(this, {kErrorCaption, QString::fromStdString(e.displayText()), QMessageBox::Critical, QMessageBox::Ok});
}

void DevicePanel::runAction(std::function<void(client::ServerProxy&)> work, std::function<void()> succeeded) {
    if (actionInFlight_) return;
    setActionInFlight(true);
    doc_.serverCall(
        this, std::move(work),
        [this, succeeded = std::move(succeeded)] {
            setActionInFlight(false);
            if (succeeded) succeeded();
            reportIfSettled();
        },
        // The box first: until it is answered the send counts as pending,
        // so an ending console waits for the operator to read it.
        [this](const client::ServerError& e) {
            showCallError(e);
            setActionInFlight(false);
            reportIfSettled();
        });
}

void DevicePanel::toggleLC() {
    // The buttons stay disabled until a poll sees the line's new state.
    runAction([](client::ServerProxy& s) { s.PutSetFlag(s.GetSetFlag() ^ S_LINE1DIGITON); },
              [this] {
                  enableAction(ui_->lcStopButton, false);
                  enableAction(ui_->laStopButton, false);
              });
}

void DevicePanel::toggleLA() {
    runAction([](client::ServerProxy& s) { s.PutSetFlag(s.GetSetFlag() ^ S_LINE1ANALON); },
              [this] {
                  enableAction(ui_->laStopButton, false);
                  enableAction(ui_->lcStopButton, false);
              });
}

void DevicePanel::send() {
    if (editMode_ == EditMode::Gmt) {
        const QDate d = ui_->gmtDateEdit->date();
        const QTime t = ui_->clockTimeEdit->time();
        const auto gmt = makeDate(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
        if (!gmt) return;
        runAction([value = *gmt](client::ServerProxy& s) { s.PutGmtTime(value); },
                  [this] {
                      // The server resumes communication by itself once the
                      // time is set: so does the notice.
                      communication_ = communicationOf(false, switching());
                      suspendWanted_ = false;
                      ui_->suspendedLabel->hide();
                  });
        return;
    }
    struct LocalSettings {
        double offset;
        int keyLZ, keyZL;
        std::uint32_t changeOn;
        DATE changeLZ, changeZL;
        DATE lineTime;
        int digitType;
    };
    const QTime offset = ui_->offsetEdit->time();
    // The spin's hour, never the edit's text: an edit left empty sends the
    // hour it showed last.
    const int hour = ui_->changeHourSpin->value();
    const LocalSettings v{offsetDays(offsetSign_, offset.hour(), offset.minute()),
                          ui_->changeLZSundayCombo->currentIndex(),
                          ui_->changeZLSundayCombo->currentIndex(),
                          ui_->changeOnCheck->isChecked() ? 1u : 0u,
                          changeTime(ui_->changeLZMonthCombo->currentIndex() + 1, hour + 1),
                          changeTime(ui_->changeZLMonthCombo->currentIndex() + 1, hour),
                          timeOfDay(ui_->clockTimeEdit->time()),
                          telegramType(ui_->telegramCombo->currentIndex())};
    runAction(
        [v](client::ServerProxy& s) {
            s.PutLocalOffset(v.offset);
            s.PutKeyTimeLZ(static_cast<client::EKeyChg>(v.keyLZ));
            s.PutKeyTimeZL(static_cast<client::EKeyChg>(v.keyZL));
            s.PutChangeTimeOn(v.changeOn);
            s.PutChangeTimeLZ(v.changeLZ);
            s.PutChangeTimeZL(v.changeZL);
            if (!(s.GetSetFlag() & S_LINE1ANALON)) s.PutLineTime(v.lineTime);
            const int current = static_cast<int>(s.GetLineDigitType());
            // A centre reporting none of the three types gets the chosen one.
            const bool known = current == 0 || current == 17 || current == 34;
            if (!known || telegramIndex(current) != telegramIndex(v.digitType))
                s.PutLineDigitType(static_cast<client::EDigLine>(v.digitType));
        },
        {});
}

void DevicePanel::applyPolishRule() {
    ui_->changeZLSundayCombo->setCurrentIndex(kPolishRule.keyZL);
    ui_->changeZLMonthCombo->setCurrentIndex(kPolishRule.monthZLIndex);
    ui_->changeLZSundayCombo->setCurrentIndex(kPolishRule.keyLZ);
    ui_->changeLZMonthCombo->setCurrentIndex(kPolishRule.monthLZIndex);
    ui_->changeOnCheck->setChecked(kPolishRule.changeOn);
    setChangeHour(kPolishRule.hour);
}

}  // namespace kt64::console
