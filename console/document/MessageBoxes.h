// Every message box of the console goes through messageBox(), so that the
// captions, icons and buttons are in one place and tests can answer the
// boxes (setMessageBoxHandler) instead of leaving a modal box on an
// offscreen screen. ConsoleMessages is the relay program core's
// UserMessages shown the same way.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>
#include <memory>

#include "UserMessages.h"

namespace kt64::console {

// The caption the framework gives the console's plain boxes.
inline const QString kAppCaption = QStringLiteral("KT64mon");
// Caption of the boxes that show a link-server failure.
inline const QString kErrorCaption = QStringLiteral("Błąd!");

struct MessageBoxRequest {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
};

using MessageBoxHandler = std::function<QMessageBox::StandardButton(QWidget* parent, const MessageBoxRequest&)>;

// The box as the console shows it (its buttons' texts set), not yet shown.
std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const MessageBoxRequest& request);
// Shows the box modally and returns the button pressed.
QMessageBox::StandardButton messageBox(QWidget* parent, const MessageBoxRequest& request);
// Replaces the modal box (tests); an empty handler restores it.
void setMessageBoxHandler(MessageBoxHandler handler);

class ConsoleMessages : public program::UserMessages {
public:
    explicit ConsoleMessages(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void show(std::string_view text, program::MessageIcon icon) override;
    void showCaptioned(std::string_view caption, std::string_view text, program::MessageIcon icon) override;
    bool ask(std::string_view question, program::MessageIcon icon) override;

private:
    QWidget* parent_;
};

}  // namespace kt64::console
