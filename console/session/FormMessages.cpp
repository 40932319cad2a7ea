// Message boxes through the console's one place for them, and the beep.
#include "FormMessages.h"

#include <QApplication>

#include "MessageBoxes.h"

namespace kt64::console {

void QtFormMessages::show(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text) {
    messageBox(parent, {caption, text, icon, QMessageBox::Ok});
}

void QtFormMessages::beep() { QApplication::beep(); }

FormMessages& defaultFormMessages() {
    static QtFormMessages messages;
    return messages;
}

}  // namespace kt64::console
