// QMessageBox for the core's messages (see MessageBoxes.h).
#include "MessageBoxes.h"

#include <QMessageBox>

#include "ScheduleRules.h"

namespace kt64::console {

namespace {

QMessageBox::Icon iconOf(program::MessageIcon icon) {
    switch (icon) {
    case program::MessageIcon::Stop: return QMessageBox::Critical;
    case program::MessageIcon::Question: return QMessageBox::Question;
    case program::MessageIcon::Exclamation: return QMessageBox::Warning;
    case program::MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QString captionOf(std::string_view text) {
    if (text.substr(0, kRegistryOpenFailed.size()) == kRegistryOpenFailed ||
        text.substr(0, kRegistryWriteFailed.size()) == kRegistryWriteFailed)
        return QStringLiteral("Błąd");
    return QStringLiteral("KT64mon");
}

}  // namespace

void MessageBoxes::show(std::string_view text, program::MessageIcon icon) {
    QMessageBox box(iconOf(icon), captionOf(text), QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                    QMessageBox::Ok, parent_);
    box.exec();
}

bool MessageBoxes::ask(std::string_view question, program::MessageIcon icon) {
    QMessageBox box(iconOf(icon), captionOf(question),
                    QString::fromUtf8(question.data(), static_cast<qsizetype>(question.size())),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace kt64::console
