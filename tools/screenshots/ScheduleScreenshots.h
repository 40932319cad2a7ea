// The schedule half's pictures for scripts/screenshots: the tree and list
// of a sample program in the frame, the list's context menu, every edit
// dialog, the transfer window (also failed), the send's questions, the
// chart (a day, a week) and its information window.
#pragma once

#include <QString>

class QWidget;

namespace kt64::console {

class CMainFrame;
class CKt64Doc;

// Fills the open program with a sample and saves the pictures into folder
// through save(widget, name).
void saveScheduleScreenshots(CMainFrame& frame, CKt64Doc& doc, void (*save)(QWidget*, const QString&));

}  // namespace kt64::console
