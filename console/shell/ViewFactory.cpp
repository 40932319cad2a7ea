// The frame's views: real ones where their area exists, placeholders where
// it does not yet.
#include "ViewFactory.h"

#include <QLabel>
#include <QVBoxLayout>

#include "Kt64View.h"
#include "ScheduleViews.h"

namespace kt64::console {

ViewPlaceholder::ViewPlaceholder(const QString& className, QWidget* parent) : QWidget(parent), className_(className) {
    setObjectName(className);
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(className, this);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
}

QWidget* createDeviceView(CKt64Doc& doc, ConsoleFrame& frame, QWidget* parent) { return new CKt64View(doc, frame, parent); }

namespace {

// Until the configuration form exists, its placeholder does the one thing
// of it the rest of the console relies on: connecting the document to the
// link server at start-up.
class ConfPlaceholder : public ViewPlaceholder {
public:
    ConfPlaceholder(CKt64Doc& doc, QWidget* parent) : ViewPlaceholder("CConfView", parent), doc_(doc) {}
    void OnInitialUpdate() override {
        if (!doc_.Connected()) doc_.ConnectServer(this, {});
    }

private:
    CKt64Doc& doc_;
};

}  // namespace

QWidget* createConfView(CKt64Doc& doc, ConsoleFrame&, QWidget* parent) { return new ConfPlaceholder(doc, parent); }

QWidget* createLogView(CKt64Doc&, ConsoleFrame&, QWidget* parent) { return new ViewPlaceholder("CLogView", parent); }

QWidget* createBlockView(CKt64Doc& doc, ConsoleFrame& frame, QWidget* parent) {
    return ScheduleViews::attach(doc, frame, parent).blockView();
}

QWidget* createRozkView(CKt64Doc& doc, ConsoleFrame& frame, QWidget* parent) {
    return ScheduleViews::attach(doc, frame, parent).listView();
}

void runServiceDialog(CKt64Doc&, ConsoleFrame&, QWidget*) {}

}  // namespace kt64::console
