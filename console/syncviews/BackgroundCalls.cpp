// The worker loop and the hand-back through the application's event queue.
// The thread shares its queue with the object and is detached when the
// object goes, so closing a form never waits for a call in progress.
#include "BackgroundCalls.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace kt64::console {

struct BackgroundCalls::State {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    int running = 0;
    bool stopping = false;
};

namespace {

void workerLoop(std::shared_ptr<BackgroundCalls::State> state) {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(state->mutex);
            state->wake.wait(lock, [&] { return state->stopping || !state->jobs.empty(); });
            if (state->stopping) return;
            job = std::move(state->jobs.front());
            state->jobs.pop_front();
            state->running = 1;
        }
        job();
        std::lock_guard lock(state->mutex);
        state->running = 0;
    }
}

}  // namespace

BackgroundCalls::BackgroundCalls() : state_(std::make_shared<State>()) {
    std::thread(workerLoop, state_).detach();
}

BackgroundCalls::~BackgroundCalls() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        dropped.swap(state_->jobs);
    }
    state_->wake.notify_all();
}

void BackgroundCalls::post(std::function<void()> work) {
    {
        std::lock_guard lock(state_->mutex);
        if (state_->stopping) return;
        state_->jobs.push_back(std::move(work));
    }
    state_->wake.notify_one();
}

int BackgroundCalls::pending() const {
    std::lock_guard lock(state_->mutex);
    return static_cast<int>(state_->jobs.size()) + state_->running;
}

void BackgroundCalls::deliver(std::function<void()> onGuiThread) {
    if (auto* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(onGuiThread), Qt::QueuedConnection);
}

}  // namespace kt64::console
