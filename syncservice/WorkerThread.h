// WorkerThread: the synchronisation worker on a thread of its own, as both
// programs run it. The main thread stops it (request, then join) before it
// logs message 103, and can poll endedFd() to learn that the worker ended by
// itself (no timer, or message 112).
#pragma once

#include <memory>
#include <optional>
#include <thread>

#include "StopSignal.h"
#include "SyncWorker.h"

namespace kt64::sync {

class WorkerThread {
public:
    // Starts the worker; the thread asks for a raised scheduling priority,
    // which it keeps only where the process may raise it.
    explicit WorkerThread(std::unique_ptr<SyncWorker> worker);
    // Stops and joins the worker.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Requests the stop without waiting (see stop()).
    void requestStop();
    // Requests the stop and waits until the worker has left its cycle.
    WorkerEnd stop();
    // Readable once the worker has ended, by itself or after stop().
    int endedFd() const { return ended_.fd(); }
    // How the worker ended; joins it. Only after endedFd() became readable.
    WorkerEnd join();

private:
    std::unique_ptr<SyncWorker> worker_;
    StopSignal stop_;
    StopSignal ended_;
    std::optional<WorkerEnd> end_;
    std::thread thread_;
};

}  // namespace kt64::sync
