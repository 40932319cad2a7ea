// SyncSettingsView: the synchronisation settings form, one of the console's views.
// It loads and saves the synchronisation settings in the registry, makes the
// console's connection to the link server at start-up and picks the server's
// COM port, starts, stops and shows the synchronisation service, and shows
// the PC's clock, the centre's local clock, type, serial number, the last
// synchronisation and a status line.
//
// The clocks run only while the form is the active view: 2 s after it
// becomes active, then a tick every 150 ms. Server calls and service requests run on
// worker threads and answer on the GUI thread: a tick whose previous reading
// is still out skips its server part instead of queueing another, so a dead
// server costs the window nothing.
#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

#include "ConsoleView.h"
#include "FormMessages.h"
#include "ServerSession.h"
#include "SyncSettingsModel.h"
#include "SyncServiceControl.h"

namespace Ui {
class SyncSettingsView;
}

namespace kt64::console {

class SyncSettingsView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kStartDelayMs = 2000;
    static constexpr int kTickMs = 150;
    // The identity and the last synchronisation are refreshed on the tick
    // after this many.
    static constexpr int kIdentityTicks = 20;

    // The computer picker: the chosen name, nullopt when cancelled.
    using ComputerPicker = std::function<std::optional<QString>(QWidget* parent)>;

    SyncSettingsView(Kt64Document& doc, std::shared_ptr<servicecontrol::SyncServiceControl> service,
                     FormMessages& messages = defaultFormMessages(), QWidget* parent = nullptr);
    // Writes OpenMin and SyncSnd when the form was initialised.
    ~SyncSettingsView() override;

    void setComputerPicker(ComputerPicker picker) { picker_ = std::move(picker); }

    // The port a save chose is on its way to the server.
    bool sendPending() const { return portPending_; }

    ServerSession& session() { return session_; }

    // The clock's state, for the frame and for tests.
    bool clockWaiting() const { return startDelay_.isActive(); }
    bool clockTicking() const { return ticker_.isActive(); }

public slots:
    // The form's start-up: settings into the controls, the minimise request,
    // the service state and the connection. Nothing when already connected.
    void initialUpdate();
    // The clock runs while the form is the active view.
    void setActive(bool active);
    // One 150 ms tick of the clock display.
    void tick();
    // Buttons, also callable directly.
    void save();
    void startService();
    void stopService();
    void refresh();
    void pickComputer();
    void showHelp();

signals:
    // OpenMin is set: the main window minimises itself.
    void minimiseRequested();
    // The relay outputs read from the centre's build type.
    void relayOutputsChanged(int outputs);
    // The start-up connection has been tried (either way).
    void connectionTried(bool connected);
    // A service state was shown (after initialisation, "Odśwież", start, stop).
    void serviceStateShown(int state);
    // A save finished (after the port request too, when connected).
    void saveFinished();
    // What the frame's status bar says after a save.
    void messageTextChanged(const QString& text);
    // sendPending() changed.
    void sendPendingChanged(bool pending);

private:
    void putSettings(const servicecontrol::SyncFormValues& settings);
    servicecontrol::SyncFormValues takeSettings() const;
    void showServiceState();
    void applyServiceState(int state);
    // Settings, start, save and port list (the port list only while connected).
    void setSettingsEnabled(bool enabled);
    void afterConnect(const ServerAnswer<Done>& answer, bool atStart);
    void showConnection();
    void showCentrePlaceholders();
    void refreshIdentity();
    void showIdentityPlaceholders();
    void setStatus(const QString& text);
    void startClock();
    void stopClock();
    void unitChanged(int index);

    std::unique_ptr<Ui::SyncSettingsView> ui_;
    ServerSession session_;
    std::shared_ptr<servicecontrol::SyncServiceControl> service_;
    FormMessages& messages_;
    ComputerPicker picker_;
    QTimer startDelay_;
    QTimer ticker_;
    int ticks_ = 0;
    bool readPending_ = false;
    bool identityPending_ = false;
    // The start-up connection is announced once its first call answers.
    bool announceConnection_ = false;
    bool portPending_ = false;
    bool initialised_ = false;
    // The date part of the loaded HourSync, kept when the time is saved.
    double hourSyncDay_ = 0.0;
};

}  // namespace kt64::console
