// Message boxes, the beep and the exit of the console.
#include "FormMessages.h"

#include <QApplication>

#include <cstdlib>

namespace kt64::console {

void QtFormMessages::show(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

void QtFormMessages::beep() { QApplication::beep(); }

void QtFormMessages::endProcess(int status) { std::exit(status); }

FormMessages& defaultFormMessages() {
    static QtFormMessages messages;
    return messages;
}

}  // namespace kt64::console
