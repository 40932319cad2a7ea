// The worker's log lines and their rate limits.
#include "WorkerJournal.h"

namespace kt64::server {

WorkerJournal::WorkerJournal(LogSink sink, Clock clock) : sink_(std::move(sink)), clock_(std::move(clock)) {}

void WorkerJournal::say(LogLevel level, const std::string& text) const {
    if (sink_) sink_(level, text);
}

long WorkerJournal::secondsSince(std::chrono::steady_clock::time_point t) const {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(clock_() - t).count());
}

void WorkerJournal::portOpened(const std::string& device) {
    device_ = device;
    if (portFailing_)
        say(LogLevel::Info, "port " + device + " back after " + std::to_string(secondsSince(portSince_)) + " s");
    else
        say(LogLevel::Info, "port " + device + " opened");
    portFailing_ = false;
    portText_.clear();
}

void WorkerJournal::portFailed(const std::string& failure) {
    const auto now = clock_();
    // A failed open names its device; a port lost while open fails with
    // the system's text alone (EIO): the device it was open on goes beside.
    const bool named = failure.find('(') != std::string::npos;
    const std::string text = portFailing_ || named || device_ == kNoDevice ? failure : failure + " (" + device_ + ")";
    // A port lost while the centre was silent or sending junk starts a new
    // story: those states end with it.
    silent_ = false;
    flushBadFrames(true);
    if (!portFailing_) {
        portFailing_ = true;
        portSince_ = portLastSaid_ = now;
        portText_ = text;
        say(LogLevel::Error, "port failed: " + text);
        return;
    }
    if (text != portText_ || now - portLastSaid_ >= kRepeatEvery) {
        portLastSaid_ = now;
        portText_ = text;
        say(LogLevel::Error, "port still failing after " + std::to_string(secondsSince(portSince_)) + " s: " + text);
    }
}

void WorkerJournal::exchangeEnded(HRESULT hr, const std::string& text) {
    if (hr == E_KT64_NOANSWER) {
        if (!silent_) {
            silent_ = true;
            silentSince_ = clock_();
            say(LogLevel::Warning, "centre silent on " + device_ + ": " + text);
        }
        return;
    }
    if (silent_ && !failed(hr)) {
        silent_ = false;
        say(LogLevel::Info,
            "centre answering again on " + device_ + " after " + std::to_string(secondsSince(silentSince_)) + " s");
    }
    if (hr == E_KT64_FRAME || hr == E_KT64_CHECKSUM) {
        lastBadFrame_ = text;
        if (!badFrameSaid_) {
            badFrameSaid_ = true;
            badFramesSaid_ = clock_();
            say(LogLevel::Warning, "bad frame from the centre on " + device_ + ": " + text);
            return;
        }
        ++badFrames_;
    }
    flushBadFrames(false);
}

void WorkerJournal::flushBadFrames(bool force) {
    if (!badFrameSaid_) return;
    const auto now = clock_();
    if (!force && now - badFramesSaid_ < kRepeatEvery) return;
    if (badFrames_ > 0) {
        say(LogLevel::Warning, std::to_string(badFrames_) + " more bad frames from the centre on " + device_ + " in " +
                                   std::to_string(secondsSince(badFramesSaid_)) + " s (last: " + lastBadFrame_ + ")");
        badFrames_ = 0;
        badFramesSaid_ = now;
        // Still coming: the run goes on, summed up once a minute.
        badFrameSaid_ = !force;
        return;
    }
    // A minute without bad frames ends the run: the next one is reported
    // at once.
    badFrameSaid_ = false;
}

void WorkerJournal::transferStarted(const std::string& what) { say(LogLevel::Info, what + " started on " + device_); }

void WorkerJournal::transferEnded(const std::string& what, bool ok, const std::string& detail) {
    if (ok)
        say(LogLevel::Info, what + " finished on " + device_);
    else
        say(LogLevel::Warning, what + " failed on " + device_ + (detail.empty() ? "" : ": " + detail));
}

}  // namespace kt64::server
