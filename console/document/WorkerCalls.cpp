// WorkerCalls: the kept worker threads and the hand-back through this
// object's (the GUI thread's) event queue.
#include "WorkerCalls.h"

#include <QMetaObject>

namespace kt64::console {

WorkerCalls::WorkerCalls(int threads, QObject* parent) : QObject(parent) {
    pool_.setMaxThreadCount(threads);
    // Worker threads are kept: a poll four times a second should not start
    // a thread each time.
    pool_.setExpiryTimeout(-1);
}

WorkerCalls::~WorkerCalls() { pool_.waitForDone(); }

void WorkerCalls::run(std::function<void()> f) {
    ++pending_;
    pool_.start([this, f = std::move(f)]() mutable {
        f();
        // The job's captures go before it counts as ended.
        f = nullptr;
        --pending_;
    });
}

void WorkerCalls::post(const QPointer<QObject>& context, std::function<void()> f) {
    QMetaObject::invokeMethod(
        this,
        [context, f = std::move(f)]() {
            if (context) f();
        },
        Qt::QueuedConnection);
}

}  // namespace kt64::console
