// WorkerCalls: the console's one way to do work off the GUI thread. Calls
// on the link server wait up to their deadline when the server or the
// network is dead, service-manager requests wait for a program to end,
// network browsing waits for the daemon: none of them may keep the window
// from its events. Each job runs on one of a few kept worker threads and
// its result is handed back to the GUI thread:
//
//   workers.call(this,
//       [browser] { return browser->domains(); },               // worker
//       [this](std::vector<std::string> d) { show(d); });       // GUI thread
//
// A result is delivered only while its receiver (a QObject on the GUI
// thread) still exists: a form closed meanwhile never hears of it. Jobs
// run side by side, so a caller that repeats a job on a timer keeps one in
// flight at a time. The object waits for the jobs in flight when it goes
// (each ends by its own deadline); it belongs to the document, which lives
// as long as the console.
//
// A job must not drop the last reference to a link-server object on the
// GUI thread (ending its lease waits for the server): jobs hold such
// objects themselves and let go of them on the worker.
#pragma once

#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace kt64::console {

class WorkerCalls : public QObject {
    Q_OBJECT
public:
    explicit WorkerCalls(int threads, QObject* parent = nullptr);
    ~WorkerCalls() override;

    // Runs f on a worker thread.
    void run(std::function<void()> f);
    // Runs f on the GUI thread (this object's thread) if context still
    // exists then. Callable from any thread.
    void post(const QPointer<QObject>& context, std::function<void()> f);

    // Runs work on a worker, then done(result) (or done() for a void work)
    // on the GUI thread while receiver exists.
    template <class Work, class Done>
    void call(QObject* receiver, Work work, Done done) {
        using Result = std::invoke_result_t<Work&>;
        run([this, target = QPointer<QObject>(receiver), work = std::move(work), done = std::move(done)]() mutable {
            if constexpr (std::is_void_v<Result>) {
                work();
                post(target, [done]() mutable { done(); });
            } else {
                auto result = std::make_shared<Result>(work());
                post(target, [done, result]() mutable { done(std::move(*result)); });
            }
        });
    }

    // Jobs given and not yet ended (queued or running).
    int pending() const { return pending_.load(); }
    // Waits until no job runs (tests and shutdown).
    void waitForDone() { pool_.waitForDone(); }

protected:
    // Runs the calls post() handed back.
    bool event(QEvent* e) override;

private:
    QThreadPool pool_;
    std::atomic<int> pending_{0};
};

}  // namespace kt64::console
