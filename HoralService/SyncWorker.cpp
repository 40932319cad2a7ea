// The synchronisation cycle.
#include "SyncWorker.h"

namespace kt64::sync {

SyncWorker::SyncWorker(SyncSettings settings, SyncWorkerParts parts)
    : settings_(std::move(settings)), parts_(std::move(parts)), schedule_(settings_.hourSync, settings_.freqSync) {}

WorkerEnd SyncWorker::run(const StopSignal& stop) {
    auto timer = parts_.clock.createTimer();
    if (!timer) return WorkerEnd::NoTimer;

    while (!stop.requested()) {
        const auto instant = schedule_.next(parts_.clock.nowLocal());
        if (!instant) {
            parts_.log.message(MessageId::SystemFailed);
            return WorkerEnd::SystemFailed;
        }
        switch (timer->waitUntil(*instant, stop)) {
        case WaitResult::Stopped:
            return WorkerEnd::Stopped;
        case WaitResult::Failed:
            parts_.log.message(MessageId::SystemFailed);
            return WorkerEnd::SystemFailed;
        case WaitResult::Due:
            break;
        }
        if (stop.requested()) break;

        // A connection or call that fails because the stop cut it short is
        // no failure to log: the program is ending.
        std::unique_ptr<SyncServer> server;
        try {
            server = parts_.link.connect(settings_.compName);
        } catch (const LinkError&) {
            if (stop.requested()) break;
            parts_.log.message(MessageId::NoConnection);
        }
        if (server) {
            try {
                if (synchroniseWith(*server, stop) == CycleEnd::Stopped) break;
            } catch (const LinkError& e) {
                if (stop.requested()) break;
                if (e.description()) {
                    parts_.log.text(*e.description());
                } else {
                    parts_.log.message(MessageId::ServerError);
                }
            }
            server.reset();
        }
        if (!parts_.clock.pause(kCyclePause, stop)) break;
    }
    return WorkerEnd::Stopped;
}

SyncWorker::CycleEnd SyncWorker::synchroniseWith(SyncServer& server, const StopSignal& stop) {
    // Readings are compared as whole local seconds; the first has nothing to
    // be compared with and so is never accepted.
    std::optional<LocalSeconds> previous;
    DATE reading = 0.0;
    for (;;) {
        reading = server.getSyncTime();
        const auto seconds = localSecondsOfDate(reading);
        if (seconds && previous && *seconds == *previous + 1) break;
        previous = seconds;
        if (stop.requested()) return CycleEnd::Stopped;
        server.waitForDeviceRead();
        if (stop.requested()) return CycleEnd::Stopped;
    }

    const LocalSeconds centre = *localSecondsOfDate(reading);
    const auto deviation = clockDeviation(parts_.clock.nowLocal(), centre);
    if (!synchronisationAllowed(deviation, settings_.syncOd, settings_.syncDo)) {
        parts_.log.message(MessageId::OutsideWindow);
        return CycleEnd::Done;
    }
    if (stop.requested()) return CycleEnd::Stopped;
    if (!parts_.clock.setLocalTime(systemTimeOf(centre))) {
        parts_.log.message(MessageId::ClockNotSet);
        return CycleEnd::Done;
    }
    parts_.log.message(MessageId::Synchronised);
    if (settings_.syncSnd) parts_.speaker.tone(kSyncToneHz, kSyncToneMs);
    if (parts_.recordLastSync) parts_.recordLastSync(reading);
    return CycleEnd::Done;
}

}  // namespace kt64::sync
