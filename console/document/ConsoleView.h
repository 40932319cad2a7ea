// The contract between the console's frame and its views. Every view is a
// QWidget that also derives from ConsoleView; the frame creates them all at
// start, keeps them for the program's life and tells them when they become
// the active view, when the document changed and when a program command is
// meant for them. What a view may ask of the frame is ConsoleFrame; views
// never include the shell, so the view libraries and the shell do not
// depend on each other in a circle.
//
// Plugging a view in: derive the view from QWidget (or a form) and
// ConsoleView, take (Kt64Document&, ConsoleFrame&, QWidget* parent) in its
// constructor, and replace its placeholder in console/shell/ViewFactory.cpp
// with a one-line `return new YourView(doc, frame, parent);` (and link its
// library to kt64_console_shell).
#pragma once

#include <cstdint>

class QString;

namespace kt64::console {

// The views the frame switches between (the schedule pair shares a splitter).
enum class ViewKind { Device, SyncSettings, Log, ProgramTree, CommandList };

// The File menu's program commands, which the frame leaves to the active
// view (the schedule views carry them out).
enum class ProgramCommand { Send, Receive, Chart, PrintPlan };

// Tray icon operations and the two icons the device panel switches between.
enum class TrayOperation { Add = 0, Modify = 1, Delete = 2 };
inline constexpr int kIconNormal = 128;
inline constexpr int kIconAlarm = 185;

class ConsoleView {
public:
    virtual ~ConsoleView() = default;
    // Once, when the frame is first shown (all views, shown or not).
    virtual void OnInitialUpdate() {}
    // The view became (true) or stopped being (false) the active view.
    virtual void OnActivateView(bool /*active*/) {}
    // The document changed (New, Open, a receive); hint as the sender gave it.
    virtual void OnUpdate(std::uint32_t /*hint*/) {}
    // A program command while this view is active; true when handled.
    virtual bool OnProgramCommand(ProgramCommand /*command*/) { return false; }
    // Something the operator sent is still on its way to the centre: the
    // console waits for it before it ends.
    virtual bool SendPending() const { return false; }
};

class ConsoleFrame {
public:
    virtual ~ConsoleFrame() = default;
    // Relay outputs of the connected centre (third field of BuildType);
    // enables sending and receiving the program.
    virtual int RelayOutputs() const = 0;
    virtual void SetRelayOutputs(int outputs) = 0;
    virtual void SetTrayIcon(TrayOperation operation, int iconId) = 0;
    // The schedule tree's counts: "%d/100" blocks, "%d/400" dates plus
    // commands, and the progress bar at the second.
    virtual void ShowCounts(int blocks, int records) = 0;
    virtual void SwitchView(ViewKind view) = 0;
    virtual ViewKind ActiveView() const = 0;
    // The configuration form's "Minimalizuj po uruchomieniu": as if the
    // operator minimised the window.
    virtual void MinimizeToTray() = 0;
    // Text in the status bar's message pane ("Gotowy" when empty).
    virtual void SetMessageText(const QString& text) = 0;
    // Offers the program's unsaved changes for saving, as before New and
    // Open (a receive replaces the program too); false when the operator
    // cancelled or the save failed.
    virtual bool SaveModified() { return true; }
};

}  // namespace kt64::console
