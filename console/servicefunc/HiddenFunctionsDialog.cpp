// Loading the centre's identity into the dialog and writing it back.
#include "HiddenFunctionsDialog.h"

#include <QEventLoop>

#include "BuildType.h"
#include "HiddenFunctionsRules.h"
#include "ui_HiddenFunctionsDialog.h"

namespace kt64::console {

HiddenFunctionsDialog::HiddenFunctionsDialog(ServerSession& session, FormMessages& messages, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::HiddenFunctionsDialog>()), session_(session), messages_(messages) {
    ui_->setupUi(this);
    ui_->serialFirstEdit->setMaxLength(kSerialFirstLength);
    ui_->serialSecondEdit->setMaxLength(kSerialSecondLength);
    for (auto* list : {ui_->sourceCombo, ui_->relaysCombo, ui_->interfaceCombo}) list->setCurrentIndex(-1);
    connect(ui_->setTypeButton, &QPushButton::clicked, this, &HiddenFunctionsDialog::setType);
    connect(ui_->setSerialButton, &QPushButton::clicked, this, &HiddenFunctionsDialog::setSerial);
    connect(ui_->closeButton, &QPushButton::clicked, this, &QDialog::accept);
}

HiddenFunctionsDialog::~HiddenFunctionsDialog() = default;

void HiddenFunctionsDialog::load() {
    using Identity = std::pair<std::string, std::string>;
    session_.call<Identity>(
        this,
        [](client::ServerProxy& srv) {
            // Opened right after the console started its server, the
            // dialog would otherwise read "no error" instead of the centre.
            client::awaitFirstExchange(srv);
            return Identity{srv.GetSerialNum(), srv.GetBuildType()};
        },
        [this](ServerAnswer<Identity> answer) {
            if (!answer.ok()) {
                // The fixed sentence first, then what actually failed: the
                // centre's own error, or why the server could not be reached.
                messages_.show(this, QMessageBox::Warning, qtext(kHiddenCaption),
                               qtext(kHiddenServerFailedText) + "\n" + QString::fromUtf8(answer.error->what()));
                emit loaded(false);
                return;
            }
            const auto choice = splitBuildType(answer.value->second);
            ui_->modelEdit->setText(QString::fromStdString(choice.model));
            ui_->sourceCombo->setCurrentIndex(choice.source);
            ui_->relaysCombo->setCurrentIndex(choice.relays);
            ui_->interfaceCombo->setCurrentIndex(choice.interface);
            const auto serial = splitSerialNum(answer.value->first);
            ui_->serialFirstEdit->setText(QString::fromStdString(serial.first));
            ui_->serialSecondEdit->setText(QString::fromStdString(serial.second));
            emit loaded(true);
        });
}

void HiddenFunctionsDialog::put(std::function<void(client::ServerProxy&)> call, std::string_view success,
                                void (HiddenFunctionsDialog::*report)(bool)) {
    session_.call(this, std::move(call), [this, success, report](ServerAnswer<Done> answer) {
        if (answer.ok())
            messages_.show(this, QMessageBox::Information, qtext(kHiddenCaption), qtext(success));
        else
            messages_.show(this, QMessageBox::NoIcon, qtext(kHiddenCaption),
                           QString::fromStdString(answer.errorText()));
        emit(this->*report)(answer.ok());
    });
}

void HiddenFunctionsDialog::setType() {
    const auto text = link::buildTypeToSet(ui_->sourceCombo->currentText().toStdString(),
                                           ui_->relaysCombo->currentText().toStdString(),
                                           ui_->interfaceCombo->currentText().toStdString());
    put([text](client::ServerProxy& srv) { srv.PutBuildType(text); }, kTypeSetText, &HiddenFunctionsDialog::typeSet);
}

void HiddenFunctionsDialog::setSerial() {
    const auto text =
        serialNumText(ui_->serialFirstEdit->text().toStdString(), ui_->serialSecondEdit->text().toStdString());
    put([text](client::ServerProxy& srv) { srv.PutSerialNum(text); }, kSerialSetText,
        &HiddenFunctionsDialog::serialSet);
}

void HiddenFunctionsDialog::run(ServerSession& session, FormMessages& messages, QWidget* parent) {
    if (!session.connected()) {
        messages.show(parent, QMessageBox::Warning, qtext(kHiddenCaption), qtext(kHiddenNotConnectedText));
        return;
    }
    HiddenFunctionsDialog dialog(session, messages, parent);
    // The reads may take up to the call deadline; the event loop keeps the
    // window painted and responsive meanwhile.
    QEventLoop wait;
    bool ok = false;
    connect(&dialog, &HiddenFunctionsDialog::loaded, &wait, [&](bool loaded) {
        ok = loaded;
        wait.quit();
    });
    dialog.load();
    wait.exec(QEventLoop::ExcludeUserInputEvents);
    if (ok) dialog.exec();
}

}  // namespace kt64::console
