// The one place where the frame gets its views and the service dialog. Each
// function returns the real view of its area, or a plain placeholder until
// that area exists; plugging a view in is a one-line change of its function
// in ViewFactory.cpp (see ConsoleView.h for what a view implements).
#pragma once

#include <QString>
#include <QWidget>

#include "ConsoleView.h"
#include "Kt64Doc.h"

namespace kt64::console {

QWidget* createDeviceView(CKt64Doc& doc, ConsoleFrame& frame, QWidget* parent);  // CKt64View
QWidget* createConfView(CKt64Doc& doc, ConsoleFrame& frame, QWidget* parent);    // CConfView
QWidget* createLogView(CKt64Doc& doc, ConsoleFrame& frame, QWidget* parent);     // CLogView
QWidget* createBlockView(CKt64Doc& doc, ConsoleFrame& frame, QWidget* parent);   // CBlockView (left pane)
QWidget* createRozkView(CKt64Doc& doc, ConsoleFrame& frame, QWidget* parent);    // CRozkView (right pane)

// The service dialog (CHiddenFunc), opened modally after the About box
// when the access code was typed.
void runServiceDialog(CKt64Doc& doc, ConsoleFrame& frame, QWidget* parent);

// A view that is not built yet: its class name on an empty page.
class ViewPlaceholder : public QWidget, public ConsoleView {
    Q_OBJECT
public:
    ViewPlaceholder(const QString& className, QWidget* parent);
    const QString& className() const { return className_; }

private:
    QString className_;
};

}  // namespace kt64::console
