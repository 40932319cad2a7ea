// FormMessages: how the console's forms and dialogs speak to the operator:
// message boxes with their caption and icon, and the beep. The console shows
// real message boxes (QtFormMessages); tests record what would be shown.
#pragma once

#include <QMessageBox>
#include <QString>

#include <string_view>

class QWidget;

namespace kt64::console {

class FormMessages {
public:
    virtual ~FormMessages() = default;
    // A modal message box with an OK button.
    virtual void show(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text) = 0;
    virtual void beep() = 0;
};

class QtFormMessages final : public FormMessages {
public:
    void show(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text) override;
    void beep() override;
};

// The console's own one, for forms made without another.
FormMessages& defaultFormMessages();

// Qt text of a UTF-8 text.
inline QString qtext(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace kt64::console
