// Link-server calls on a worker thread (see WorkerCentreLink.h).
#include "WorkerCentreLink.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QPointer>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace kt64::console {

namespace {

constexpr HRESULT kUnexpected = static_cast<HRESULT>(0x8000FFFF);  // E_UNEXPECTED

// What one call hands back from the worker: its end and what it threw.
// The end is told twice: through the caller's event loop (quit), and
// through a condition the caller waits on when its loop cannot run, as
// while the application is quitting.
struct CallState {
    std::exception_ptr error;
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;
};

}  // namespace

WorkerCentreLink::WorkerCentreLink(program::CentreLink& inner, WorkerCalls& workers)
    : inner_(inner), workers_(workers) {}

void WorkerCentreLink::run(const std::function<void()>& job) {
    auto state = std::make_shared<CallState>();
    QEventLoop loop;
    QPointer<QEventLoop> waiting(&loop);
    ++calls_;
    workers_.run([job, state, waiting, &loop] {
        try {
            job();
        } catch (const program::LinkError&) {
            state->error = std::current_exception();
        } catch (const std::exception& e) {
            // Anything else from the client is a broken exchange: the
            // transfers show it like a failed call, with its cause.
            state->error = std::make_exception_ptr(program::LinkError(kUnexpected, std::string(e.what())));
        }
        // Posted before the end is told, so the loop still exists: the
        // caller leaves (and the loop goes) only once it sees the end.
        QMetaObject::invokeMethod(
            &loop,
            [waiting] {
                if (waiting) waiting->quit();
            },
            Qt::QueuedConnection);
        {
            std::lock_guard lock(state->mutex);
            state->finished = true;
        }
        state->ended.notify_all();
    });
    for (;;) {
        {
            std::lock_guard lock(state->mutex);
            if (state->finished) break;
        }
        // Returns at the worker's quit, or at once while the application
        // quits; then the condition is what tells the end.
        loop.exec();
        std::unique_lock lock(state->mutex);
        state->ended.wait_for(lock, std::chrono::milliseconds(10), [&] { return state->finished; });
    }
    --calls_;
    if (state->error) std::rethrow_exception(state->error);
}

std::string WorkerCentreLink::BuildType() {
    std::string result;
    run([&] { result = inner_.BuildType(); });
    return result;
}

void WorkerCentreLink::PutRozkazy(std::span<const std::uint8_t> image) {
    run([&] { inner_.PutRozkazy(image); });
}

std::uint32_t WorkerCentreLink::RozkazPos() {
    std::uint32_t result = 0;
    run([&] { result = inner_.RozkazPos(); });
    return result;
}

void WorkerCentreLink::StartGetRozkazy() {
    run([&] { inner_.StartGetRozkazy(); });
}

std::uint32_t WorkerCentreLink::RozkazRxPos() {
    std::uint32_t result = 0;
    run([&] { result = inner_.RozkazRxPos(); });
    return result;
}

program::ReceivedList WorkerCentreLink::GetRozkazy() {
    program::ReceivedList result;
    run([&] { result = inner_.GetRozkazy(); });
    return result;
}

std::optional<program::LinkError> WorkerCentreLink::centreFault() {
    // It waits for the centre's next status exchange.
    std::optional<program::LinkError> result;
    run([&] { result = inner_.centreFault(); });
    return result;
}

}  // namespace kt64::console
