// Sending and receiving the program from the console (see
// ScheduleTransfers.h).
#include "ScheduleTransfers.h"

#include <QThread>

namespace kt64::console {

ScheduleTransfers::ScheduleTransfers(program::ProgramDocument& document, LinkSource links,
                                     program::UserMessages& messages, QWidget* window)
    : document_(document), links_(std::move(links)), messages_(messages), window_(window) {}

namespace {

// Hands out a link it does not own.
class BorrowedLink : public program::CentreLink {
public:
    explicit BorrowedLink(program::CentreLink& link) : link_(link) {}
    bool Connected() const override { return link_.Connected(); }
    std::string BuildType() override { return link_.BuildType(); }
    void PutRozkazy(std::span<const std::uint8_t> image) override { link_.PutRozkazy(image); }
    std::uint32_t RozkazPos() override { return link_.RozkazPos(); }
    void StartGetRozkazy() override { link_.StartGetRozkazy(); }
    std::uint32_t RozkazRxPos() override { return link_.RozkazRxPos(); }
    program::ReceivedList GetRozkazy() override { return link_.GetRozkazy(); }

private:
    program::CentreLink& link_;
};

}  // namespace

ScheduleTransfers::ScheduleTransfers(program::ProgramDocument& document, program::CentreLink& link,
                                     program::UserMessages& messages, QWidget* window)
    : ScheduleTransfers(document, [&link] { return std::make_unique<BorrowedLink>(link); }, messages, window) {}

ScheduleTransfers::~ScheduleTransfers() {
    if (reader_) reader_->wait();
}

template <class F>
void ScheduleTransfers::withLink(F f) {
    if (running_ || !links_) return;
    running_ = true;
    const std::unique_ptr<program::CentreLink> link = links_();
    {
        WorkerCentreLink worker(*link);
        TransferDialogs dialogs(window_);
        program::ProgramTransfer transfer(worker, messages_, dialogs);
        // Each transfer starts its stall rule afresh, so a position left
        // over from an earlier transfer can never end this one at its
        // first tick.
        f(transfer, *link);
    }
    running_ = false;
}

void ScheduleTransfers::send() {
    withLink([&](program::ProgramTransfer& transfer, program::CentreLink&) { transfer.SendProgram(document_); });
}

void ScheduleTransfers::receive() {
    withLink([&](program::ProgramTransfer& transfer, program::CentreLink& link) {
        if (document_.isModified() && link.Connected()) {
            const bool go =
                saveModified ? saveModified() : messages_.ask(kDiscardChanges, program::MessageIcon::Exclamation);
            if (!go) return;
        }
        const auto before = document_.WorkingCopyPath();
        transfer.ReceiveProgram(document_);
        if (document_.WorkingCopyPath() != before) emit programReceived();
    });
}

void ScheduleTransfers::readRelayOutputs() {
    if (!links_ || (reader_ && !reader_->isFinished())) return;
    if (reader_) reader_->wait();
    QPointer<ScheduleTransfers> self(this);
    std::shared_ptr<program::CentreLink> link = links_();
    reader_.reset(QThread::create([self, link]() mutable {
        int outputs = 0;
        try {
            outputs = program::relayOutputsOf(link->BuildType());
        } catch (const program::LinkError&) {
            outputs = 0;
        } catch (const std::exception&) {
            // A broken exchange counts as a failed call: no relay outputs.
            outputs = 0;
        }
        // Let go of the link here: ending a server object's lease may wait
        // for the server.
        link.reset();
        QMetaObject::invokeMethod(
            self.data(), [self, outputs] { if (self) emit self->relayOutputsRead(outputs); }, Qt::QueuedConnection);
    }));
    reader_->start();
}

}  // namespace kt64::console
