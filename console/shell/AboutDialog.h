// The About box "O programie..." (dialog 100): logo, version line, the
// supplier's contact lines and OK. A double click on the logo reveals the
// hidden "Hasło:" label and a masked edit, through which a service person
// reaches the service dialog; ordinary operators never see the field.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;

namespace kt64::console {

inline const QString kVersionLine = QStringLiteral("KT64mon wersja 1.20 (Build 14)");

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
    // What was typed into the masked edit.
    QString typedCode() const;
    // As a double click on the logo does.
    void revealCodeField();
    bool codeFieldShown() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* logo_;
    QLabel* codeLabel_;
    QLineEdit* code_;
};

}  // namespace kt64::console
