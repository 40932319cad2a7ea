// Sending the open program to the centre and receiving the centre's program
// (the document's commands Ctrl+T and Ctrl+R), with every check, question
// and message the user gets, and the progress of a transfer as a GUI-free
// state (TransferProgress) that the console's progress dialog and the
// command line both drive once a second.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "CentreLink.h"
#include "ProgramDocument.h"
#include "UserMessages.h"

namespace kt64::program {

enum class TransferDirection { Send, Receive };

// The state of the progress window "Wysyłanie/Odbieranie rozkazów" of one
// transfer. Each tick (every 1000 ms) reads the position from the server:
// 2905 - RozkazPos when sending, RozkazRxPos when receiving. The window ends
// by itself when the position stood still since the previous tick and is
// above 0; a failed read shows the error in place of the waiting text and
// lets the user close the window, while the ticks go on.
//
// A transfer whose position has not moved for kSilenceLimit (the reads
// failing, or the position standing at 0) ends by itself as failed
// (stalled()): a caretaker who has left the PC must not come back to a
// window that waits for ever, nor to a send that never said how it ended.
class TransferProgress {
public:
    static constexpr int kRange = 2905;
    static constexpr std::chrono::milliseconds kTickPeriod{1000};
    static constexpr std::chrono::seconds kSilenceLimit{30};
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // previousPosition is the position read at the previous tick of any
    // transfer; its owner keeps it for the program's lifetime. The clock
    // measures the silence (tests move it by hand).
    TransferProgress(CentreLink& link, TransferDirection direction, int& previousPosition,
                     Clock clock = std::chrono::steady_clock::now);

    void tick();

    TransferDirection direction() const { return direction_; }
    // Progress bar position, 0..2905.
    int position() const { return position_; }
    // The window closes by itself (OK).
    bool finished() const { return finished_; }
    // While busy, OK and Cancel are ignored and "Anuluj" is disabled.
    bool busy() const { return busy_; }
    bool failed() const { return failed_; }
    // Ended by itself after kSilenceLimit without progress (failed() too).
    bool stalled() const { return stalled_; }
    // "Proszę czekać trwa transmisja..." or the error shown in its place.
    const std::string& statusText() const { return statusText_; }

private:
    // One position read; moved_ tells whether the position changed.
    void readPosition();

    CentreLink& link_;
    TransferDirection direction_;
    int& previousPosition_;
    int position_ = 0;
    bool finished_ = false;
    bool busy_ = true;
    bool failed_ = false;
    bool stalled_ = false;
    bool moved_ = false;
    std::string statusText_;
    Clock clock_;
    // When the position last moved (or the transfer began).
    std::chrono::steady_clock::time_point lastMove_;
};

// Runs a TransferProgress until it ends: the console shows its modal dialog,
// the command line prints the progress.
class TransferWatcher {
public:
    virtual ~TransferWatcher() = default;
    virtual void watch(TransferProgress& progress) = 0;
};

// A watcher without a window: waits a tick period, ticks, reports, until
// the progress finishes or fails (a failed window is closed at once, as its
// user would).
class TickingWatcher : public TransferWatcher {
public:
    using Sleep = std::function<void(std::chrono::milliseconds)>;
    using Report = std::function<void(const TransferProgress&)>;
    TickingWatcher(Sleep sleep, Report report) : sleep_(std::move(sleep)), report_(std::move(report)) {}
    void watch(TransferProgress& progress) override;

private:
    Sleep sleep_;
    Report report_;
};

class ProgramTransfer {
public:
    // offerResend: after an upload that failed part-way, ask whether to
    // send again (the console) rather than only say so (the command line).
    ProgramTransfer(CentreLink& link, UserMessages& messages, TransferWatcher& watcher, bool offerResend = true)
        : link_(link), messages_(messages), watcher_(watcher), offerResend_(offerResend) {}

    // Compiles the open program and uploads it. A program the centre cannot
    // hold is refused before the user is asked; the question names the
    // blocks that apply on no day. An upload that fails part-way leaves the
    // centre with part of the new program and part of the old one: that is
    // said plainly, with the cause, and the program may be sent again.
    // True when the whole program reached the centre.
    bool sendProgram(ProgramDocument& document);
    // Downloads the centre's list and makes it a new, modified program; the
    // current program stays untouched until the list has arrived whole.
    void receiveProgram(ProgramDocument& document);

    // The clock of every transfer's silence limit (tests move it by hand).
    void setClock(TransferProgress::Clock clock) { clock_ = std::move(clock); }

private:
    void showServerError(const LinkError& e);

    CentreLink& link_;
    UserMessages& messages_;
    TransferWatcher& watcher_;
    bool offerResend_;
    int previousPosition_ = 0;
    TransferProgress::Clock clock_ = std::chrono::steady_clock::now;
};

}  // namespace kt64::program
