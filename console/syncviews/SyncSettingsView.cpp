// The settings form's handlers. Registry work is quick and local and stays on
// the GUI thread; link-server calls go through the session, service requests
// through the form's own worker (a stop waits for the program to end).
#include "SyncSettingsView.h"

#include <QDateTime>
#include <QMetaObject>

#include <cmath>

#include "BuildType.h"
#include "CivilTime.h"
#include "ComputerPickerDialog.h"
#include "SyncSettingsTexts.h"
#include "ControlTooltips.h"
#include "OleDate.h"
#include "SyncHelpDialog.h"
#include "ui_SyncSettingsView.h"

namespace kt64::console {

namespace sc = servicecontrol;

namespace {

constexpr int kPortCount = 15;
// The caption of the standard refusal of an out-of-range number.
constexpr std::string_view kRangeCaption = "KT64mon";

double timeFraction(const QTime& t) { return (t.hour() * 3600.0 + t.minute() * 60.0 + t.second()) / 86400.0; }

QTime timeOfDate(DATE date) {
    const auto st = fromVariantTime(date);
    if (!st) return QTime(0, 0, 0);
    return QTime(st->hour, st->minute, st->second);
}

}  // namespace

SyncSettingsView::SyncSettingsView(Kt64Document& doc, std::shared_ptr<sc::SyncServiceControl> service,
                                   FormMessages& messages, QWidget* parent)
    : QWidget(parent),
      ui_(std::make_unique<Ui::SyncSettingsView>()),
      session_(doc),
      service_(std::move(service)),
      messages_(messages) {
    ui_->setupUi(this);
    applyControlTooltips(*this, "syncSettings");
    picker_ = [this](QWidget* owner) {
        return ComputerPickerDialog::choose(owner, makeAvahiComputerBrowser(), session_.document().workers());
    };

    startDelay_.setSingleShot(true);
    startDelay_.setInterval(kStartDelayMs);
    ticker_.setInterval(kTickMs);
    connect(&startDelay_, &QTimer::timeout, this, [this] { ticker_.start(); });
    connect(&ticker_, &QTimer::timeout, this, &SyncSettingsView::tick);

    connect(ui_->saveButton, &QPushButton::clicked, this, &SyncSettingsView::save);
    connect(ui_->startServiceButton, &QPushButton::clicked, this, &SyncSettingsView::startService);
    connect(ui_->stopServiceButton, &QPushButton::clicked, this, &SyncSettingsView::stopService);
    connect(ui_->refreshButton, &QPushButton::clicked, this, &SyncSettingsView::refresh);
    connect(ui_->browseComputerButton, &QPushButton::clicked, this, &SyncSettingsView::pickComputer);
    connect(ui_->helpButton, &QPushButton::clicked, this, &SyncSettingsView::showHelp);
    connect(ui_->periodUnitCombo, &QComboBox::currentIndexChanged, this, &SyncSettingsView::unitChanged);
    // However the document got its connection (at start-up, "Odśwież", or
    // by itself after a lost one), the port list follows it.
    connect(&session_, &ServerSession::connectedChanged, this, [this](bool connected) {
        if (connected)
            showConnection();
        else
            ui_->portCombo->setEnabled(false);
    });
}

SyncSettingsView::~SyncSettingsView() {
    stopClock();
    if (!initialised_) return;
    // The console is ending: the operator learns that the two options were
    // not kept, and the console still ends in order (the program's working
    // copy removed, its other views closed).
    if (!sc::saveSyncFormOnClose(ui_->minimizeCheck->isChecked(), ui_->soundCheck->isChecked()))
        messages_.show(this, QMessageBox::Critical, qtext(sc::kErrorCaption), qtext(sc::kRegistryCloseFailedText));
}

void SyncSettingsView::initialUpdate() {
    if (session_.connected()) return;
    initialised_ = true;
    setAttribute(Qt::WA_AlwaysShowToolTips);

    const auto loaded = sc::loadSyncForm();
    if (!loaded.keyAvailable)
        messages_.show(this, QMessageBox::Critical, qtext(sc::kErrorCaption), qtext(sc::kRegistryOpenFailedText));
    putSettings(loaded.settings);
    session_.setComputerName(loaded.settings.compName);
    ui_->portCombo->setCurrentIndex(0);

    if (loaded.settings.openMin) emit minimiseRequested();

    showServiceState();

    announceConnection_ = true;
    session_.connectServer(this, [this](ServerAnswer<Done> answer) { afterConnect(answer, true); });
}

// After the form's own connection attempt failed: the port list stays
// locked and (at start-up) the status line says so. A success is the
// document's connectedChanged (showConnection).
void SyncSettingsView::afterConnect(const ServerAnswer<Done>& answer, bool atStart) {
    if (answer.ok()) return;
    ui_->portCombo->setEnabled(false);
    if (atStart) setStatus(qtext(kStatusNotConnected));
    announceConnection_ = false;
    emit connectionTried(false);
}

// A new connection: the port the server uses, and the port list. A server
// reached after start-up also shows its port, so that a save never moves
// the server to the port the list happened to show.
void SyncSettingsView::showConnection() {
    // The port list follows the settings: locked while the service runs.
    ui_->portCombo->setEnabled(ui_->saveButton->isEnabled());
    session_.call<std::uint32_t>(
        this, [](client::ServerProxy& srv) { return srv.GetComPort(); },
        [this](ServerAnswer<std::uint32_t> port) {
            if (port.ok() && *port.value >= 1 && *port.value <= kPortCount)
                ui_->portCombo->setCurrentIndex(static_cast<int>(*port.value) - 1);
            if (!port.ok())
                setStatus(QString::fromStdString(port.errorText()));
            else if (announceConnection_)
                // Said only now that a call has come back: the lease alone
                // does not show that the server still answers.
                setStatus(qtext(kStatusConnected));
            announceConnection_ = false;
            emit connectionTried(true);
        });
}

void SyncSettingsView::putSettings(const sc::SyncFormValues& s) {
    hourSyncDay_ = s.hourSync >= 0.0 ? std::floor(s.hourSync) : 0.0;
    ui_->syncHourEdit->setTime(timeOfDate(s.hourSync));
    const bool hours = s.period.unit == sc::PeriodUnit::Hours;
    {
        const QSignalBlocker block(ui_->periodUnitCombo);
        ui_->periodUnitCombo->setCurrentIndex(hours ? 0 : 1);
    }
    const auto range = sc::periodRange(s.period.unit);
    ui_->periodSpin->setRange(static_cast<int>(range.low), static_cast<int>(range.high));
    ui_->periodSpin->setValue(static_cast<int>(s.period.number));
    ui_->deviationFromSpin->setRange(static_cast<int>(sc::kWindowRange.low), static_cast<int>(sc::kWindowRange.high));
    ui_->deviationToSpin->setRange(static_cast<int>(sc::kWindowRange.low), static_cast<int>(sc::kWindowRange.high));
    ui_->deviationFromSpin->setValue(s.deviationFrom);
    ui_->deviationToSpin->setValue(s.deviationTo);
    ui_->computerEdit->setText(QString::fromStdString(s.compName));
    ui_->minimizeCheck->setChecked(s.openMin);
    ui_->soundCheck->setChecked(s.syncSnd);
}

sc::SyncFormValues SyncSettingsView::takeSettings() const {
    sc::SyncFormValues s;
    s.hourSync = hourSyncDay_ + timeFraction(ui_->syncHourEdit->time());
    s.period.unit = ui_->periodUnitCombo->currentIndex() == 1 ? sc::PeriodUnit::Minutes : sc::PeriodUnit::Hours;
    s.period.number = static_cast<std::uint32_t>(ui_->periodSpin->value());
    s.deviationFrom = ui_->deviationFromSpin->value();
    s.deviationTo = ui_->deviationToSpin->value();
    s.compName = ui_->computerEdit->text().toStdString();
    s.syncSnd = ui_->soundCheck->isChecked();
    s.openMin = ui_->minimizeCheck->isChecked();
    return s;
}

void SyncSettingsView::unitChanged(int index) {
    const auto range = sc::periodRange(index == 1 ? sc::PeriodUnit::Minutes : sc::PeriodUnit::Hours);
    ui_->periodSpin->setRange(static_cast<int>(range.low), static_cast<int>(range.high));
}

void SyncSettingsView::save() {
    const auto form = takeSettings();
    if (auto refusal = sc::validateSyncForm(form)) {
        messages_.show(this, QMessageBox::Warning, qtext(kRangeCaption), QString::fromStdString(*refusal));
        emit saveFinished();
        return;
    }
    const auto outcome = sc::saveSyncForm(form);
    if (outcome == sc::SaveOutcome::KeyUnavailable) {
        messages_.show(this, QMessageBox::Critical, qtext(sc::kErrorCaption), qtext(sc::kRegistryOpenFailedText));
        emit saveFinished();
        return;
    }
    if (outcome == sc::SaveOutcome::WindowBoundsEqual)
        messages_.show(this, QMessageBox::Critical, qtext(sc::kErrorCaption), qtext(sc::kWindowBoundsEqualText));
    else
        emit messageTextChanged(
            QStringLiteral("Ustawienia zapisano (%1).").arg(QTime::currentTime().toString("HH:mm:ss")));
    session_.setComputerName(form.compName);
    if (!session_.connected()) {
        emit saveFinished();
        return;
    }
    const auto port = static_cast<std::uint32_t>(ui_->portCombo->currentIndex() + 1);
    portPending_ = true;
    emit sendPendingChanged(true);
    session_.call(
        this, [port](client::ServerProxy& srv) { srv.SetComPort(port); },
        [this](ServerAnswer<Done> answer) {
            if (!answer.ok())
                messages_.show(this, QMessageBox::Critical, qtext(kSaveFailedCaption),
                               QString::fromStdString(answer.errorText()));
            portPending_ = false;
            emit sendPendingChanged(false);
            emit saveFinished();
        });
}

void SyncSettingsView::setSettingsEnabled(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{
             ui_->syncHourEdit, ui_->periodSpin, ui_->periodUnitCombo, ui_->deviationFromSpin, ui_->deviationToSpin,
             ui_->startServiceButton, ui_->computerEdit, ui_->soundCheck, ui_->browseComputerButton, ui_->saveButton})
        w->setEnabled(enabled);
    ui_->portCombo->setEnabled(enabled && session_.connected());
}

void SyncSettingsView::startService() {
    ui_->startServiceButton->setEnabled(false);
    session_.document().workers().call(
        this, [service = service_] { return service->start(); },
        [this](bool started) {
            if (!started) {
                ui_->startServiceButton->setEnabled(true);
                messages_.show(this, QMessageBox::Critical, qtext(sc::kServiceCaption), qtext(sc::kStartFailedText));
                emit serviceStateShown(sc::kStateStopped);
                return;
            }
            setSettingsEnabled(false);
            ui_->stopServiceButton->setEnabled(true);
            emit serviceStateShown(sc::kStateRunning);
        });
}

void SyncSettingsView::stopService() {
    ui_->stopServiceButton->setEnabled(false);
    session_.document().workers().call(
        this, [service = service_] { return service->stop(); },
        [this](bool stopped) {
            if (!stopped) {
                ui_->stopServiceButton->setEnabled(true);
                messages_.show(this, QMessageBox::Critical, qtext(sc::kServiceCaption), qtext(sc::kStopFailedText));
                emit serviceStateShown(sc::kStateRunning);
                return;
            }
            setSettingsEnabled(true);
            ui_->stopServiceButton->setEnabled(false);
            emit serviceStateShown(sc::kStateStopped);
        });
}

void SyncSettingsView::showServiceState() {
    session_.document().workers().call(
        this, [service = service_] { return service->state(); }, [this](int state) { applyServiceState(state); });
}

void SyncSettingsView::applyServiceState(int state) {
    const auto view = sc::serviceStateView(state);
    if (view.unreachable)
        messages_.show(this, QMessageBox::Critical, qtext(sc::kServiceCaption), qtext(sc::kServiceUnreachableText));
    if (view.settingsEnabled) setSettingsEnabled(*view.settingsEnabled);
    if (view.stopEnabled) ui_->stopServiceButton->setEnabled(*view.stopEnabled);
    emit serviceStateShown(state);
}

void SyncSettingsView::refresh() {
    showServiceState();
    if (session_.connected()) return;
    session_.connectServer(this, [this](ServerAnswer<Done> answer) { afterConnect(answer, false); });
}

void SyncSettingsView::pickComputer() {
    if (!picker_) return;
    if (auto name = picker_(this)) ui_->computerEdit->setText(*name);
}

void SyncSettingsView::showHelp() {
    SyncHelpDialog help(this);
    help.exec();
}

void SyncSettingsView::setStatus(const QString& text) { ui_->serverStatusLabel->setText(text); }

void SyncSettingsView::showCentrePlaceholders() {
    ui_->centreDateLabel->setText(qtext(kDatePlaceholder));
    ui_->centreTimeLabel->setText(qtext(kTimePlaceholder));
}

void SyncSettingsView::showIdentityPlaceholders() {
    ui_->buildTypeLabel->setText(qtext(kBuildTypePlaceholder));
    ui_->serialNumberLabel->setText(qtext(kSerialPlaceholder));
}

void SyncSettingsView::tick() {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate today = now.date();
    const QTime time = now.time();
    ui_->pcDateLabel->setText(QString::fromStdString(program::isoDate({today.year(), today.month(), today.day()})));
    ui_->pcTimeLabel->setText(QString::fromStdString(program::isoTime({time.hour(), time.minute(), time.second()})));

    if (!session_.connected()) {
        setStatus(session_.reconnecting() ? kReconnectingText : qtext(kStatusConnectionError));
        showCentrePlaceholders();
    } else if (!readPending_) {
        readPending_ = true;
        session_.call<DATE>(
            this, [](client::ServerProxy& srv) { return srv.GetLocTime(); },
            [this](ServerAnswer<DATE> answer) {
                readPending_ = false;
                if (answer.ok()) {
                    if (const auto t = fromVariantTime(*answer.value)) {
                        ui_->centreDateLabel->setText(
                            QString::fromStdString(program::isoDate({t->year, t->month, t->day})));
                        ui_->centreTimeLabel->setText(
                            QString::fromStdString(program::isoTime({t->hour, t->minute, t->second})));
                        setStatus(qtext(kStatusNoError));
                        return;
                    }
                }
                setStatus(QString::fromStdString(answer.errorText().empty() ? std::string(client::kNoServerErrorText)
                                                                            : answer.errorText()));
                showCentrePlaceholders();
                if (answer.error && !answer.error->description()) {
                    // The connection itself is gone (the document connects
                    // again by itself): the form waits 2 s again.
                    if (ticker_.isActive()) {
                        ticker_.stop();
                        startDelay_.start();
                    }
                }
            });
    }

    if (++ticks_ > kIdentityTicks) {
        ticks_ = 0;
        refreshIdentity();
        ui_->lastSyncLabel->setText(qtext(sc::lastSyncText()));
    }
}

void SyncSettingsView::refreshIdentity() {
    if (!session_.connected()) {
        showIdentityPlaceholders();
        return;
    }
    if (identityPending_) return;
    identityPending_ = true;
    using Identity = std::pair<std::string, std::string>;
    session_.call<Identity>(
        this,
        [](client::ServerProxy& srv) {
            return Identity{srv.GetBuildType(), srv.GetSerialNum()};
        },
        [this](ServerAnswer<Identity> answer) {
            identityPending_ = false;
            if (!answer.ok()) {
                showIdentityPlaceholders();
                setStatus(QString::fromStdString(answer.errorText()));
                return;
            }
            ui_->buildTypeLabel->setText(QString::fromStdString(answer.value->first));
            ui_->serialNumberLabel->setText(QString::fromStdString(answer.value->second));
            const int outputs = link::relayOutputsOf(answer.value->first);
            emit relayOutputsChanged(outputs);
        });
}

void SyncSettingsView::startClock() {
    if (!ticker_.isActive() && !startDelay_.isActive()) startDelay_.start();
}

void SyncSettingsView::stopClock() {
    startDelay_.stop();
    ticker_.stop();
}

void SyncSettingsView::setActive(bool active) {
    if (!active) {
        stopClock();
        return;
    }
    // What the form showed when it was last on screen is old news: the
    // centre's clock and the status line wait for a reading, which starts
    // at once.
    showCentrePlaceholders();
    setStatus(QString());
    startClock();
    tick();
}

}  // namespace kt64::console
