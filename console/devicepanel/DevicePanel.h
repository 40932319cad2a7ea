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

#include "ConsoleView.h"
#include "Kt64Document.h"
#include "PanelRules.h"

namespace Ui {
class DevicePanelForm;
}

namespace kt64::console {

class AnalogClock;
class AlarmLamp;
class ColorText;

class DevicePanel : public QWidget, public ConsoleView {
    Q_OBJECT
public:
    // Edit modes.
    static constexpr int kEditGmt = 0;
    static constexpr int kEditLocal = 1;

    struct Periods {
        std::chrono::milliseconds startup{2500};    // timer 10 after activation
        std::chrono::milliseconds poll{250};        // timer 20
        std::chrono::milliseconds afterLoss{2000};  // timer 10 after a lost connection
    };

    DevicePanel(Kt64Document& doc, ConsoleFrame& frame, QWidget* parent = nullptr);
    ~DevicePanel() override;

    void OnInitialUpdate() override;
    void OnActivateView(bool active) override;
    // A send or a line toggle is on its way to the centre.
    bool SendPending() const override { return actionInFlight_; }

    int editMode() const { return editMode_; }
    bool communicationSuspended() const { return communicationSuspended_; }
    bool offsetPositive() const { return offsetSign_; }
    bool errorPending() const { return errorPending_; }
    bool lcStopped() const { return lcStopped_; }
    bool laStopped() const { return laStopped_; }
    QTimer& startupTimer() { return startupTimer_; }
    QTimer& pollTimer() { return pollTimer_; }
    void setPeriods(const Periods& periods) { periods_ = periods; }
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    // The clock the age of the shown values is measured by.
    void setClock(Clock clock) { clock_ = std::move(clock); }
    // The shown values are older than two polls.
    bool showingStale() const { return stale_; }

    // The panel's process-wide state back to program start (tests make
    // several panels in one process).
    static void resetProcessState();

    // The operator's actions, as the controls' events run them.
    void OnSelectGmt();
    void OnSelectLocal();
    void OnToggleSign();
    void OnToggleLA();
    void OnToggleLC();
    void OnSend();
    void OnPolishRule();

signals:
    // A poll's outcome has been shown (ok: the centre's values).
    void pollShown(bool ok);
    // A send, line toggle or clock selection has finished its calls.
    void actionFinished();

public:
    // What a poll and a settings refresh read.
    struct Reading;
    struct EditSettings;

private:
    void OnStartupTimer();
    void OnPollTimer();
    void showReading(const Reading& r);
    void showFailure(const client::ServerError& e);
    void showPlaceholders();
    // The last values stay, greyed, with their age in the status line.
    void showStale(std::chrono::steady_clock::duration age);
    void setReadoutsStale(bool stale);
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
    void OnChangeHour(const QString& text);
    // The change hour in the edit, the spin and the hour beside them.
    void setChangeHour(int hour);
    void showChangeHour(int hour);
    void OnOffsetPicked();
    void layOutAlarmRows(char letter);
    void setStatus(const QString& text);
    QList<QWidget*> editingControls() const;
    QList<QWidget*> actionButtons() const;
    QList<ColorText*> digitalReadouts() const;
    QList<std::pair<AlarmLamp*, std::uint32_t>> lamps() const;
    QList<QWidget*> gmtEditingWidgets() const;
    QList<QWidget*> localEditingWidgets() const;

    Kt64Document& doc_;
    ConsoleFrame& frame_;
    std::unique_ptr<Ui::DevicePanelForm> ui_;
    Periods periods_;
    QTimer startupTimer_;  // id 10
    QTimer pollTimer_;     // id 20

    int editMode_ = kEditLocal;
    bool communicationSuspended_ = false;
    bool lcStopped_ = false;
    bool laStopped_ = false;
    bool offsetSign_ = true;
    bool errorPending_ = true;
    bool initialised_ = false;
    char lastSourceLetter_ = 'D';
    bool pollInFlight_ = false;
    Clock clock_ = std::chrono::steady_clock::now;
    // When the values shown came; empty while placeholders are shown.
    std::optional<std::chrono::steady_clock::time_point> shownAt_;
    bool stale_ = false;
    bool actionInFlight_ = false;
    std::map<QWidget*, bool> actionEnabled_;
    // What the clock selection wants of the communication, and whether a
    // switch is out.
    bool suspendWanted_ = false;
    bool switchInFlight_ = false;
};

}  // namespace kt64::console
