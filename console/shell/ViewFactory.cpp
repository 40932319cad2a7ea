// The frame's views: real ones where their area exists, placeholders where
// it does not yet.
#include "ViewFactory.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ConfView.h"
#include "HiddenFunc.h"
#include "Kt64View.h"
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

QWidget* createDeviceView(CKt64Doc& doc, ConsoleFrame& frame, QWidget* parent) { return new CKt64View(doc, frame, parent); }

QWidget* createConfView(CKt64Doc& doc, ConsoleFrame& frame, QWidget* parent) {
    return new CConfView(doc, &frame, servicecontrol::makeSyncServiceControl(), defaultFormMessages(), parent);
}

QWidget* createLogView(CKt64Doc&, ConsoleFrame& frame, QWidget* parent) {
    return new CLogView(sync::syncLogPath(), &frame, parent);
}

QWidget* createBlockView(CKt64Doc& doc, ConsoleFrame& frame, QWidget* parent) {
    return ScheduleViews::attach(doc, frame, parent).blockView();
}

QWidget* createRozkView(CKt64Doc& doc, ConsoleFrame& frame, QWidget* parent) {
    return ScheduleViews::attach(doc, frame, parent).listView();
}

void runServiceDialog(CKt64Doc& doc, ConsoleFrame&, QWidget* parent) {
    ServerSession session(doc);
    CHiddenFunc::run(session, defaultFormMessages(), parent);
}

}  // namespace kt64::console
