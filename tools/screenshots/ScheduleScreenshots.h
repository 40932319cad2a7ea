// The schedule half's pictures for scripts/screenshots: the tree and list
// of a sample program in the frame, the list's context menu, every edit
// dialog, the transfer window (also failed), the send's questions, the
// chart (a day, a week) and its information window, the tree's menu and
// the days-off dialog.
#pragma once

#include <QString>

class QWidget;

namespace kt64::console {

class MainFrame;
class Kt64Document;

// Fills the open program with a sample and saves the pictures into folder
// through save(widget, name).
void saveScheduleScreenshots(MainFrame& frame, Kt64Document& doc, void (*save)(QWidget*, const QString&));

}  // namespace kt64::console
