// AboutDialog: the About box with its hidden service field.
#include "AboutDialog.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "ConsoleIcons.h"

namespace kt64::console {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("dlg100");
    setWindowTitle(QStringLiteral("O programie..."));
    auto* grid = new QGridLayout(this);
    logo_ = new QLabel(this);
    logo_->setObjectName("logo");
    logo_->setPixmap(consoleIcon(128).pixmap(48, 48));
    logo_->installEventFilter(this);
    grid->addWidget(logo_, 0, 0, 3, 1, Qt::AlignTop);
    auto* version = new QLabel(kVersionLine, this);
    version->setObjectName("version");
    grid->addWidget(version, 0, 1);
    grid->addWidget(
        new QLabel(QStringLiteral("Ardonis\nSerwis i dostawy: tel. (00) 000 00 00\nserwis@ardonis.example"), this), 1,
        1);
    codeLabel_ = new QLabel(QStringLiteral("Hasło:"), this);
    codeLabel_->setObjectName("codeLabel");
    code_ = new QLineEdit(this);
    code_->setObjectName("code");
    code_->setEchoMode(QLineEdit::Password);
    grid->addWidget(codeLabel_, 3, 0);
    grid->addWidget(code_, 3, 1);
    codeLabel_->hide();
    code_->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    grid->addWidget(buttons, 4, 0, 1, 2);
}

QString AboutDialog::typedCode() const { return code_->text(); }

bool AboutDialog::codeFieldShown() const { return !code_->isHidden(); }

void AboutDialog::revealCodeField() {
    codeLabel_->show();
    code_->show();
    code_->setFocus();
}

bool AboutDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == logo_ && event->type() == QEvent::MouseButtonDblClick) {
        revealCodeField();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace kt64::console
