// The transfer progress window (see CTransBusyDlg.h).
#include "CTransBusyDlg.h"

#include <QCloseEvent>

#include "ui_CTransBusyDlg.h"

namespace kt64::console {

CTransBusyDlg::CTransBusyDlg(program::TransferProgress& progress, QWidget* parent)
    : QDialog(parent), progress_(progress), ui_(std::make_unique<Ui::CTransBusyDlg>()) {
    ui_->setupUi(this);
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    ui_->progressBar->setRange(0, program::TransferProgress::kRange);
    ui_->progressBar->setValue(0);
    ui_->cancelButton->setEnabled(false);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &CTransBusyDlg::reject);
    timer_.setInterval(static_cast<int>(program::TransferProgress::kTickPeriod.count()));
    connect(&timer_, &QTimer::timeout, this, &CTransBusyDlg::tick);
    timer_.start();
}

CTransBusyDlg::~CTransBusyDlg() = default;

void CTransBusyDlg::tick() {
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
    }
}

void CTransBusyDlg::accept() {
    if (progress_.busy() && !finishing_) return;
    timer_.stop();
    QDialog::accept();
}

void CTransBusyDlg::reject() {
    if (progress_.busy()) return;
    timer_.stop();
    QDialog::reject();
}

void CTransBusyDlg::closeEvent(QCloseEvent* event) {
    if (progress_.busy() && !finishing_) {
        event->ignore();
        return;
    }
    timer_.stop();
    QDialog::closeEvent(event);
}

void TransferDialogs::watch(program::TransferProgress& progress) {
    CTransBusyDlg dialog(progress, parent_);
    dialog.exec();
}

}  // namespace kt64::console
