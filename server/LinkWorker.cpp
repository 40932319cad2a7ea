// The worker's state machine. Each pass tests the stop flag, then acts on the
// current state once. Exchanges run on work_ (the private copy) and their
// outcome is published under the state lock; the lock is never held across
// port I/O or a sleep.
#include "LinkWorker.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

#include "Frame.h"
#include "Procedures.h"
#include "SerialPortError.h"
#include "WorkerState.h"

namespace kt64::server {

namespace {

std::int64_t realtimeNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

LinkWorker::LinkWorker(SharedDevice& device, DeviceReadEvent& readEvent, PortOpener& opener,
                       std::function<int()> portNumber)
    : device_(device), readEvent_(readEvent), opener_(opener), portNumber_(std::move(portNumber)) {}

LinkWorker::~LinkWorker() { stop(); }

void LinkWorker::setTransferHold(std::function<void()> begin, std::function<void()> end) {
    holdBegin_ = std::move(begin);
    holdEnd_ = std::move(end);
}

void LinkWorker::awaitTransferEnd() {
    std::unique_lock lock(transferMutex_);
    transferEnded_.wait(lock, [this] { return !transferRunning_; });
}

LinkCounters LinkWorker::counters() const noexcept {
    LinkCounters c;
    c.answered = answered_.load();
    c.unanswered = unanswered_.load();
    c.badFrames = badFrames_.load();
    c.portFailures = portFailures_.load();
    for (std::size_t i = 0; i < 2; ++i) {
        c.transfersStarted[i] = transfersStarted_[i].load();
        c.transfersFinished[i] = transfersFinished_[i].load();
        c.transfersFailed[i] = transfersFailed_[i].load();
        c.transferLastSuccessNs[i] = transferLastSuccessNs_[i].load();
    }
    c.paused = state_.load() == W_PAUSE;
    return c;
}

bool LinkWorker::transferRunning() {
    const std::lock_guard lock(transferMutex_);
    return transferRunning_;
}

void LinkWorker::start() {
    if (thread_.joinable()) return;
    stopRequested_ = false;
    state_ = W_OPEN;
    thread_ = std::thread([this] {
        // Named, so that per-thread figures (top -H, /proc/PID/task,
        // server_bench cpu) tell the line's thread from the others.
        ::pthread_setname_np(::pthread_self(), "link-worker");
        // The highest priority the system grants: polling back to back and the
        // record-by-record transfers must not be starved by the rest of the
        // machine. Only a privileged process (the service) may raise it; an
        // unprivileged local server keeps the normal priority.
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), -10);
        run();
    });
}

void LinkWorker::stop() {
    {
        std::lock_guard lock(sleepMutex_);
        stopRequested_ = true;
    }
    sleepWake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool LinkWorker::pause(std::chrono::milliseconds d) {
    std::unique_lock lock(sleepMutex_);
    return !sleepWake_.wait_for(lock, d, [this] { return stopRequested_.load(); });
}

void LinkWorker::run() {
    std::int32_t state = W_OPEN;
    while (!stopping()) {
        state_ = state;
        switch (state) {
        case W_OPEN:
            state = openPort();
            break;

        case W_POLL:
            if (auto head = device_.takeHead()) {
                state = *head;
                break;
            }
            if (!pause(kPollPause)) break;
            if (!link_) {
                state = W_OPEN;
                break;
            }
            state = runStatusExchange();
            readEvent_.signal();
            break;

        case W_PAUSE: {
            publishInvalid();
            if (auto head = device_.takeHead()) {
                state = *head;
                break;
            }
            // Waiting clients are released once every 21 ticks (about 1.05 s)
            // while the port stays open and silent.
            if (++pauseTicks_ >= kPauseTicksPerSignal) {
                readEvent_.signal();
                pauseTicks_ = 0;
            }
            pause(kPauseTick);
            break;
        }

        case W_ERROR:
            publishInvalid();
            if (!pause(kRetryPause)) break;
            readEvent_.signal();
            state = W_OPEN;
            break;

        case W_SETTIME:
        case W_SETLINES:
        case W_SETLINETIME:
        case W_SETSERIAL:
        case W_SETBUILD:
        case W_SETDIGLINE:
        case W_SETPARAMS: {
            if (!pause(state == W_SETPARAMS ? kParamsPause : kPollPause)) break;
            if (!link_) {
                state = W_OPEN;
                break;
            }
            HRESULT (*procedure)(serial::ByteLink&, link::DeviceState&) = nullptr;
            switch (state) {
            case W_SETTIME:
                procedure = link::setTime;
                break;
            case W_SETLINES:
                procedure = link::switchLines;
                break;
            case W_SETLINETIME:
                procedure = link::setLineTime;
                break;
            case W_SETSERIAL:
                procedure = link::setSerial;
                break;
            case W_SETBUILD:
                procedure = link::setType;
                break;
            case W_SETDIGLINE:
                procedure = link::setDigitalLineType;
                break;
            default:
                procedure = link::setParams;
                break;
            }
            state = runExchange(procedure, state == W_SETPARAMS);
            readEvent_.signal();
            break;
        }

        case W_SENDROZK:
            if (!pause(kPollPause)) break;
            state = link_ ? runUpload() : W_OPEN;
            break;

        case W_GETROZK:
            if (!pause(kPollPause)) break;
            state = link_ ? runDownload() : W_OPEN;
            break;

        default:
            // Only the server queues commands, so this cannot come from a
            // client; polling is the safe place to go on from.
            state = W_POLL;
            break;
        }
    }
    state_ = W_EXIT;
    readEvent_.signal();
    link_.reset();
}

std::int32_t LinkWorker::openPort() {
    publishInvalid();
    link_.reset();
    const int port = portNumber_();
    try {
        link_ = opener_.open(port);
        journal_.portOpened(opener_.deviceName(*link_, port));
        return W_POLL;
    } catch (const serial::SerialPortError& e) {
        return portFailed(e);
    }
}

std::int32_t LinkWorker::portFailed(const serial::SerialPortError& e) {
    // A port that fails while open (a USB adapter pulled out) is treated like
    // one that cannot be opened: closed now, reported with the system's text,
    // reopened once a second from W_ERROR.
    link_.reset();
    ++portFailures_;
    journal_.portFailed(e.message());
    device_.access([&](DeviceRecord& r) {
        r.device.StatusValid = false;
        r.device.ErrorCode = E_KT64_PORT;
        r.device.ErrorText = e.message();
    });
    return W_ERROR;
}

void LinkWorker::publishInvalid() {
    device_.access([](DeviceRecord& r) { r.device.StatusValid = false; });
}

std::int32_t LinkWorker::runStatusExchange() {
    lastAnswered_ = false;
    const std::int32_t next = runExchange(link::exchangeStatus);
    ++(lastAnswered_ ? answered_ : unanswered_);
    return next;
}

void LinkWorker::publishOutcome(HRESULT hr) {
    lastAnswered_ = !failed(hr) && work_.StatusValid;
    journal_.exchangeEnded(hr, work_.ErrorText);
    if (hr == E_KT64_FRAME || hr == E_KT64_CHECKSUM) ++badFrames_;
    device_.access([&](DeviceRecord& r) {
        copyDecodedFields(work_, r.device);
        r.device.StatusValid = work_.StatusValid;
        // A good frame leaves the last error as it was: it may be a refusal a
        // client recorded meanwhile.
        if (failed(hr)) {
            r.device.ErrorCode = work_.ErrorCode;
            r.device.ErrorText = work_.ErrorText;
        }
    });
}

std::int32_t LinkWorker::runExchange(const std::function<HRESULT(serial::ByteLink&, link::DeviceState&)>& procedure,
                                     bool claimsParams) {
    device_.access([&](DeviceRecord& r) {
        copyPendingValues(r.device, work_);
        // The parameters request takes the pending bits with it; a bit a
        // client sets while the frame is under way stays for the next one.
        if (claimsParams) r.device.PendingParams = 0;
    });
    // The mask goes back if the frame never went out (the procedure clears
    // it only after writing the frame), and the request is queued again, so
    // the setting reaches the centre once the port works again without
    // waiting for another client's put.
    auto restoreParams = [&] {
        if (claimsParams && work_.PendingParams != 0) {
            device_.access([&](DeviceRecord& r) { r.device.PendingParams |= work_.PendingParams; });
            device_.enqueue(W_SETPARAMS);
        }
    };
    HRESULT hr;
    try {
        hr = procedure(*link_, work_);
    } catch (const serial::SerialPortError& e) {
        restoreParams();
        return portFailed(e);
    }
    restoreParams();
    publishOutcome(hr);
    return W_POLL;
}

std::int32_t LinkWorker::runUpload() {
    std::vector<std::uint8_t> buffer;
    std::int32_t remaining = 0;
    device_.access([&](DeviceRecord& r) {
        buffer = std::move(r.SendBuffer);
        r.SendBuffer.clear();
        remaining = r.device.SendRemaining;
    });

    journal_.transferStarted("upload of the command list");
    ++transfersStarted_[0];
    auto finish = [&](bool ok) {
        ++(ok ? transfersFinished_ : transfersFailed_)[0];
        if (ok) transferLastSuccessNs_[0] = realtimeNs();
        journal_.transferEnded("upload of the command list", ok,
                               std::to_string(std::max(remaining, 0)) + " bytes still to send, " +
                                   (stopping() ? "the server is stopping" : "bad or missing acknowledgement"));
        device_.access([&](DeviceRecord& r) { link::endUpload(r.device, ok); });
    };
    return runTransfer(
        [&] {
            return link::uploadCommandList(*link_, std::move(buffer), remaining, [&](std::int32_t left) {
                device_.access([&](DeviceRecord& r) { r.device.SendRemaining = std::max(left, 0); });
                return true;
            });
        },
        finish);
}

std::int32_t LinkWorker::runDownload() {
    std::vector<std::uint8_t> buffer;
    std::int32_t count = 0;
    journal_.transferStarted("download of the command list");
    ++transfersStarted_[1];
    auto finish = [&](bool ok) {
        ++(ok ? transfersFinished_ : transfersFailed_)[1];
        if (ok) transferLastSuccessNs_[1] = realtimeNs();
        journal_.transferEnded("download of the command list", ok,
                               std::to_string(count) + " bytes received, " +
                                   (stopping() ? "the server is stopping" : "bad or missing answer"));
        device_.access([&](DeviceRecord& r) {
            link::endDownload(r.device, ok, count, buffer);
            r.DownloadBusy = false;
        });
    };
    return runTransfer(
        [&] {
            return link::downloadCommandList(*link_, buffer, count, [&](std::int32_t received) {
                const bool complete = received >= static_cast<std::int32_t>(link::kImageSize);
                device_.access([&](DeviceRecord& r) {
                    // The image becomes readable together with the count that
                    // tells clients it is complete.
                    if (complete) r.device.TransferBuffer.assign(buffer.begin(), buffer.begin() + link::kImageSize);
                    r.device.RecvCount = received;
                });
                return true;
            });
        },
        finish);
}

std::int32_t LinkWorker::runTransfer(const std::function<bool()>& transfer, const std::function<void(bool)>& finish) {
    // The hold is released on every way out, a port failure included.
    struct Hold {
        LinkWorker& worker;
        ~Hold() {
            if (worker.holdEnd_) worker.holdEnd_();
            {
                const std::lock_guard lock(worker.transferMutex_);
                worker.transferRunning_ = false;
            }
            worker.transferEnded_.notify_all();
        }
    };
    {
        const std::lock_guard lock(transferMutex_);
        transferRunning_ = true;
    }
    if (holdBegin_) holdBegin_();
    Hold hold{*this};
    // A stop asked for meanwhile waits: the transfer runs to its last record.
    bool ok = false;
    try {
        ok = transfer();
    } catch (const serial::SerialPortError& e) {
        finish(false);
        return portFailed(e);
    }
    finish(ok);
    if (stopping()) return W_POLL;
    return runStatusExchange();
}

}  // namespace kt64::server
