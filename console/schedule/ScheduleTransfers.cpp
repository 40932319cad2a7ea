// Sending and receiving the program from the console (see
// ScheduleTransfers.h).
#include "ScheduleTransfers.h"

#include <condition_variable>
#include <mutex>

#include "BuildType.h"

namespace kt64::console {

struct ScheduleTransfers::ReadEnd {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
};

ScheduleTransfers::ScheduleTransfers(program::ProgramDocument& document, LinkSource links, WorkerCalls& workers,
                                     program::UserMessages& messages, QWidget* window)
    : document_(document), links_(std::move(links)), workers_(workers), messages_(messages), window_(window) {}

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
    std::optional<program::LinkError> centreFault() override { return link_.centreFault(); }

private:
    program::CentreLink& link_;
};

}  // namespace

ScheduleTransfers::ScheduleTransfers(program::ProgramDocument& document, program::CentreLink& link,
                                     WorkerCalls& workers, program::UserMessages& messages, QWidget* window)
    : ScheduleTransfers(
          document, [&link] { return std::make_unique<BorrowedLink>(link); }, workers, messages, window) {}

ScheduleTransfers::~ScheduleTransfers() {
    if (!reading_) return;
    std::unique_lock lock(reading_->mutex);
    reading_->ended.wait(lock, [&] { return reading_->done; });
}

template <class F>
void ScheduleTransfers::withLink(F f) {
    if (running_ || !links_) return;
    running_ = true;
    const std::unique_ptr<program::CentreLink> link = links_();
    {
        WorkerCentreLink worker(*link, workers_);
        TransferDialogs dialogs(window_);
        program::ProgramTransfer transfer(worker, messages_, dialogs);
        transfer.setClock(clock);
        // Each transfer starts its stall rule afresh, so a position left
        // over from an earlier transfer can never end this one at its
        // first tick.
        f(transfer, *link);
    }
    running_ = false;
}

void ScheduleTransfers::send() {
    bool sent = false;
    withLink([&](program::ProgramTransfer& transfer, program::CentreLink&) { sent = transfer.sendProgram(document_); });
    if (sent) emit programSent();
}

void ScheduleTransfers::receive() {
    withLink([&](program::ProgramTransfer& transfer, program::CentreLink& link) {
        if (document_.isModified() && link.Connected()) {
            const bool go =
                saveModified ? saveModified() : messages_.ask(kDiscardChanges, program::MessageIcon::Exclamation);
            if (!go) return;
        }
        const auto before = document_.workingCopyPath();
        transfer.receiveProgram(document_);
        if (document_.workingCopyPath() != before) emit programReceived();
    });
}

void ScheduleTransfers::readRelayOutputs() {
    if (!links_) return;
    if (reading_) {
        std::lock_guard lock(reading_->mutex);
        if (!reading_->done) return;
    }
    auto end = std::make_shared<ReadEnd>();
    reading_ = end;
    std::shared_ptr<program::CentreLink> link = links_();
    workers_.call(
        this,
        [link, end]() mutable {
            int outputs = 0;
            try {
                outputs = link::relayOutputsOf(link->BuildType());
            } catch (const program::LinkError&) {
                outputs = 0;
            } catch (const std::exception&) {
                // A broken exchange counts as a failed call: no relay outputs.
                outputs = 0;
            }
            // Let go of the link here: ending a server object's lease may
            // wait for the server.
            link.reset();
            {
                std::lock_guard lock(end->mutex);
                end->done = true;
            }
            end->ended.notify_all();
            return outputs;
        },
        [this](int outputs) { emit relayOutputsRead(outputs); });
}

}  // namespace kt64::console
