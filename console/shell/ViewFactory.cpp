// The frame's views: real ones where their area exists, placeholders where
// it does not yet, each connected to the frame.
#include "ViewFactory.h"

#include <QLabel>
#include <QVBoxLayout>

#include "DevicePanel.h"
#include "HiddenFunctionsDialog.h"
#include "LogView.h"
#include "MainFrame.h"
#include "ScheduleViews.h"
#include "SyncLog.h"
#include "SyncSettingsView.h"

namespace kt64::console {

namespace {

// The view of kind hears when it becomes, or stops being, the active view.
template <class View>
void followActivation(MainFrame& frame, ViewKind kind, View* view) {
    QObject::connect(&frame, &MainFrame::viewActivationChanged, view, [view, kind](ViewKind changed, bool active) {
        if (changed == kind) view->setActive(active);
    });
}

// The console waits, before it ends, for what the view has on its way.
template <class View>
void followSends(MainFrame& frame, View* view) {
    QObject::connect(view, &View::sendPendingChanged, &frame,
                     [&frame, view](bool pending) { frame.setSendPending(view, pending); });
}

}  // namespace

ViewPlaceholder::ViewPlaceholder(const QString& className, QWidget* parent) : QWidget(parent), className_(className) {
    setObjectName(className);
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(className, this);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
}

QWidget* createDeviceView(Kt64Document& doc, MainFrame& frame, QWidget* parent) {
    auto* panel = new DevicePanel(doc, parent);
    QObject::connect(&frame, &MainFrame::firstShown, panel, &DevicePanel::initialUpdate);
    followActivation(frame, ViewKind::Device, panel);
    followSends(frame, panel);
    QObject::connect(panel, &DevicePanel::relayOutputsChanged, &frame, &MainFrame::setRelayOutputs);
    QObject::connect(panel, &DevicePanel::alarmsChanged, &frame, &MainFrame::showAlarms);
    return panel;
}

QWidget* createSyncSettingsView(Kt64Document& doc, MainFrame& frame, QWidget* parent) {
    auto* form = new SyncSettingsView(doc, servicecontrol::makeSyncServiceControl(), defaultFormMessages(), parent);
    QObject::connect(&frame, &MainFrame::firstShown, form, &SyncSettingsView::initialUpdate);
    followActivation(frame, ViewKind::SyncSettings, form);
    followSends(frame, form);
    QObject::connect(form, &SyncSettingsView::relayOutputsChanged, &frame, &MainFrame::setRelayOutputs);
    QObject::connect(form, &SyncSettingsView::messageTextChanged, &frame, &MainFrame::setMessageText);
    // Posted: the frame is still being shown when the views start up.
    QObject::connect(form, &SyncSettingsView::minimiseRequested, &frame, &MainFrame::minimizeToTray,
                     Qt::QueuedConnection);
    return form;
}

QWidget* createLogView(Kt64Document&, MainFrame& frame, QWidget* parent) {
    auto* log = new LogView(sync::syncLogPath(), parent);
    followActivation(frame, ViewKind::Log, log);
    QObject::connect(log, &LogView::messageTextChanged, &frame, &MainFrame::setMessageText);
    return log;
}

namespace {

// The schedule pair, connected to the frame when the first of its views
// is asked for.
ScheduleViews& scheduleViews(Kt64Document& doc, MainFrame& frame, QWidget* parent) {
    if (auto* found = parent->findChild<ScheduleViews*>()) return *found;
    ScheduleViews& views = ScheduleViews::attach(doc, parent);
    ProgramTreeView* tree = views.blockView();
    CommandListView* list = views.listView();
    // The first filling, as an update without a hint.
    QObject::connect(&frame, &MainFrame::firstShown, tree, [tree] { tree->onUpdate(0); });
    QObject::connect(&frame, &MainFrame::firstShown, list, [list] { list->onUpdate(0); });
    followActivation(frame, ViewKind::ProgramTree, tree);
    followActivation(frame, ViewKind::CommandList, list);
    QObject::connect(&frame, &MainFrame::programCommandRequested, &views, &ScheduleViews::runCommand);
    QObject::connect(&views, &ScheduleViews::countsChanged, &frame, &MainFrame::showCounts);
    QObject::connect(&views, &ScheduleViews::relayOutputsChanged, &frame, &MainFrame::setRelayOutputs);
    QObject::connect(&views, &ScheduleViews::messageTextChanged, &frame, &MainFrame::setMessageText);
    // A receive first offers unsaved changes for saving, as New and Open do.
    views.transfers()->saveModified = [&frame] { return frame.saveModified(); };
    return views;
}

}  // namespace

QWidget* createProgramTreeView(Kt64Document& doc, MainFrame& frame, QWidget* parent) {
    return scheduleViews(doc, frame, parent).blockView();
}

QWidget* createCommandListView(Kt64Document& doc, MainFrame& frame, QWidget* parent) {
    return scheduleViews(doc, frame, parent).listView();
}

void runServiceDialog(Kt64Document& doc, QWidget* parent) {
    ServerSession session(doc);
    HiddenFunctionsDialog::run(session, defaultFormMessages(), parent);
}

}  // namespace kt64::console
