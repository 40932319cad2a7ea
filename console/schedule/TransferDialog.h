// TransferDialog: the modal progress window of a program transfer, driven by
// the core's TransferProgress once a second. It closes by itself when the
// position stands still above 0; while the transfer is busy neither Enter,
// Esc, "Anuluj" nor closing the window ends it; after a failed position read
// it shows the error in place of the waiting text and "Anuluj" closes it.
// A transfer that has stood still for the progress's silence limit closes
// it by itself, as "Anuluj" would.
// TransferDialogs is the TransferWatcher that shows it.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <memory>

#include "ProgramTransfer.h"

namespace Ui {
class TransferDialog;
}

namespace kt64::console {

class TransferDialog : public QDialog {
    Q_OBJECT
public:
    TransferDialog(program::TransferProgress& progress, QWidget* parent = nullptr);
    ~TransferDialog() override;
    Ui::TransferDialog& ui() { return *ui_; }
    // One tick now (the timer's work), for tests and the first reading.
    void tick();

    static constexpr int kTimerId = 300;

public slots:
    void accept() override;
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    program::TransferProgress& progress_;
    std::unique_ptr<Ui::TransferDialog> ui_;
    QTimer timer_;
    bool ticking_ = false;
    bool finishing_ = false;
};

class TransferDialogs : public program::TransferWatcher {
public:
    explicit TransferDialogs(QWidget* parent) : parent_(parent) {}
    void watch(program::TransferProgress& progress) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace kt64::console
