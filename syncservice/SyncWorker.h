// SyncWorker: the synchronisation cycle shared by the service and the
// stand-alone program.
//
// Each cycle: compute the next instant and wait for it; connect to the link
// server on CompName (107 and the pause on failure); read the centre's time
// until two consecutive readings lie exactly one second apart (the first
// reading is never accepted, so the accepted one is the first after the
// centre's second changed), calling WaitForDeviceRead between readings;
// compare with the PC's local time; inside the SyncOd/SyncDo window set the
// PC clock (108, optional tone, LastSync) or log 113 when that fails; outside
// it log 109. A failing server call logs its description, or 111 when it has
// none. Every cycle ends with the 5-second pause. A failed time conversion,
// timer or wait logs 112 and ends the worker.
//
// With SyncZmiany = N > 0 the reading goes on until N second changes have
// been seen, each frame stamped (CentreBracket); the window is judged on the
// estimated deviation and the clock is set to the estimate's milliseconds at
// the instant of setting. N = 0 keeps the whole-second setting of the first
// reading after a change.
//
// With SyncSock set (and a feed given), no cycles are scheduled: the worker
// stays connected and hands the daemon one offset sample per second change,
// estimated over the last N changes (at least one), while the deviation lies
// inside the window. The samples are the centre's GMT less the PC's UTC.
// 108, the tone and LastSync mark the first sample of a connection; a
// failed delivery is logged once until one succeeds again;
// failures of the link end the connection as a cycle's do, and after the
// 5-second pause the worker connects again. The metrics hear of a feed a
// minute at a time (on the clock's monotonic time): the first outcome of a
// connection at once, then, at most once a minute, the latest outcome of
// each kind seen since (delivered, outside the window, zone, not taken),
// and what is left when the connection ends. So the monitoring sees the
// success time advance while samples flow, and every kind of failure is
// counted once for each minute it went on.
//
// A stop request is honoured in the wait, in the pause and between two
// server calls; after it no further step is taken, in particular the clock
// is not set, so the caller can log 103 once run() has returned.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <system_error>

#include "Speaker.h"
#include "StopSignal.h"
#include "SyncClock.h"
#include "SyncLink.h"
#include "SyncLog.h"
#include "SyncMetrics.h"
#include "SyncSettings.h"
#include "TimeFeed.h"
#include "ZoneAgreement.h"

namespace kt64::sync {

inline constexpr std::chrono::milliseconds kCyclePause{5000};
inline constexpr std::chrono::seconds kFeedReportInterval{60};
inline constexpr unsigned kSyncToneHz = 1500;
inline constexpr unsigned kSyncToneMs = 300;

enum class WorkerEnd {
    Stopped,       // the stop request was honoured
    NoTimer,       // the timer could not be created (nothing logged)
    SystemFailed,  // message 112 was logged
};

struct SyncWorkerParts {
    SyncClock& clock;
    SyncConnector& link;
    SyncLog& log;
    Speaker& speaker;
    // Records the reading applied to the clock (LastSync).
    std::function<void(DATE)> recordLastSync;
    // Where samples go when SyncSock is set; nullptr: the clock is set.
    TimeFeed* feed = nullptr;
    // Told how each cycle ended (the metrics); may be empty.
    std::function<void(const CycleReport&)> reportCycle{};
};

class SyncWorker {
public:
    SyncWorker(SyncSettings settings, SyncWorkerParts parts);

    // Runs cycles until stop is requested or the worker has to end.
    WorkerEnd run(const StopSignal& stop);

private:
    enum class CycleEnd { Done, Stopped };
    CycleEnd synchroniseWith(SyncServer& server, const StopSignal& stop);
    CycleEnd synchroniseWholeSecond(SyncServer& server, const StopSignal& stop);
    WorkerEnd runFeed(const StopSignal& stop);
    CycleEnd feedFrom(SyncServer& server, const StopSignal& stop);
    // Connects, runs one piece of work on the connection and pauses before
    // the next one; false when the stop ended it.
    bool withServer(const StopSignal& stop, const std::function<CycleEnd(SyncServer&)>& work);
    void logFailure(const LinkError& e);
    void recordSynchronised(DATE centre, double deviationSeconds);
    // 108, the tone and LastSync.
    void announceSynchronised(DATE centre);
    void report(const CycleReport& cycle) const;
    // Whether the PC's zone keeps the centre's local time at the centre's
    // GMT; a mismatch is logged once until it changes or clears.
    bool zonesAgree(LocalSeconds centreLocal, LocalSeconds centreGmt);
    // 113, and the system's reason for the journal once until it changes.
    void clockNotSet(std::error_code reason);

    SyncSettings settings_;
    SyncWorkerParts parts_;
    SyncSchedule schedule_;
    std::optional<ZoneMismatch> zoneMismatch_;  // the one logged last
    std::error_code settingFailure_;            // the reason in the journal last
};

}  // namespace kt64::sync
