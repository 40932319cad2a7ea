// Message boxes through the console's one place for them, the beep and the
// exit of the console.
#include "FormMessages.h"

#include <QApplication>

#include <cstdlib>

#include "MessageBoxes.h"

namespace kt64::console {

void QtFormMessages::show(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text) {
    messageBox(parent, {caption, text, icon, QMessageBox::Ok});
}

void QtFormMessages::beep() { QApplication::beep(); }

void QtFormMessages::endProcess(int status) { std::exit(status); }

FormMessages& defaultFormMessages() {
    static QtFormMessages messages;
    return messages;
}

}  // namespace kt64::console
