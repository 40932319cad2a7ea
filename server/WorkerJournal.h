// What the link worker tells the operator: each change of its state as one
// log line with the device and the system's text (port opened, port failed,
// port back after N s, centre silent, centre answering again, bad frames,
// transfers started, finished and failed). A state that lasts is not
// repeated at the worker's pace: a failing port is reported when it fails,
// then once a minute while it lasts (and at once when its reason changes);
// bad frames are counted and reported at most once a minute with their
// number. The lines go to a sink (the server's journal); the clock is a seam
// so the rate limits are tested without waiting.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "HResult.h"

namespace kt64::server {

enum class LogLevel { Debug, Info, Warning, Error };

using LogSink = std::function<void(LogLevel, const std::string&)>;

class WorkerJournal {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // Repeated reports of a lasting state come at most this often.
    static constexpr std::chrono::seconds kRepeatEvery{60};

    explicit WorkerJournal(
        LogSink sink = {}, Clock clock = [] { return std::chrono::steady_clock::now(); });

    void portOpened(const std::string& device);
    // text: the failure as clients see it (system text with the device).
    void portFailed(const std::string& text);
    // The outcome of one exchange with the centre: S_OK or the code with
    // the server's text.
    void exchangeEnded(HRESULT hr, const std::string& text);
    void transferStarted(const std::string& what);
    void transferEnded(const std::string& what, bool ok, const std::string& detail);

private:
    void say(LogLevel level, const std::string& text) const;
    long secondsSince(std::chrono::steady_clock::time_point t) const;
    void flushBadFrames(bool force);

    LogSink sink_;
    Clock clock_;
    static constexpr const char* kNoDevice = "the port";
    std::string device_ = kNoDevice;

    bool portFailing_ = false;
    std::string portText_;
    std::chrono::steady_clock::time_point portSince_{}, portLastSaid_{};

    bool silent_ = false;
    std::chrono::steady_clock::time_point silentSince_{};

    long badFrames_ = 0;  // not yet reported
    std::string lastBadFrame_;
    bool badFrameSaid_ = false;  // the first of a run was reported
    std::chrono::steady_clock::time_point badFramesSaid_{};
};

}  // namespace kt64::server
