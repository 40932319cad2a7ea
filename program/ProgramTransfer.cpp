// sendProgram, receiveProgram and the transfer progress (see
// ProgramTransfer.h).
#include "ProgramTransfer.h"

#include "BuildType.h"
#include "CommandImage.h"
#include "ImageCompiler.h"
#include "ProgramTables.h"
#include "ProgramTexts.h"
#include "TextFormat.h"

namespace kt64::program {

// ------------------------------------------------------- TransferProgress

TransferProgress::TransferProgress(CentreLink& link, TransferDirection direction, int& previousPosition, Clock clock)
    : link_(link),
      direction_(direction),
      previousPosition_(previousPosition),
      statusText_(text::kTransferWait),
      clock_(std::move(clock)),
      lastMove_(clock_()) {}

void TransferProgress::tick() {
    if (stalled_) return;
    readPosition();
    const auto now = clock_();
    if (moved_) lastMove_ = now;
    if (finished_ || now - lastMove_ < kSilenceLimit) return;
    // The cause the window shows stays the cause; a transfer that simply
    // stands still says so.
    if (!failed_) statusText_ = formatText(text::kTransferStalled, static_cast<int>(kSilenceLimit.count()));
    failed_ = true;
    busy_ = false;
    stalled_ = true;
}

void TransferProgress::readPosition() {
    moved_ = false;
    int position = 0;
    try {
        if (direction_ == TransferDirection::Send) {
            position = kRange - static_cast<int>(link_.RozkazPos());
        } else {
            position = static_cast<int>(link_.RozkazRxPos());
        }
    } catch (const LinkError& e) {
        busy_ = false;
        failed_ = true;
        statusText_ = e.description().value_or(std::string(text::kTransferFailed));
        // A centre that stopped answering (or a port that failed) ends a
        // transfer as a "bad checksum"; say what really happened.
        if (e.code() == E_KT64_CHECKSUM) {
            if (const auto fault = link_.centreFault();
                fault && (fault->code() == E_KT64_NOANSWER || fault->code() == E_KT64_PORT) && fault->description())
                statusText_ = *fault->description();
        }
        return;
    }
    moved_ = position != position_;
    position_ = position;
    if (position == previousPosition_ && position > 0) finished_ = true;
    previousPosition_ = position;
}

void TickingWatcher::watch(TransferProgress& progress) {
    while (!progress.finished() && !progress.failed()) {
        sleep_(TransferProgress::kTickPeriod);
        progress.tick();
        if (report_) report_(progress);
    }
}

// -------------------------------------------------------- ProgramTransfer

void ProgramTransfer::showServerError(const LinkError& e) {
    messages_.show(e.description().value_or(std::string(text::kUnknownError)), MessageIcon::Stop);
}

namespace {

// The confirmation of a send, with the blocks that will never run named
// before it.
std::string sendQuestion(Database* db) {
    std::vector<std::int64_t> never;
    try {
        if (db) never = blocksThatNeverApply(*db);
    } catch (const DatabaseError&) {
        // The list was built from the same tables a moment ago: nothing to
        // add that the build did not say.
    }
    if (never.empty()) return std::string(text::kConfirmSend);
    std::string numbers;
    for (const auto block : never) numbers += (numbers.empty() ? "" : ", ") + std::to_string(block);
    return formatText(never.size() == 1 ? text::kBlockNeverApplies : text::kBlocksNeverApply, numbers.c_str()) +
           "\n\n" + std::string(text::kConfirmSend);
}

}  // namespace

bool ProgramTransfer::sendProgram(ProgramDocument& document) {
    if (!link_.Connected()) {
        messages_.show(text::kNotConnected, MessageIcon::Stop);
        return false;
    }
    // A program the centre cannot hold is refused before the user is asked
    // to send it.
    CommandImage image = blankImage();
    const BuildOutcome outcome = buildImage(document.database(), image, messages_);
    if (!outcome.built) {
        std::string message(text::kCannotBuild);
        if (!outcome.fault.empty()) message += "\n" + outcome.fault;
        messages_.show(message, MessageIcon::Stop);
        return false;
    }
    if (!messages_.ask(sendQuestion(document.database()), MessageIcon::Question)) return false;

    int relayOutputs = 0;
    try {
        relayOutputs = link::relayOutputsOf(link_.BuildType());
    } catch (const LinkError&) {
        relayOutputs = 0;
    }
    if (hasRelay2Commands(document.database(), messages_) && relayOutputs < 2) {
        if (!messages_.ask(text::kConfirmTwoRelays, MessageIcon::Question)) return false;
    }

    for (;;) {
        try {
            link_.PutRozkazy(image);
        } catch (const LinkError& e) {
            showServerError(e);
            return false;
        }
        TransferProgress progress(link_, TransferDirection::Send, previousPosition_, clock_);
        watcher_.watch(progress);
        if (!progress.failed()) return true;
        // The centre stores each record as it comes: it now holds the
        // records sent before the failure and the previous program's rest.
        const std::string incomplete = formatText(text::kUploadIncomplete, progress.statusText().c_str());
        if (!offerResend_) {
            messages_.show(incomplete, MessageIcon::Stop);
            return false;
        }
        if (!messages_.ask(incomplete + "\n\n" + std::string(text::kSendAgain), MessageIcon::Exclamation)) return false;
        // The new upload's stall rule starts afresh.
        previousPosition_ = 0;
    }
}

void ProgramTransfer::receiveProgram(ProgramDocument& document) {
    if (!link_.Connected()) {
        messages_.show(text::kNotConnected, MessageIcon::Stop);
        return;
    }
    if (!messages_.ask(text::kConfirmReceive, MessageIcon::Question)) return;

    ReceivedList list;
    TransferProgress progress(link_, TransferDirection::Receive, previousPosition_, clock_);
    try {
        link_.StartGetRozkazy();
        watcher_.watch(progress);
    } catch (const LinkError& e) {
        showServerError(e);
        return;
    }
    try {
        list = link_.GetRozkazy();
    } catch (const LinkError& e) {
        // The failed download's refusal says what the progress window
        // already found out, in better words when the centre fell silent or
        // the download stood still until the window gave up.
        if (progress.stalled() || (progress.failed() && e.code() == E_KT64_CHECKSUM))
            messages_.show(progress.statusText(), MessageIcon::Stop);
        else
            showServerError(e);
        return;
    }
    if (list.type != kByteArrayType || list.bytes.size() != kImageSize) {
        messages_.show(text::kBadVariant, MessageIcon::Stop);
        return;
    }

    if (!document.newDocument()) return;
    if (!loadImage(document.database(), ConstImageSpan(list.bytes.data(), kImageSize), messages_))
        messages_.show(text::kCannotLoad, MessageIcon::None);
    document.notifyChanged(0);
    document.setModified(true);
}

}  // namespace kt64::program
