// The worker's log lines: each state change once, lasting states repeated at
// most once a minute, bad frames counted. A hand-moved clock stands in for
// time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <string>
#include <vector>

#include "SerialPortError.h"
#include "ServerRig.h"
#include "WorkerJournal.h"

namespace kt64::test {
namespace {

using namespace std::chrono_literals;
using server::LogLevel;

struct Rig {
    std::chrono::steady_clock::time_point now{};
    std::vector<std::string> lines;
    server::WorkerJournal journal{[this](LogLevel level, const std::string& text) {
                                      const char* tag = level == LogLevel::Error     ? "E "
                                                        : level == LogLevel::Warning ? "W "
                                                        : level == LogLevel::Info    ? "I "
                                                                                     : "D ";
                                      lines.push_back(tag + text);
                                  },
                                  [this] { return now; }};
    std::vector<std::string> take() { return std::exchange(lines, {}); }
};

using Lines = std::vector<std::string>;

TEST(WorkerJournal, APortThatFailsIsToldOnceThenOnceAMinuteThenItsReturn) {
    Rig rig;
    const std::string missing = "No such file or directory (/dev/ttyUSB0)";
    rig.journal.portFailed(missing);
    for (int s = 1; s < 60; ++s) {  // retried every second
        rig.now += 1s;
        rig.journal.portFailed(missing);
    }
    EXPECT_EQ(rig.take(), (Lines{"E port failed: " + missing}));
    rig.now += 1s;
    rig.journal.portFailed(missing);
    EXPECT_EQ(rig.take(), (Lines{"E port still failing after 60 s: " + missing}));
    // A new reason is told at once.
    rig.now += 1s;
    rig.journal.portFailed("Device or resource busy (/dev/ttyUSB0)");
    EXPECT_EQ(rig.take(), (Lines{"E port still failing after 61 s: Device or resource busy (/dev/ttyUSB0)"}));
    rig.now += 14s;
    rig.journal.portOpened("/dev/ttyUSB0");
    rig.journal.exchangeEnded(S_OK, "");
    EXPECT_EQ(rig.take(), (Lines{"I port /dev/ttyUSB0 back after 75 s"}));
    rig.journal.portOpened("/dev/ttyUSB0");
    EXPECT_EQ(rig.take(), (Lines{"I port /dev/ttyUSB0 opened"}));
    // Lost while open: the system's text alone gets the device beside it.
    rig.journal.portFailed("Input/output error");
    EXPECT_EQ(rig.take(), (Lines{"E port failed: Input/output error (/dev/ttyUSB0)"}));
}

TEST(WorkerJournal, SilenceAndBadFramesAreToldWithoutFloodingTheLog) {
    Rig rig;
    rig.journal.portOpened("/dev/ttyS0");
    rig.take();
    for (int i = 0; i < 40; ++i) {  // five seconds of a silent centre
        rig.journal.exchangeEnded(E_KT64_NOANSWER, "Brak odpowiedzi.");
        rig.now += 125ms;
    }
    rig.journal.exchangeEnded(S_OK, "");
    EXPECT_EQ(rig.take(), (Lines{"W centre silent on /dev/ttyS0: Brak odpowiedzi.",
                                 "I centre answering again on /dev/ttyS0 after 5 s"}));

    // A noisy line: the first bad frame at once, the rest summed up a
    // minute later, then a quiet minute ends the run.
    for (int i = 0; i < 480; ++i) {
        rig.journal.exchangeEnded(i % 2 ? E_KT64_CHECKSUM : E_KT64_FRAME,
                                  i % 2 ? "Błąd sumy kontrolnej" : "Błędna ramka.");
        rig.now += 125ms;
    }
    rig.journal.exchangeEnded(S_OK, "");
    EXPECT_EQ(rig.take(), (Lines{"W bad frame from the centre on /dev/ttyS0: Błędna ramka.",
                                 "W 479 more bad frames from the centre on /dev/ttyS0 in 60 s (last: Błąd sumy "
                                 "kontrolnej)"}));
    rig.now += 60s;
    rig.journal.exchangeEnded(S_OK, "");
    rig.journal.exchangeEnded(E_KT64_FRAME, "Błędna ramka.");
    EXPECT_EQ(rig.take(), (Lines{"W bad frame from the centre on /dev/ttyS0: Błędna ramka."}));
}

TEST(WorkerJournal, TransfersAreToldWithTheirOutcome) {
    Rig rig;
    rig.journal.portOpened("/dev/ttyS1");
    rig.take();
    rig.journal.transferStarted("upload of the command list");
    rig.journal.transferEnded("upload of the command list", true, "");
    rig.journal.transferStarted("download of the command list");
    rig.journal.transferEnded("download of the command list", false, "700 bytes received, bad or missing answer");
    EXPECT_EQ(rig.take(), (Lines{"I upload of the command list started on /dev/ttyS1",
                                 "I upload of the command list finished on /dev/ttyS1",
                                 "I download of the command list started on /dev/ttyS1",
                                 "W download of the command list failed on /dev/ttyS1: 700 bytes received, bad or "
                                 "missing answer"}));
}

// The worker itself tells the journal when its port fails and comes back.
TEST(WorkerJournal, TheWorkerReportsItsPortToTheLog) {
    ServerRig rig;
    std::mutex mutex;
    std::vector<std::string> lines;
    rig.worker.setLog([&](LogLevel, const std::string& text) {
        std::lock_guard lock(mutex);
        lines.push_back(text);
    });
    auto logged = [&](const std::string& start) {
        std::lock_guard lock(mutex);
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(start); });
    };
    rig.centre.openError = ENOENT;
    rig.worker.start();
    ASSERT_TRUE(eventually([&] { return logged("port failed: " + serial::systemText(ENOENT)); }));
    rig.centre.openError = 0;
    EXPECT_TRUE(eventually([&] { return logged("port COM1 back after "); }));
}

}  // namespace
}  // namespace kt64::test
