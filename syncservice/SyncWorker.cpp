// The synchronisation cycle.
#include "SyncWorker.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "CivilCalendar.h"

namespace kt64::sync {

SyncWorker::SyncWorker(SyncSettings settings, SyncWorkerParts parts)
    : settings_(std::move(settings)), parts_(std::move(parts)), schedule_(settings_.hourSync, settings_.freqSync) {}

void SyncWorker::report(const CycleReport& cycle) const {
    if (parts_.reportCycle) parts_.reportCycle(cycle);
}

void SyncWorker::logFailure(const LinkError& e) {
    report(CycleReport::failed(MessageId::ServerError));
    if (e.description()) {
        parts_.log.text(*e.description());
    } else {
        parts_.log.message(MessageId::ServerError);
    }
}

WorkerEnd SyncWorker::run(const StopSignal& stop) {
    if (!settings_.syncSock.empty() && parts_.feed) return runFeed(stop);
    auto timer = parts_.clock.createTimer();
    if (!timer) return WorkerEnd::NoTimer;

    while (!stop.requested()) {
        const auto instant = schedule_.next(parts_.clock.nowLocal());
        if (!instant) {
            report(CycleReport::failed(MessageId::SystemFailed));
            parts_.log.message(MessageId::SystemFailed);
            return WorkerEnd::SystemFailed;
        }
        switch (timer->waitUntil(*instant, stop)) {
        case WaitResult::Stopped:
            return WorkerEnd::Stopped;
        case WaitResult::Failed:
            report(CycleReport::failed(MessageId::SystemFailed));
            parts_.log.message(MessageId::SystemFailed);
            return WorkerEnd::SystemFailed;
        case WaitResult::Due:
            break;
        }
        if (stop.requested()) break;

        if (!withServer(stop, [&](SyncServer& server) { return synchroniseWith(server, stop); })) break;
    }
    return WorkerEnd::Stopped;
}

bool SyncWorker::withServer(const StopSignal& stop, const std::function<CycleEnd(SyncServer&)>& work) {
    // A connection or call that fails because the stop cut it short is no
    // failure to log: the program is ending.
    std::unique_ptr<SyncServer> server;
    try {
        server = parts_.link.connect(settings_.compName);
    } catch (const LinkError&) {
        if (stop.requested()) return false;
        report(CycleReport::failed(MessageId::NoConnection));
        parts_.log.message(MessageId::NoConnection);
    }
    if (server) {
        try {
            if (work(*server) == CycleEnd::Stopped) return false;
        } catch (const LinkError& e) {
            if (stop.requested()) return false;
            logFailure(e);
        }
        server.reset();
    }
    return parts_.clock.pause(kCyclePause, stop);
}

namespace {

constexpr std::int64_t kNsPerSecond = 1'000'000'000;

// The DATE of a local time with its fraction (LastSync keeps the
// milliseconds applied).
DATE dateOfLocal(LocalNanoseconds local) {
    const std::int64_t ns = local.count();
    std::int64_t whole = ns / kNsPerSecond;
    std::int64_t fraction = ns % kNsPerSecond;
    if (fraction < 0) {
        fraction += kNsPerSecond;
        --whole;
    }
    const auto date = dateOfLocalSeconds(whole);
    return date ? *date + static_cast<double>(fraction) / kNsPerSecond / 86400.0 : 0.0;
}

double seconds(std::chrono::nanoseconds d) { return std::chrono::duration<double>(d).count(); }

// The journal's line for a clock that could not be set.
std::string clockSettingFailureText(std::error_code reason) {
    std::string text = "setting the system clock failed: " + reason.message();
    if (reason == std::errc::operation_not_permitted)
        text += " (EPERM): the service lacks the right to set the clock (CAP_SYS_TIME)";
    return text;
}

}  // namespace

void SyncWorker::recordSynchronised(DATE centre, double deviationSeconds) {
    report(CycleReport::succeeded(deviationSeconds));
    announceSynchronised(centre);
}

void SyncWorker::announceSynchronised(DATE centre) {
    parts_.log.message(MessageId::Synchronised);
    if (settings_.syncSnd) parts_.speaker.tone(kSyncToneHz, kSyncToneMs);
    if (parts_.recordLastSync) parts_.recordLastSync(centre);
}

bool SyncWorker::zonesAgree(LocalSeconds centreLocal, LocalSeconds centreGmt) {
    auto mismatch = compareZones(centreLocal, centreGmt, parts_.clock.zoneAt(static_cast<std::time_t>(centreGmt)));
    if (!mismatch) {
        zoneMismatch_.reset();
        return true;
    }
    if (mismatch != zoneMismatch_) parts_.log.text(zoneMismatchText(*mismatch));
    zoneMismatch_ = std::move(mismatch);
    return false;
}

void SyncWorker::clockNotSet(std::error_code reason) {
    parts_.log.message(MessageId::ClockNotSet);
    if (reason != settingFailure_) parts_.log.note(clockSettingFailureText(reason));
    settingFailure_ = reason;
}

SyncWorker::CycleEnd SyncWorker::synchroniseWith(SyncServer& server, const StopSignal& stop) {
    if (settings_.timedChanges == 0) return synchroniseWholeSecond(server, stop);

    // Every frame narrows the bracket; the first change is where the
    // whole-second setting would stop, each further one narrows it more.
    const int wanted = static_cast<int>(settings_.timedChanges);
    CentreBracket bracket;
    LocalSeconds local = 0, gmt = 0;  // the centre's clocks in the last frame
    for (;;) {
        const auto reading = server.getStampedSyncTime();
        const auto second = localSecondsOfDate(reading.time);
        const auto gmtSecond = localSecondsOfDate(reading.gmt);
        if (second && gmtSecond) {
            local = *second;
            gmt = *gmtSecond;
            bracket.add(*second, reading);
            if (bracket.changes() >= wanted) break;
        } else {
            bracket.clear();
        }
        if (stop.requested()) return CycleEnd::Stopped;
        server.waitForDeviceRead();
        if (stop.requested()) return CycleEnd::Stopped;
    }

    if (!zonesAgree(local, gmt)) {
        report(CycleReport::zoneDiffers());
        return CycleEnd::Done;
    }
    const auto pc = parts_.clock.readClock();
    const auto centre = *bracket.centreAt(pc.steady);
    const double deviation = seconds(centre.local - pc.local);
    if (!synchronisationAllowed(estimatedDeviation(pc.local, centre.local), settings_.deviationFrom,
                                settings_.deviationTo)) {
        report(CycleReport::failed(MessageId::OutsideWindow, deviation));
        parts_.log.message(MessageId::OutsideWindow);
        return CycleEnd::Done;
    }
    if (stop.requested()) return CycleEnd::Stopped;
    if (const auto failure = parts_.clock.setLocalTime(centre)) {
        report(CycleReport::failed(MessageId::ClockNotSet, deviation));
        clockNotSet(failure);
        return CycleEnd::Done;
    }
    settingFailure_.clear();
    recordSynchronised(dateOfLocal(centre.local), deviation);
    return CycleEnd::Done;
}

WorkerEnd SyncWorker::runFeed(const StopSignal& stop) {
    while (!stop.requested()) {
        if (!withServer(stop, [&](SyncServer& server) { return feedFrom(server, stop); })) break;
    }
    return WorkerEnd::Stopped;
}

namespace {

// A feed's outcomes since the metrics last heard of it: the latest of each
// kind, in the order each last happened, so that the deviation the metrics
// keep is the latest found.
class FeedOutcomes {
public:
    void add(CycleReport outcome) {
        const auto kind = failureLabel(outcome);
        std::erase_if(pending_, [&](const CycleReport& r) { return failureLabel(r) == kind; });
        pending_.push_back(std::move(outcome));
    }
    std::vector<CycleReport> take() { return std::exchange(pending_, {}); }

private:
    std::vector<CycleReport> pending_;
};

}  // namespace

SyncWorker::CycleEnd SyncWorker::feedFrom(SyncServer& server, const StopSignal& stop) {
    const int wanted = std::max(1, static_cast<int>(settings_.timedChanges));
    CentreBracket bracket;
    bool delivered = false;  // a sample of this connection reached the daemon
    bool deliveryFailed = false;
    bool outside = false;
    FeedOutcomes outcomes;
    std::optional<SteadyTime> reported;  // when the metrics last heard; none: not on this connection
    auto flush = [&] {
        for (const auto& outcome : outcomes.take()) report(outcome);
    };
    auto found = [&](CycleReport outcome, const ClockReading& pc) {
        outcome.at = pc.utc;
        outcomes.add(std::move(outcome));
        if (reported && pc.steady - *reported < kFeedReportInterval) return;
        flush();
        reported = pc.steady;
    };
    try {
        for (;;) {
            const auto reading = server.getStampedSyncTime();
            const auto second = localSecondsOfDate(reading.time);
            const auto gmt = localSecondsOfDate(reading.gmt);
            if (second && gmt) {
                const int before = bracket.changes();
                const auto fit = bracket.add(*second, reading);
                if (fit == CentreBracket::Fit::Narrowed && bracket.changes() > before) {
                    bracket.keepChanges(wanted);
                    if (bracket.changes() >= wanted) {
                        const auto pc = parts_.clock.readClock();
                        if (!zonesAgree(*second, *gmt)) {
                            found(CycleReport::zoneDiffers(), pc);
                        } else {
                            const auto local = *bracket.centreAt(pc.steady);
                            // The bracket's frames all keep this frame's offset:
                            // a change of it moves the local second, which starts
                            // the bracket afresh.
                            const CentreClocks centre{local.local, local.local - std::chrono::seconds(*second - *gmt),
                                                      local.at};
                            const auto pcUtc =
                                std::chrono::duration_cast<std::chrono::nanoseconds>(pc.utc.time_since_epoch());
                            const double deviation = seconds(centre.gmt - pcUtc);
                            if (!synchronisationAllowed(estimatedDeviation(pcUtc, centre.gmt), settings_.deviationFrom,
                                                        settings_.deviationTo)) {
                                if (!outside) parts_.log.message(MessageId::OutsideWindow);
                                outside = true;
                                found(CycleReport::failed(MessageId::OutsideWindow, deviation), pc);
                            } else {
                                outside = false;
                                if (stop.requested()) break;
                                if (auto failure = parts_.feed->send(pc.utc, sampleOffsetOf(pc, centre))) {
                                    if (!deliveryFailed) parts_.log.text(*failure);
                                    deliveryFailed = true;
                                    found(CycleReport::notFed(deviation), pc);
                                } else {
                                    deliveryFailed = false;
                                    if (!delivered) announceSynchronised(dateOfLocal(centre.local));
                                    delivered = true;
                                    found(CycleReport::succeeded(deviation), pc);
                                }
                            }
                        }
                    }
                }
            } else {
                bracket.clear();
            }
            if (stop.requested()) break;
            server.waitForDeviceRead();
            if (stop.requested()) break;
        }
    } catch (const LinkError&) {
        // What this connection found is counted before its failure is.
        flush();
        throw;
    }
    flush();
    return CycleEnd::Stopped;
}

SyncWorker::CycleEnd SyncWorker::synchroniseWholeSecond(SyncServer& server, const StopSignal& stop) {
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
    // GetSyncTime carries no GMT: the server's last frame gives it, a poll or
    // two later at most, which the quarter-hour comparison does not notice.
    const auto gmt = localSecondsOfDate(server.getGmtTime());
    if (!gmt) return CycleEnd::Done;
    if (!zonesAgree(centre, *gmt)) {
        report(CycleReport::zoneDiffers());
        return CycleEnd::Done;
    }
    const auto now = parts_.clock.nowLocal();
    const auto deviation = clockDeviation(now, centre);
    const double signedDeviation = static_cast<double>(centre - now);
    if (!synchronisationAllowed(deviation, settings_.deviationFrom, settings_.deviationTo)) {
        report(CycleReport::failed(MessageId::OutsideWindow, signedDeviation));
        parts_.log.message(MessageId::OutsideWindow);
        return CycleEnd::Done;
    }
    if (stop.requested()) return CycleEnd::Stopped;
    if (const auto failure = parts_.clock.setLocalTime(calendar::civilFromSeconds(centre))) {
        report(CycleReport::failed(MessageId::ClockNotSet, signedDeviation));
        clockNotSet(failure);
        return CycleEnd::Done;
    }
    settingFailure_.clear();
    recordSynchronised(reading, signedDeviation);
    return CycleEnd::Done;
}

}  // namespace kt64::sync
