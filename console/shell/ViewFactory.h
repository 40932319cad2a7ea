// The one place where the frame gets its views and the service dialog, and
// where each view's signals and slots meet the frame's. Each function
// returns the real view of its area, or a plain placeholder until that area
// exists; plugging a view in is a change of its function in ViewFactory.cpp
// (see ConsoleView.h for what a view offers).
#pragma once

#include <QString>
#include <QWidget>

#include "ConsoleView.h"
#include "Kt64Document.h"

namespace kt64::console {

class MainFrame;

// The views the frame switches between; the program tree is the left pane
// of the schedule views, the command list the right.
QWidget* createDeviceView(Kt64Document& doc, MainFrame& frame, QWidget* parent);        // DevicePanel
QWidget* createSyncSettingsView(Kt64Document& doc, MainFrame& frame, QWidget* parent);  // SyncSettingsView
QWidget* createLogView(Kt64Document& doc, MainFrame& frame, QWidget* parent);           // LogView
QWidget* createProgramTreeView(Kt64Document& doc, MainFrame& frame, QWidget* parent);
QWidget* createCommandListView(Kt64Document& doc, MainFrame& frame, QWidget* parent);

// The service dialog (HiddenFunctionsDialog), opened modally after the About box
// when the access code was typed.
void runServiceDialog(Kt64Document& doc, QWidget* parent);

// A view that is not built yet: its class name on an empty page.
class ViewPlaceholder : public QWidget {
    Q_OBJECT
public:
    ViewPlaceholder(const QString& className, QWidget* parent);
    const QString& className() const { return className_; }

private:
    QString className_;
};

}  // namespace kt64::console
