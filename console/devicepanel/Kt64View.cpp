// CKt64View: poll and refresh, editing, line toggles and send, all through
// the document's calls off the GUI thread.
#include "Kt64View.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTimeEdit>

#include "AlarmLamp.h"
#include "AnalogClock.h"
#include "BuildType.h"
#include "ColorText.h"
#include "MessageBoxes.h"
#include "ui_DevicePanel.h"

namespace kt64::console {

using namespace panel;

namespace {

// What lives once per program, not once per panel: the panel is made once,
// and a new document must not reset what it has seen of the centre.
struct ProcessState {
    bool initialisedOnce = false;
    bool previousManualSet = false;
    std::uint32_t previousAlarms = 0;
    BuildTypeTicks ticks;
};

ProcessState& processState() {
    static ProcessState state;
    return state;
}

// The eleven editing controls a manual setting of the centre locks.
constexpr int kEditingControls[] = {1043, 1036, 1048, 1104, 1084, 1089, 1090, 1039, 1096, 1044, 1117};
// The buttons whose calls the operator waits for: send, LA and LC.
constexpr int kActionButtons[] = {1044, 1051, 1055};
constexpr int kDigitalReadouts[] = {1018, 1022, 1023, 1024, 1026, 1027, 1028, 1113};
constexpr int kLamps[] = {1097, 1030, 1031, 1032, 1057, 1056, 1098};

std::uint32_t lampBit(int lamp) {
    switch (lamp) {
        case 1097: return A_SYNCTRAN;
        case 1030: return A_SYNC;
        case 1031: return A_POWER;
        case 1032: return A_AKU36;
        case 1057: return A_ANTENA;
        case 1056: return A_MANSET;
        case 1098: return A_SET;
        default: return 0;
    }
}

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
struct CKt64View::EditSettings {
    DATE changeZL = 0;
    int keyZL = 0;
    DATE changeLZ = 0;
    int keyLZ = 0;
    std::uint32_t setFlag = 0;
    double offset = 0;
    int digitType = 0;
};

// Everything one poll reads, in the order the panel shows it.
struct CKt64View::Reading {
    DATE gmt = 0, local = 0, line = 0;
    std::uint32_t alarms = 0, setFlag = 0;
    double offset = 0;
    int digitType = 0;
    DATE changeZL = 0, changeLZ = 0;
    std::optional<EditSettings> edit;
    std::optional<std::string> buildType;
};

namespace {

CKt64View::EditSettings readEditSettings(client::Kt64Srv& s) {
    CKt64View::EditSettings e;
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

void CKt64View::resetProcessState() { processState() = ProcessState{}; }

CKt64View::CKt64View(CKt64Doc& doc, ConsoleFrame& frame, QWidget* parent)
    : QWidget(parent), doc_(doc), frame_(frame), ui_(std::make_unique<Ui::DevicePanelForm>()) {
    setObjectName("CKt64View");
    ui_->setupUi(this);
    setFixedSize(size());
    startupTimer_.setObjectName("timer10");
    pollTimer_.setObjectName("timer20");
    connect(&startupTimer_, &QTimer::timeout, this, &CKt64View::OnStartupTimer);
    connect(&pollTimer_, &QTimer::timeout, this, &CKt64View::OnPollTimer);

    connect(control<CAnalogClock>(1014), &CAnalogClock::clicked, this, &CKt64View::OnSelectGmt);
    connect(control<CAnalogClock>(1020), &CAnalogClock::clicked, this, &CKt64View::OnSelectLocal);
    control(1052)->installEventFilter(new ClickFilter(this, [this] { OnToggleSign(); }));
    // The change hour takes digits only; the spin holds the hour that is
    // sent, so an edit left empty or half typed never sends a guess.
    auto* changeHour = control<QLineEdit>(1039);
    changeHour->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,2}"), changeHour));
    connect(changeHour, &QLineEdit::textChanged, this, &CKt64View::OnChangeHour);
    connect(changeHour, &QLineEdit::editingFinished, this, [this] { setChangeHour(control<QSpinBox>(1040)->value()); });
    connect(control<QSpinBox>(1040), &QSpinBox::valueChanged, this, [this](int v) { setChangeHour(v); });
    for (int id : kActionButtons) actionEnabled_[id] = control(id)->isEnabled();
    connect(control<QTimeEdit>(1043), &QTimeEdit::timeChanged, this, &CKt64View::OnOffsetPicked);
    connect(control<QPushButton>(1051), &QPushButton::clicked, this, &CKt64View::OnToggleLA);
    connect(control<QPushButton>(1055), &QPushButton::clicked, this, &CKt64View::OnToggleLC);
    connect(control<QPushButton>(1044), &QPushButton::clicked, this, &CKt64View::OnSend);
    connect(control<QPushButton>(1106), &QPushButton::clicked, this, &CKt64View::OnPolishRule);
    // Typed text that names no entry falls back to the selected entry: the
    // value sent is always one of the five.
    for (int id : {1089, 1090}) {
        auto* box = control<QComboBox>(id);
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
    control<QDateEdit>(1036)->setDate(now.date());
    control<QTimeEdit>(1048)->setTime(now.time());
}

CKt64View::~CKt64View() = default;

void CKt64View::setStatus(const QString& text) { control<QLabel>(1094)->setText(text); }

void CKt64View::OnInitialUpdate() {
    auto& state = processState();
    if (state.initialisedOnce) return;
    state.initialisedOnce = true;
    auto* gmtLabel = control<CColorText>(1015);
    auto* locLabel = control<CColorText>(1016);
    gmtLabel->setBold(true);
    locLabel->setBold(true);
    locLabel->setBackground(kSelectedLabel);
    for (int id : {1036, 1074, 1093}) control(id)->hide();
    for (int id : {1053, 1051, 1055, 1054}) control(id)->show();
    control(1048)->setEnabled(false);
    for (int id : kActionButtons) enableAction(id, false);
    for (int id : kDigitalReadouts) control<CColorText>(id)->setBackground(kReadoutBackground);
    for (int id : kLamps) control<CAlarmLamp>(id)->SetColorAndShape(kLampRed, kLampRound);
    control<CAnalogClock>(1013)->HideSecondHand();
    control<QSpinBox>(1040)->setRange(0, 8);
    control<QComboBox>(1089)->setCurrentIndex(0);
    control<QComboBox>(1104)->setCurrentIndex(2);
    control<QComboBox>(1090)->setCurrentIndex(0);
    control<QComboBox>(1084)->setCurrentIndex(9);
    control<QComboBox>(1117)->setCurrentIndex(0);
    control<QCheckBox>(1096)->setChecked(true);
    setChangeHour(2);
    // The form as made has the 'D' layout: no transmission row.
    control(1097)->hide();
    control(1116)->hide();
    initialised_ = true;
}

void CKt64View::OnActivateView(bool active) {
    if (active) {
        startupTimer_.start(periods_.startup);
    } else {
        startupTimer_.stop();
        pollTimer_.stop();
    }
}

void CKt64View::OnStartupTimer() {
    startupTimer_.stop();
    pollTimer_.start(periods_.poll);
    if (doc_.Connected()) runForcedRefresh();
}

void CKt64View::runForcedRefresh() {
    struct Forced {
        DATE changeZL, changeLZ, local;
        EditSettings edit;
    };
    doc_.serverCall(
        this,
        [](client::Kt64Srv& s) {
            (void)s.GetAlarmFlag();
            Forced f{};
            f.changeZL = s.GetChangeTimeZL();
            f.local = s.GetLocTime();
            f.changeLZ = s.GetChangeTimeLZ();
            f.edit = readEditSettings(s);
            return f;
        },
        [this](Forced f) {
            applySettings(f.changeZL, f.changeLZ, f.local, f.edit);
            emit actionFinished();
        },
        // Failures of this refresh are left to the next poll to show.
        [this](const client::ServerError&) { emit actionFinished(); });
}

void CKt64View::OnPollTimer() {
    if (!doc_.Connected()) {
        setStatus(doc_.Reconnecting() ? kReconnectingText : kNoConnection);
        emit pollShown(false);
        return;
    }
    if (pollInFlight_) return;
    pollInFlight_ = true;
    const bool buildTypeDue = processState().ticks.due();
    doc_.serverCall(
        this,
        [buildTypeDue](client::Kt64Srv& s) {
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

void CKt64View::showReading(const Reading& r) {
    auto& state = processState();
    // Display refresh.
    control<CAnalogClock>(1014)->SetTime(r.gmt);
    control<QLabel>(1023)->setText(timeText(r.gmt));
    control<QLabel>(1024)->setText(dateText(r.gmt));
    control<QLabel>(1022)->setText(weekdayText(r.gmt));
    control<CAnalogClock>(1020)->SetTime(r.local);
    control<QLabel>(1027)->setText(timeText(r.local));
    control<QLabel>(1028)->setText(dateText(r.local));
    for (int id : kLamps) control<CAlarmLamp>(id)->Set(r.alarms & lampBit(id));
    if (state.previousAlarms == 0 && r.alarms != 0) frame_.SetTrayIcon(TrayOperation::Modify, kIconAlarm);
    if (state.previousAlarms != 0 && r.alarms == 0) frame_.SetTrayIcon(TrayOperation::Modify, kIconNormal);
    state.previousAlarms = r.alarms;
    control<CAnalogClock>(1013)->SetTime(r.line);
    control<QLabel>(1018)->setText(offsetText(r.offset));
    const auto analog = analogLineState(r.alarms, r.setFlag);
    control<CColorText>(1099)->setText(analog.text);
    control<CColorText>(1099)->setBackground(analog.background);
    const auto digital = digitalLineState(r.setFlag);
    control<CColorText>(1100)->setText(digital.text);
    control<CColorText>(1100)->setBackground(digital.background);
    control<QLabel>(1105)->setText(daylightText(r.setFlag));
    control<QLabel>(1026)->setText(weekdayText(r.local));
    control<QLabel>(1113)->setText(telegramText(r.digitType));

    // Manual-set tracking.
    const bool manual = r.alarms & A_MANSET;
    if (!state.previousManualSet && manual) setEditingEnabled(false);
    if (state.previousManualSet && !manual) {
        editMode_ = kEditLocal;
        setEditingEnabled(true);
        // Local editing: the LA clock is set only while the line stands.
        control(1048)->setEnabled(laStopped_);
    }
    state.previousManualSet = manual;

    // Settings refresh, not forced: the editing controls follow the centre
    // only while it is being set by hand.
    applySettings(r.changeZL, r.changeLZ, r.local, r.edit);

    updateLC(r.setFlag, false);
    updateLA(r.setFlag, r.line, false);

    // Build-type check.
    state.ticks.advance();
    if (r.buildType) {
        const auto build = program::readBuildType(*r.buildType);
        frame_.SetRelayOutputs(build.relayOutputs.value_or(0));
        if (const auto letter = build.sourceLetter(); letter && *letter != lastSourceLetter_) {
            layOutAlarmRows(*letter);
            lastSourceLetter_ = *letter;
        }
    }

    if (errorPending_) {
        errorPending_ = false;
        updateLC(r.setFlag, true);
        updateLA(r.setFlag, r.line, true);
        // A centre that entered manual setting in this very poll keeps its
        // editor locked, the send button with it.
        if (!manual) enableAction(1044, true);
    }
    setStatus(kNoError);
}

void CKt64View::layOutAlarmRows(char letter) {
    const auto rows = alarmRowsFor(letter);
    if (!rows) return;
    control(1116)->setVisible(rows->transmission);
    control(1097)->setVisible(rows->transmission);
    control(1163)->setVisible(rows->synchro);
    control(1030)->setVisible(rows->synchro);
    control(1115)->setVisible(rows->antenna);
    control(1057)->setVisible(rows->antenna);
    if (!rows->antennaText.isEmpty()) control<QLabel>(1115)->setText(rows->antennaText);
}

void CKt64View::applySettings(DATE changeZL, DATE changeLZ, DATE localTime, const std::optional<EditSettings>& edit) {
    control<QLabel>(1101)->setText(changeDateText(changeZL, localTime));
    control<QLabel>(1102)->setText(changeDateText(changeLZ, localTime));
    if (!edit) return;
    if (const auto zl = monthHourOf(edit->changeZL)) {
        control<QComboBox>(1104)->setCurrentIndex(zl->month - 1);
        setChangeHour(zl->hour);
    }
    control<QComboBox>(1089)->setCurrentIndex(edit->keyZL);
    if (const auto lz = monthHourOf(edit->changeLZ)) {
        control<QComboBox>(1084)->setCurrentIndex(lz->month - 1);
        control<QLabel>(1103)->setText(QString::number(lz->hour));
    }
    control<QComboBox>(1090)->setCurrentIndex(edit->keyLZ);
    control<QCheckBox>(1096)->setChecked(edit->setFlag & S_CHANGETIMEON);
    offsetSign_ = edit->offset >= 0;
    control<QLabel>(1052)->setText(offsetSign_ ? "+" : "-");
    const auto m = offsetMagnitude(edit->offset);
    control<QTimeEdit>(1043)->setTime(hourMinute(m.hours, m.minutes));
    control<QComboBox>(1117)->setCurrentIndex(telegramIndex(edit->digitType));
}

void CKt64View::updateLC(std::uint32_t setFlag, bool forced) {
    const bool stopped = !(setFlag & S_LINE1DIGITON);
    if (stopped && (!lcStopped_ || forced)) {
        control<QPushButton>(1055)->setText("Start LC");
        enableAction(1055, true);
        enableAction(1051, true);
    } else if (!stopped && (lcStopped_ || forced)) {
        control<QPushButton>(1055)->setText("Stop LC");
        enableAction(1055, true);
        enableAction(1051, true);
    }
    lcStopped_ = stopped;
}

void CKt64View::updateLA(std::uint32_t setFlag, DATE lineTime, bool forced) {
    const bool stopped = !(setFlag & S_LINE1ANALON);
    if (stopped && (!laStopped_ || forced)) {
        control<QPushButton>(1051)->setText("Start LA");
        enableAction(1051, true);
        enableAction(1055, true);
        // A centre set by hand keeps the picker locked with the editor.
        if (editMode_ == kEditLocal && !processState().previousManualSet) {
            control(1048)->setEnabled(true);
            if (const auto t = fromVariantTime(lineTime))
                control<QTimeEdit>(1048)->setTime(QTime(t->hour, t->minute, t->second));
        }
    } else if (!stopped && (laStopped_ || forced)) {
        control<QPushButton>(1051)->setText("Stop LA");
        enableAction(1051, true);
        enableAction(1055, true);
        if (editMode_ == kEditLocal) control(1048)->setEnabled(false);
    }
    laStopped_ = stopped;
}

void CKt64View::showFailure(const client::ServerError& e) {
    errorPending_ = true;
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

void CKt64View::showPlaceholders() {
    for (int id : {1023, 1027}) control<QLabel>(id)->setText("xx:xx:xx");
    for (int id : {1024, 1028}) control<QLabel>(id)->setText("xx/xx/xxxx");
    for (int id : {1022, 1026, 1105}) control<QLabel>(id)->setText("--------");
    control<QLabel>(1018)->setText("xx:xx");
    for (int id : {1099, 1100}) {
        control<CColorText>(id)->setText("--------");
        control<CColorText>(id)->setBackground(kPlaceholderBlue);
    }
    control<QLabel>(1113)->setText("----");
    for (int id : kLamps) control<CAlarmLamp>(id)->SwitchOff();
    enableAction(1055, false);
    enableAction(1051, false);
    if (editMode_ == kEditLocal) enableAction(1044, false);
}

void CKt64View::setEditingEnabled(bool enabled) {
    for (int id : kEditingControls) {
        if (id == 1044)
            enableAction(id, enabled);
        else
            control(id)->setEnabled(enabled);
    }
}

void CKt64View::enableAction(int id, bool enabled) {
    actionEnabled_[id] = enabled;
    control(id)->setEnabled(enabled && !actionInFlight_);
}

void CKt64View::setActionInFlight(bool inFlight) {
    actionInFlight_ = inFlight;
    for (int id : kActionButtons) control(id)->setEnabled(actionEnabled_[id] && !inFlight);
    if (inFlight)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

void CKt64View::OnSelectGmt() {
    editMode_ = kEditGmt;
    control<CColorText>(1015)->setBackground(kSelectedLabel);
    control<CColorText>(1016)->resetBackground();
    for (int id : {1036, 1074, 1093}) control(id)->show();
    for (int id : {1053, 1051, 1055, 1054}) control(id)->hide();
    control(1043)->setEnabled(false);
    control(1048)->setEnabled(true);
    if (!doc_.Connected()) return;
    suspendWanted_ = true;
    if (!switchCommunication()) emit actionFinished();
}

void CKt64View::OnSelectLocal() {
    editMode_ = kEditLocal;
    control<CColorText>(1016)->setBackground(kSelectedLabel);
    control<CColorText>(1015)->resetBackground();
    for (int id : {1036, 1074, 1093}) control(id)->hide();
    for (int id : {1053, 1051, 1055, 1054}) control(id)->show();
    control(1043)->setEnabled(true);
    control(1048)->setEnabled(laStopped_);
    if (!doc_.Connected()) return;
    suspendWanted_ = false;
    // A switch still out (the GMT one) is followed by the resumption when
    // its answer comes; the refresh follows the resumption.
    if (!switchCommunication()) runForcedRefresh();
}

bool CKt64View::switchCommunication() {
    if (switchInFlight_) return true;
    if (suspendWanted_ == communicationSuspended_) return false;
    switchInFlight_ = true;
    const bool suspend = suspendWanted_;
    doc_.serverCall(
        this,
        [suspend](client::Kt64Srv& s) {
            // A centre being set by hand keeps its communication.
            if (suspend && (s.GetAlarmFlag() & A_MANSET)) return false;
            s.ComunicationEnable(suspend ? 0 : 1);
            return suspend;
        },
        [this, suspend](bool suspended) {
            switchInFlight_ = false;
            communicationSuspended_ = suspended;
            if (suspend && !suspended) suspendWanted_ = false;
            // The operator chose the other clock meanwhile: switch back.
            if (!switchCommunication()) afterCommunicationSwitch();
        },
        // Errors are left to the polls to show; the switch is tried again
        // on the next click.
        [this](const client::ServerError&) {
            switchInFlight_ = false;
            afterCommunicationSwitch();
        });
    return true;
}

void CKt64View::afterCommunicationSwitch() {
    if (editMode_ == kEditLocal)
        runForcedRefresh();
    else
        emit actionFinished();
}

void CKt64View::OnToggleSign() {
    offsetSign_ = !offsetSign_;
    control<QLabel>(1052)->setText(offsetSign_ ? "+" : "-");
}

void CKt64View::OnChangeHour(const QString& text) {
    if (!initialised_) return;
    const auto typed = typedChangeHour(text);
    if (!typed) return;  // nothing to read yet: the hour stays as it was
    if (typed->clamped)
        setChangeHour(typed->hour);
    else
        showChangeHour(typed->hour);
}

void CKt64View::setChangeHour(int hour) {
    auto* edit = control<QLineEdit>(1039);
    const QString text = QString::number(hour);
    if (edit->text() != text) {
        const QSignalBlocker block(edit);
        edit->setText(text);
    }
    showChangeHour(hour);
}

void CKt64View::showChangeHour(int hour) {
    control<QLabel>(1103)->setText(QString::number(hour + 1));
    auto* spin = control<QSpinBox>(1040);
    const QSignalBlocker block(spin);
    spin->setValue(hour);
}

void CKt64View::OnOffsetPicked() {
    auto* picker = control<QTimeEdit>(1043);
    const QTime t = picker->time();
    if (t.second() != 0) picker->setTime(hourMinute(t.hour(), t.minute()));
}

void CKt64View::showCallError(const client::ServerError& e) {
    messageBox(this, {kErrorCaption, QString::fromStdString(e.displayText()), QMessageBox::Critical, QMessageBox::Ok});
}

void CKt64View::runAction(std::function<void(client::Kt64Srv&)> work, std::function<void()> succeeded) {
    if (actionInFlight_) return;
    setActionInFlight(true);
    doc_.serverCall(
        this, std::move(work),
        [this, succeeded = std::move(succeeded)] {
            setActionInFlight(false);
            if (succeeded) succeeded();
            emit actionFinished();
        },
        // The box first: until it is answered the send counts as pending,
        // so an ending console waits for the operator to read it.
        [this](const client::ServerError& e) {
            showCallError(e);
            setActionInFlight(false);
            emit actionFinished();
        });
}

void CKt64View::OnToggleLC() {
    // The buttons stay disabled until a poll sees the line's new state.
    runAction([](client::Kt64Srv& s) { s.PutSetFlag(s.GetSetFlag() ^ S_LINE1DIGITON); },
              [this] {
                  enableAction(1055, false);
                  enableAction(1051, false);
              });
}

void CKt64View::OnToggleLA() {
    runAction([](client::Kt64Srv& s) { s.PutSetFlag(s.GetSetFlag() ^ S_LINE1ANALON); },
              [this] {
                  enableAction(1051, false);
                  enableAction(1055, false);
              });
}

void CKt64View::OnSend() {
    if (editMode_ == kEditGmt) {
        const QDate d = control<QDateEdit>(1036)->date();
        const QTime t = control<QTimeEdit>(1048)->time();
        const auto gmt = makeDate(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
        if (!gmt) return;
        runAction([value = *gmt](client::Kt64Srv& s) { s.PutGmtTime(value); },
                  [this] {
                      // The server resumes communication by itself once the
                      // time is set: so does the notice.
                      communicationSuspended_ = false;
                      suspendWanted_ = false;
                      control(1093)->hide();
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
    const QTime offset = control<QTimeEdit>(1043)->time();
    // The spin's hour, never the edit's text: an edit left empty sends the
    // hour it showed last.
    const int hour = control<QSpinBox>(1040)->value();
    const LocalSettings v{offsetDays(offsetSign_, offset.hour(), offset.minute()),
                          control<QComboBox>(1090)->currentIndex(),
                          control<QComboBox>(1089)->currentIndex(),
                          control<QCheckBox>(1096)->isChecked() ? 1u : 0u,
                          changeTime(control<QComboBox>(1084)->currentIndex() + 1, hour + 1),
                          changeTime(control<QComboBox>(1104)->currentIndex() + 1, hour),
                          timeOfDay(control<QTimeEdit>(1048)->time()),
                          telegramType(control<QComboBox>(1117)->currentIndex())};
    runAction(
        [v](client::Kt64Srv& s) {
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

void CKt64View::OnPolishRule() {
    control<QComboBox>(1089)->setCurrentIndex(kPolishRule.keyZL);
    control<QComboBox>(1104)->setCurrentIndex(kPolishRule.monthZLIndex);
    control<QComboBox>(1090)->setCurrentIndex(kPolishRule.keyLZ);
    control<QComboBox>(1084)->setCurrentIndex(kPolishRule.monthLZIndex);
    control<QCheckBox>(1096)->setChecked(kPolishRule.changeOn);
    setChangeHour(kPolishRule.hour);
}

}  // namespace kt64::console
