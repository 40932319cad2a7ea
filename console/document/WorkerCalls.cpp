// WorkerCalls: the kept worker threads and the hand-back through this
// object's (the GUI thread's) event queue.
//
// The pool and the event queue hand work on under Qt's own locks, which the
// race detector cannot see, so each hand-off is stated (HandOff.h), the job
// or the event being its own token. A job and a hand-back are made whole
// before they are handed on and are destroyed where they run, so no thread
// touches one after giving it away.
#include "WorkerCalls.h"

#include <QCoreApplication>
#include <QEvent>
#include <QRunnable>

#include "HandOff.h"

namespace kt64::console {

namespace {

// A job for the pool, run and deleted by the worker that takes it.
class Job final : public QRunnable {
public:
    Job(std::atomic<int>& pending, std::function<void()> f) : pending_(pending), f_(std::move(f)) {}
    void run() override {
        takeOver(this);
        f_();
        // The job's captures go before it counts as ended.
        f_ = nullptr;
        --pending_;
    }

private:
    std::atomic<int>& pending_;
    std::function<void()> f_;
};

// A call handed back to the GUI thread, run there (while its context
// exists) and deleted there by the event loop.
class HandBack final : public QEvent {
public:
    HandBack(QPointer<QObject> context, std::function<void()> f)
        : QEvent(kind()), context_(std::move(context)), f_(std::move(f)) {}
    static QEvent::Type kind() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    void run() {
        if (context_) f_();
    }

private:
    QPointer<QObject> context_;
    std::function<void()> f_;
};

}  // namespace

WorkerCalls::WorkerCalls(int threads, QObject* parent) : QObject(parent) {
    pool_.setMaxThreadCount(threads);
    // Worker threads are kept: a poll four times a second should not start
    // a thread each time.
    pool_.setExpiryTimeout(-1);
}

WorkerCalls::~WorkerCalls() { pool_.waitForDone(); }

void WorkerCalls::run(std::function<void()> f) {
    ++pending_;
    auto* job = new Job(pending_, std::move(f));
    handOff(job);
    pool_.start(job);
}

void WorkerCalls::post(const QPointer<QObject>& context, std::function<void()> f) {
    auto* call = new HandBack(context, std::move(f));
    handOff(call);
    QCoreApplication::postEvent(this, call);
}

bool WorkerCalls::event(QEvent* e) {
    if (e->type() != HandBack::kind()) return QObject::event(e);
    takeOver(e);
    static_cast<HandBack*>(e)->run();
    return true;
}

}  // namespace kt64::console
