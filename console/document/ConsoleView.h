// What the console's frame and its views share: which view is which, the
// program commands and the tray icons. The frame and the views meet only
// through signals and slots, wired in console/shell/ViewFactory.cpp; views
// never include the shell, so the view libraries and the shell do not
// depend on each other in a circle.
//
// Plugging a view in: a QWidget (or a form) that takes the document in its
// constructor and has, as far as it needs them, the slots initialUpdate()
// (once, when the frame is first shown, every view whether shown or not)
// and setActive(bool) (it became, or stopped being, the active view), and
// the signals relayOutputsChanged(int), messageTextChanged(QString) and
// sendPendingChanged(bool) (something the operator sent is still on its
// way to the centre: the console waits for it before it ends). Then
// replace its placeholder in ViewFactory.cpp with the view and its
// connections, and link its library to kt64_console_shell.
#pragma once

namespace kt64::console {

// The views the frame switches between (the schedule pair shares a splitter).
enum class ViewKind { Device, SyncSettings, Log, ProgramTree, CommandList };

// The File menu's program commands, which the frame leaves to the active
// view (the schedule views carry them out).
enum class ProgramCommand { Send, Receive, Chart, PrintPlan };

// Tray icon operations and the two icons the frame switches between by the
// device panel's alarms.
enum class TrayOperation { Add = 0, Modify = 1, Delete = 2 };
inline constexpr int kIconNormal = 128;
inline constexpr int kIconAlarm = 185;

}  // namespace kt64::console
