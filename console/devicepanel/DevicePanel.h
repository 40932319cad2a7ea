// DevicePanel, the device panel: the operator's live picture of the centre
// and the place where its clock settings are changed. While it is the
// active view it polls the link server four times a second (after a 2.5 s
// start-up delay) and shows both clocks, the offset, the daylight-saving
// state and change dates, both lines, the LA control clock, the telegram
// content and the seven alarm lamps; it sends the GMT time, or the local
// settings, and starts and stops the lines.
//
// Every server call runs through the document off the GUI thread, so a
// dead or silent server shows as placeholders and a status text, never as
// a frozen window: one poll is in flight at a time and a tick that finds
// the previous one still out is skipped. A poll that fails without the
// server's description means the connection is gone: the document drops
// the object and connects again by itself, and the status line says so
// until the next poll shows the centre's values.
//
// A poll still out when two poll periods have passed since the last values
// came (a server that has stopped answering, before its calls time out)
// leaves those values shown, greyed, and the status line says how old they
// are: the readouts never pass for the centre's present state when they are
// not.
#pragma once

#include <QTimer>
#include <QWidget>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "Kt64Document.h"
#include "PanelRules.h"

namespace Ui {
class DevicePanelForm;
}

namespace kt64::console {

class AnalogClock;
class AlarmLamp;
class ColorText;

class DevicePanel : public QWidget {
    Q_OBJECT
public:
    // Which clock the editing controls set: the GMT clock (with the server's
    // communication with the centre suspended) or the local settings.
    enum class EditMode { Gmt, Local };
    Q_ENUM(EditMode)

    // What the readouts show: placeholders (nothing read yet, or the last
    // poll failed), the centre's values, or values older than two polls.
    enum class Readouts { Placeholders, Current, Stale };
    Q_ENUM(Readouts)

    // The server's communication with the centre as the clock selection
    // drives it; Suspending and Resuming while a switch is out.
    enum class Communication { On, Suspending, Suspended, Resuming };
    Q_ENUM(Communication)

    struct Periods {
        std::chrono::milliseconds startup{2500};    // timer 10 after activation
        std::chrono::milliseconds poll{250};        // timer 20
        std::chrono::milliseconds afterLoss{2000};  // timer 10 after a lost connection
    };

    explicit DevicePanel(Kt64Document& doc, QWidget* parent = nullptr);
    ~DevicePanel() override;

    // A send or a line toggle is on its way to the centre.
    bool sendPending() const { return actionInFlight_; }
    // Something the operator started is still out: a send, a line toggle,
    // a clock switch or a settings refresh.
    bool busy() const { return actionInFlight_ || switching() || refreshesOut_ > 0; }

    EditMode editMode() const { return editMode_; }
    Readouts readouts() const { return readouts_; }
    Communication communication() const { return communication_; }
    // Suspended as far as the panel knows (a resumption may be out).
    bool communicationSuspended() const {
        return communication_ == Communication::Suspended || communication_ == Communication::Resuming;
    }
    bool offsetPositive() const { return offsetSign_; }
    bool lcStopped() const { return lcStopped_; }
    bool laStopped() const { return laStopped_; }
    QTimer& startupTimer() { return startupTimer_; }
    QTimer& pollTimer() { return pollTimer_; }
    void setPeriods(const Periods& periods) { periods_ = periods; }
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    // The clock the age of the shown values is measured by.
    void setClock(Clock clock) { clock_ = std::move(clock); }
    // The shown values are older than two polls.
    bool showingStale() const { return readouts_ == Readouts::Stale; }

public slots:
    // Once, before the panel is first used: the form's start-up state.
    void initialUpdate();
    // Polls (after the start-up delay) while the panel is the active view.
    void setActive(bool active);

    // The operator's actions, as the controls' events run them.
    void selectGmt();
    void selectLocal();
    void toggleSign();
    void toggleLA();
    void toggleLC();
    void send();
    void applyPolishRule();

signals:
    // A poll's outcome has been shown (ok: the centre's values).
    void pollShown(bool ok);
    // The relay outputs of the centre's build type, read now and then.
    void relayOutputsChanged(int outputs);
    // The centre raised its first alarm (true) or cleared its last (false).
    void alarmsChanged(bool raised);
    // sendPending() changed.
    void sendPendingChanged(bool pending);
    // busy() has become false.
    void settled();

public:
    // What a poll and a settings refresh read.
    struct Reading;
    struct EditSettings;

private:
    void startPolling();
    void poll();
    void reportIfSettled();
    void showReading(const Reading& r);
    void showFailure(const client::ServerError& e);
    void showPlaceholders();
    // The last values stay, greyed, with their age in the status line.
    void showStale(std::chrono::steady_clock::duration age);
    void setReadouts(Readouts readouts);
    bool switching() const {
        return communication_ == Communication::Suspending || communication_ == Communication::Resuming;
    }
    // The communication known to be suspended or not, a switch out or not.
    static Communication communicationOf(bool suspended, bool switching);
    void applySettings(DATE changeZL, DATE changeLZ, DATE localTime, const std::optional<EditSettings>& edit);
    void updateLC(std::uint32_t setFlag, bool forced);
    void updateLA(std::uint32_t setFlag, DATE lineTime, bool forced);
    void runForcedRefresh();
    void showCallError(const client::ServerError& e);
    void setEditingEnabled(bool enabled);
    // The send and line buttons as the panel's rules want them; shown
    // disabled (with a busy cursor) while one of their calls is out.
    void enableAction(QWidget* button, bool enabled);
    void setActionInFlight(bool inFlight);
    // Runs a send or a line toggle; succeeded runs after it came back well.
    void runAction(std::function<void(client::ServerProxy&)> work, std::function<void()> succeeded);
    // Brings the server's communication with the centre to what the clock
    // selection wants (off while the GMT time is edited), one switch at a
    // time: calls run side by side and a later one could overtake an
    // earlier one. False when nothing was to be switched.
    bool switchCommunication();
    void afterCommunicationSwitch();
    void changeHourTyped(const QString& text);
    // The change hour in the edit, the spin and the hour beside them.
    void setChangeHour(int hour);
    void showChangeHour(int hour);
    void offsetPicked();
    void layOutAlarmRows(char letter);
    void setStatus(const QString& text);
    QList<QWidget*> editingControls() const;
    QList<QWidget*> actionButtons() const;
    QList<ColorText*> digitalReadouts() const;
    QList<std::pair<AlarmLamp*, std::uint32_t>> lamps() const;
    QList<QWidget*> gmtEditingWidgets() const;
    QList<QWidget*> localEditingWidgets() const;

    Kt64Document& doc_;
    std::unique_ptr<Ui::DevicePanelForm> ui_;
    Periods periods_;
    QTimer startupTimer_;  // id 10
    QTimer pollTimer_;     // id 20

    EditMode editMode_ = EditMode::Local;
    Communication communication_ = Communication::On;
    Readouts readouts_ = Readouts::Placeholders;
    bool lcStopped_ = false;
    bool laStopped_ = false;
    bool offsetSign_ = true;
    bool initialised_ = false;
    // What the last poll saw: the panel acts on changes of these.
    bool previousManualSet_ = false;
    std::uint32_t previousAlarms_ = 0;
    panel::BuildTypeTicks buildTypeTicks_;
    char lastSourceLetter_ = 'D';
    bool pollInFlight_ = false;
    Clock clock_ = std::chrono::steady_clock::now;
    // When the values shown came; empty while placeholders are shown.
    std::optional<std::chrono::steady_clock::time_point> shownAt_;
    bool actionInFlight_ = false;
    int refreshesOut_ = 0;
    std::map<QWidget*, bool> actionEnabled_;
    // What the clock selection wants of the communication.
    bool suspendWanted_ = false;
};

}  // namespace kt64::console
