// Sending and receiving the program from the console (see
// ScheduleTransfers.h).
#include "ScheduleTransfers.h"

#include <QThread>

namespace kt64::console {

ScheduleTransfers::ScheduleTransfers(program::ProgramDocument& document, program::CentreLink& link,
                                     program::UserMessages& messages, QWidget* window)
    : QObject(window),
      document_(document),
      inner_(link),
      messages_(messages),
      link_(link),
      dialogs_(window),
      transfer_(link_, messages, dialogs_) {}

ScheduleTransfers::~ScheduleTransfers() {
    if (reader_) reader_->wait();
}

void ScheduleTransfers::send() {
    if (busy()) return;
    running_ = true;
    transfer_.SendProgram(document_);
    running_ = false;
}

void ScheduleTransfers::receive() {
    if (busy()) return;
    running_ = true;
    bool go = true;
    if (document_.isModified() && inner_.Connected()) {
        go = saveModified ? saveModified() : messages_.ask(kDiscardChanges, program::MessageIcon::Exclamation);
    }
    if (go) {
        const auto before = document_.WorkingCopyPath();
        transfer_.ReceiveProgram(document_);
        if (document_.WorkingCopyPath() != before) emit programReceived();
    }
    running_ = false;
}

void ScheduleTransfers::readRelayOutputs() {
    if (reader_ && !reader_->isFinished()) return;
    if (reader_) reader_->wait();
    QPointer<ScheduleTransfers> self(this);
    program::CentreLink* link = &inner_;
    reader_.reset(QThread::create([self, link] {
        int outputs = 0;
        try {
            outputs = program::relayOutputsOf(link->BuildType());
        } catch (const program::LinkError&) {
            outputs = 0;
        }
        QMetaObject::invokeMethod(
            self.data(), [self, outputs] { if (self) emit self->relayOutputsRead(outputs); }, Qt::QueuedConnection);
    }));
    reader_->start();
}

}  // namespace kt64::console
