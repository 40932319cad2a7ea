// BackgroundCalls: one worker thread that runs the calls the console must not
// make on its GUI thread (link-server calls, which wait up to their deadline
// when the server or the network is dead; service-manager requests, which
// wait for a program to end; network browsing) and hands each result back to
// the GUI thread.
//
// A result is delivered only while its receiver (a QObject living on the GUI
// thread) still exists; a form closed meanwhile simply never hears of it.
// Jobs run one at a time in the order given. Destruction never waits for a
// job: the ones not started are dropped, and a running one finishes on its
// own (a job holds everything it uses by value or shared ownership).
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

namespace kt64::console {

class BackgroundCalls {
public:
    BackgroundCalls();
    ~BackgroundCalls();
    BackgroundCalls(const BackgroundCalls&) = delete;
    BackgroundCalls& operator=(const BackgroundCalls&) = delete;

    // Runs work on the worker, then done(result) on the GUI thread if
    // receiver still exists. Called on the GUI thread.
    template <class Work, class Done>
    void run(QObject* receiver, Work work, Done done) {
        using Result = decltype(work());
        QPointer<QObject> target(receiver);
        post([target, work = std::move(work), done = std::move(done)]() mutable {
            auto result = std::make_shared<Result>(work());
            deliver([target, result, done]() mutable {
                if (target) done(std::move(*result));
            });
        });
    }

    // Runs work on the worker with no result to hand back.
    void post(std::function<void()> work);

    // Jobs given and not yet finished (the running one included).
    int pending() const;

    // Queues f on the GUI thread (the application object's thread).
    static void deliver(std::function<void()> onGuiThread);

    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace kt64::console
