// The link worker: the one thread that owns the line to the centre. It runs
// the state machine of the worker states (WorkerState.h): open the port, poll
// the status back to back, run the commands clients queue between two polls,
// pause while communication is switched off, and retry a port that cannot be
// opened (or that vanished while open) once a second.
//
// Sharing with client calls: every exchange runs on the worker's private
// working copy of DeviceState; before it, the pending values are copied in,
// after it, the decoded fields and the outcome are published to the shared
// record under its state lock (SharedDevice.h). Transfer progress is
// published record by record. So getters never see torn values and never wait
// for the line.
//
// Stopping: stop() sets a flag of its own that every pass tests first and
// that cuts every sleep short, so the request cannot be overwritten by the
// state machine. A transfer already under way is the exception: it runs to
// its last record (about 17 s at 4800 baud) before the worker ends, because
// a cut upload leaves the centre with part of the new program and part of the
// old. Only a failure of the line ends a transfer early. While a transfer
// runs the worker holds the server (see setTransferHold), so the idle
// shutdown cannot start under it. The worker signals the device-read event
// once more and closes the port when it leaves.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "ByteLink.h"
#include "DeviceReadEvent.h"
#include "DeviceState.h"
#include "HResult.h"
#include "PortOpener.h"
#include "ServerMetrics.h"
#include "SharedDevice.h"
#include "WorkerJournal.h"

namespace kt64::serial {
class SerialPortError;
}

namespace kt64::server {

// Pauses of the state machine.
inline constexpr std::chrono::milliseconds kPollPause{10};     // before every exchange
inline constexpr std::chrono::milliseconds kParamsPause{100};  // before the parameters request
inline constexpr std::chrono::milliseconds kPauseTick{50};     // one tick while paused
inline constexpr int kPauseTicksPerSignal = 21;                // 21 ticks: about 1.05 s
inline constexpr std::chrono::milliseconds kRetryPause{1000};  // after a failed open

class LinkWorker {
public:
    // portNumber is asked at every open (the registry value Port, -1 when
    // its key cannot be opened).
    LinkWorker(SharedDevice& device, DeviceReadEvent& readEvent, PortOpener& opener, std::function<int()> portNumber);
    // Stops and joins the thread when still running.
    ~LinkWorker();
    LinkWorker(const LinkWorker&) = delete;
    LinkWorker& operator=(const LinkWorker&) = delete;

    // Called (on the worker thread) as a transfer begins and as it ends, so
    // that a running transfer counts as a holder of the server. Set before
    // start().
    void setTransferHold(std::function<void()> begin, std::function<void()> end);

    // Creates the thread and raises its priority as far as the system allows.
    // Throws std::system_error when the thread cannot be created.
    void start();
    // Asks the worker to stop and waits until its thread has ended (after the
    // end of a transfer under way); only then may the shared record be
    // destroyed. Idempotent.
    void stop();

    // Returns once no command-list transfer is under way (at once when none
    // is), so a stopping server can keep its interface open for the clients
    // that follow the transfer until it has ended.
    void awaitTransferEnd();
    bool transferRunning();

    // The state the worker is in (W_EXIT once stopped), for tests and logs.
    std::int32_t state() const noexcept { return state_.load(); }
    // Where the worker's state changes are told (WorkerJournal.h); set
    // before start().
    void setLog(LogSink sink) { journal_ = WorkerJournal(std::move(sink)); }

    // Number of status exchanges finished since start, answered or not
    // (tests, benchmarks).
    std::uint64_t exchanges() const noexcept { return answered_.load() + unanswered_.load(); }
    // Everything counted since start, for the metrics; read from any thread.
    LinkCounters counters() const noexcept;

private:
    void run();
    // Sleeps d unless a stop is requested first; false when stopping.
    bool pause(std::chrono::milliseconds d);
    bool stopping() const noexcept { return stopRequested_.load(); }

    std::int32_t openPort();
    // Runs one exchange (a procedure answered by a status frame) on the
    // working copy and publishes it. Returns the next state: W_POLL, or
    // W_ERROR when the port failed.
    std::int32_t runExchange(const std::function<HRESULT(serial::ByteLink&, link::DeviceState&)>& procedure,
                             bool claimsParams = false);
    // A status exchange: runExchange, counted as answered or not.
    std::int32_t runStatusExchange();
    std::int32_t runUpload();
    std::int32_t runDownload();
    // One command-list transfer: finish records its outcome; a serial failure
    // becomes a port failure; otherwise the status is read as after every
    // command (unless the worker is stopping).
    std::int32_t runTransfer(const std::function<bool()>& transfer, const std::function<void(bool)>& finish);
    void publishOutcome(HRESULT hr);
    void publishInvalid();
    std::int32_t portFailed(const serial::SerialPortError& e);

    SharedDevice& device_;
    DeviceReadEvent& readEvent_;
    PortOpener& opener_;
    std::function<int()> portNumber_;
    std::function<void()> holdBegin_;
    std::function<void()> holdEnd_;

    WorkerJournal journal_;
    std::unique_ptr<serial::ByteLink> link_;
    link::DeviceState work_;
    int pauseTicks_ = 0;

    std::atomic<std::int32_t> state_{0};
    std::atomic<std::uint64_t> answered_{0}, unanswered_{0};
    bool lastAnswered_ = false;  // worker thread only: the last exchange brought a good frame
    std::atomic<std::uint64_t> badFrames_{0};
    std::atomic<std::uint64_t> portFailures_{0};
    // Index 0 uploads, 1 downloads.
    std::array<std::atomic<std::uint64_t>, 2> transfersStarted_{}, transfersFinished_{}, transfersFailed_{};
    std::array<std::atomic<std::int64_t>, 2> transferLastSuccessNs_{};
    std::atomic<bool> stopRequested_{false};
    std::mutex transferMutex_;
    std::condition_variable transferEnded_;
    bool transferRunning_ = false;
    std::mutex sleepMutex_;
    std::condition_variable sleepWake_;
    std::thread thread_;
};

}  // namespace kt64::server
