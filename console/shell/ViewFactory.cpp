// The frame's views: real ones where their area exists, placeholders where
// it does not yet.
#include "ViewFactory.h"

#include <QLabel>
#include <QVBoxLayout>

#include "SyncSettingsView.h"
#include "HiddenFunctionsDialog.h"
#include "DevicePanel.h"
#include "LogView.h"
#include "ScheduleViews.h"
#include "SyncLog.h"

namespace kt64::console {

ViewPlaceholder::ViewPlaceholder(const QString& className, QWidget* parent) : QWidget(parent), className_(className) {
    setObjectName(className);
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(className, this);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
}

QWidget* createDeviceView(Kt64Document& doc, ConsoleFrame& frame, QWidget* parent) {
    return new DevicePanel(doc, frame, parent);
}

QWidget* createSyncSettingsView(Kt64Document& doc, ConsoleFrame& frame, QWidget* parent) {
    return new SyncSettingsView(doc, &frame, servicecontrol::makeSyncServiceControl(), defaultFormMessages(), parent);
}

QWidget* createLogView(Kt64Document&, ConsoleFrame& frame, QWidget* parent) {
    return new LogView(sync::syncLogPath(), &frame, parent);
}

QWidget* createProgramTreeView(Kt64Document& doc, ConsoleFrame& frame, QWidget* parent) {
    return ScheduleViews::attach(doc, frame, parent).blockView();
}

QWidget* createCommandListView(Kt64Document& doc, ConsoleFrame& frame, QWidget* parent) {
    return ScheduleViews::attach(doc, frame, parent).listView();
}

void runServiceDialog(Kt64Document& doc, ConsoleFrame&, QWidget* parent) {
    ServerSession session(doc);
    HiddenFunctionsDialog::run(session, defaultFormMessages(), parent);
}

}  // namespace kt64::console
