// The console's message boxes, with a replaceable handler for tests.
#include "MessageBoxes.h"

#include <QAbstractButton>

#include <utility>

namespace kt64::console {

namespace {

MessageBoxHandler& handler() {
    static MessageBoxHandler h;
    return h;
}

QMessageBox::Icon iconOf(program::MessageIcon icon) {
    switch (icon) {
    case program::MessageIcon::Stop:
        return QMessageBox::Critical;
    case program::MessageIcon::Question:
        return QMessageBox::Question;
    case program::MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case program::MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

const std::pair<QMessageBox::StandardButton, QString> kButtonTexts[] = {
    {QMessageBox::Yes, QStringLiteral("&Tak")},
    {QMessageBox::No, QStringLiteral("&Nie")},
    {QMessageBox::Cancel, QStringLiteral("Anuluj")},
};

QString fromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const MessageBoxRequest& request) {
    auto box = std::make_unique<QMessageBox>(request.icon, request.caption, request.text, request.buttons, parent);
    // The console speaks Polish, its answers too; Qt's own button texts
    // are English without a translation installed.
    for (const auto& [button, text] : kButtonTexts)
        if (QAbstractButton* b = box->button(button)) b->setText(text);
    return box;
}

QMessageBox::StandardButton messageBox(QWidget* parent, const MessageBoxRequest& request) {
    if (handler()) return handler()(parent, request);
    const auto box = makeMessageBox(parent, request);
    return static_cast<QMessageBox::StandardButton>(box->exec());
}

void setMessageBoxHandler(MessageBoxHandler h) { handler() = std::move(h); }

void ConsoleMessages::show(std::string_view text, program::MessageIcon icon) {
    messageBox(parent_, {kAppCaption, fromUtf8(text), iconOf(icon), QMessageBox::Ok});
}

void ConsoleMessages::showCaptioned(std::string_view caption, std::string_view text, program::MessageIcon icon) {
    messageBox(parent_, {fromUtf8(caption), fromUtf8(text), iconOf(icon), QMessageBox::Ok});
}

bool ConsoleMessages::ask(std::string_view question, program::MessageIcon icon) {
    return messageBox(parent_, {kAppCaption, fromUtf8(question), iconOf(icon), QMessageBox::Yes | QMessageBox::No}) ==
           QMessageBox::Yes;
}

}  // namespace kt64::console
