// The transfer progress window (see TransferDialog.h).
#include "TransferDialog.h"

#include <QCloseEvent>

#include "ui_TransferDialog.h"

namespace kt64::console {

TransferDialog::TransferDialog(program::TransferProgress& progress, QWidget* parent)
    : QDialog(parent), progress_(progress), ui_(std::make_unique<Ui::TransferDialog>()) {
    ui_->setupUi(this);
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    ui_->progressBar->setRange(0, program::TransferProgress::kRange);
    ui_->progressBar->setValue(0);
    ui_->cancelButton->setEnabled(false);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &TransferDialog::reject);
    timer_.setInterval(static_cast<int>(program::TransferProgress::kTickPeriod.count()));
    connect(&timer_, &QTimer::timeout, this, &TransferDialog::tick);
    timer_.start();
}

TransferDialog::~TransferDialog() = default;

void TransferDialog::tick() {
    // A position read goes to the link server on its worker; a slow answer
    // must not start a second read on the next tick.
    if (ticking_ || finishing_) return;
    ticking_ = true;
    progress_.tick();
    ticking_ = false;
    ui_->progressBar->setValue(progress_.position());
    if (progress_.failed()) {
        ui_->cancelButton->setEnabled(true);
        ui_->statusLabel->setText(QString::fromStdString(progress_.statusText()));
    }
    if (progress_.finished()) {
        finishing_ = true;
        timer_.stop();
        QDialog::accept();
    } else if (progress_.stalled()) {
        // As if the operator had pressed "Anuluj": the transfer's owner
        // says how it ended.
        finishing_ = true;
        timer_.stop();
        QDialog::reject();
    }
}

void TransferDialog::accept() {
    if (progress_.busy() && !finishing_) return;
    timer_.stop();
    QDialog::accept();
}

void TransferDialog::reject() {
    if (progress_.busy()) return;
    timer_.stop();
    QDialog::reject();
}

void TransferDialog::closeEvent(QCloseEvent* event) {
    if (progress_.busy() && !finishing_) {
        event->ignore();
        return;
    }
    timer_.stop();
    QDialog::closeEvent(event);
}

void TransferDialogs::watch(program::TransferProgress& progress) {
    TransferDialog dialog(progress, parent_);
    dialog.exec();
}

}  // namespace kt64::console
