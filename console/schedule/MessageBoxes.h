// The console's message boxes behind the program core's UserMessages:
// a question is Yes/No, a message has only OK, and the icon travels with
// the text. The caption is the program's name, except for the registry
// failure, whose box is captioned "Błąd".
#pragma once

#include <QPointer>
#include <QWidget>

#include "UserMessages.h"

namespace kt64::console {

class MessageBoxes : public program::UserMessages {
public:
    explicit MessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void show(std::string_view text, program::MessageIcon icon) override;
    bool ask(std::string_view question, program::MessageIcon icon) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace kt64::console
