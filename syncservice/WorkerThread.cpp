// Running the synchronisation worker on its own thread.
#include "WorkerThread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kt64::sync {
namespace {

// Two steps above the normal priority, like the highest priority a thread
// of a normal process may take; refused without CAP_SYS_NICE, which leaves
// the thread at its normal priority.
void raisePriority() {
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    ::setpriority(PRIO_PROCESS, tid, ::getpriority(PRIO_PROCESS, tid) - 2);
}

}  // namespace

WorkerThread::WorkerThread(std::unique_ptr<SyncWorker> worker) : worker_(std::move(worker)) {
    thread_ = std::thread([this] {
        raisePriority();
        end_ = worker_->run(stop_);
        ended_.request();
    });
}

WorkerThread::~WorkerThread() {
    if (thread_.joinable()) stop();
}

void WorkerThread::requestStop() { stop_.request(); }

WorkerEnd WorkerThread::stop() {
    stop_.request();
    return join();
}

WorkerEnd WorkerThread::join() {
    if (thread_.joinable()) thread_.join();
    return end_.value_or(WorkerEnd::Stopped);
}

}  // namespace kt64::sync
