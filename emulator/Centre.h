// The emulated KT-64 centre without any I/O: bytes from the serial line go in,
// the centre's answers come out. It keeps the centre's clocks (GMT from the
// time source plus a set correction, local = GMT + offset + one hour in
// summer), the line states, the parameters and the 2905-byte command list,
// and it applies the active fault to each answer. The analogue line time is
// the centre's own counter: it runs in real time from its last setting while
// the analogue line is on, stands while it is off, wraps at 24:00, and is not
// pulled toward local time (nor moved at a change of time).
//
// Requests it understands (ESC, code, length L, data, XOR checksum):
//   11 L=0   status                    -> 50-byte status frame
//   22 L=6   set GMT ss mm hh DD MM YY -> status frame
//   77 L=2   lines: analogue, digital  -> status frame
//   88 L=3   11 mm hh line time        -> status frame
//   AA L=3   serial number bytes       -> status frame
//   BB L=3   source, relays, interface -> status frame
//   33 L=10  11 + nine parameter bytes -> status frame
//   99 L=2   11 + telegram type        -> status frame
//   DD L=9   index hi lo + 7 bytes     -> 1B DD 02 hi lo cs (record stored)
//   EE L=2   index hi lo               -> 1B EE 09 hi lo r0..r6 cs
// A setting whose values are out of range (a month 13, a key 7, a BCD digit
// A..F, a data byte 1 other than 0x11) is not applied; the status frame is
// still sent and shows the values unchanged, which is how the link server
// learns that nothing changed.
//
// What it does not understand it ignores without an answer, as a centre on a
// noisy line must: an unknown code, a length that does not fit the code, a
// bad checksum, a record index above 414. After such a frame it resumes at the
// next ESC after the rejected frame's first byte, so a request that follows
// garbage (or hides inside it) is still found.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "CentreFault.h"
#include "CentreSettings.h"
#include "ChangeOfTime.h"
#include "Frame.h"
#include "TimeSource.h"

namespace kt64::sim {

// One answer for the line: the bytes and how long the centre waits before
// sending them (non-zero only under the "late" fault).
struct Answer {
    link::Bytes bytes;
    std::chrono::milliseconds delay{0};
};

// What the centre shows at one instant, for tests and the control channel.
struct CentreView {
    std::int64_t gmtSeconds = 0;    // whole seconds since 1970-01-01, GMT
    std::int64_t localSeconds = 0;  // the same count for the local clock's fields
    bool summer = false;
    int lineMinutes = 0;  // analogue line time, minutes after midnight
    int dayToSummer = 0;  // derived days of this year's changes
    int dayToWinter = 0;
    CentreSettings settings;  // current parameters (startGmt unset)
    Fault fault;
};

struct CentreCounters {
    std::uint64_t requests = 0;    // good frames received (answered or not)
    std::uint64_t answers = 0;     // answers handed to the line
    std::uint64_t rejected = 0;    // frames ignored: bad checksum, unknown code, length, index
    std::uint64_t lineCloses = 0;  // the PC closed the line: its half request and unsent answers dropped
};

class Centre {
public:
    Centre(const CentreSettings& settings, std::shared_ptr<const TimeSource> clock);

    // Bytes received from the line. Returns the answers to every request that
    // these bytes complete, in order, with the active fault applied.
    std::vector<Answer> receive(link::ByteSpan bytes);

    // A request that has begun but not ended. When the line has then been
    // quiet for a while (kQuietLine) the caller calls lineQuiet(): the centre
    // gives up the stale start, looks for requests in what followed it and
    // answers them, so a lone ESC cannot swallow the next request.
    static constexpr std::chrono::milliseconds kQuietLine{200};
    bool hasPartialRequest() const { return !pending_.empty(); }
    std::vector<Answer> lineQuiet();
    // The other end has closed the line: whatever part of a request came is
    // thrown away unread.
    void resetLine() {
        pending_.clear();
        ++counters_.lineCloses;
    }

    // The status frame as it would be sent now, without any fault.
    link::Bytes statusFrame() const;
    // The centre's GMT less the time source's UTC, in milliseconds: how far
    // the centre's clock stands from the PC's, sub-second part included.
    std::int64_t gmtCorrectionMs() const { return gmtCorrectionMs_; }
    CentreView view() const;
    CentreCounters counters() const { return counters_; }

    // Command list: exactly 2905 bytes; a shorter input is zero-filled, a
    // longer one cut.
    link::Bytes image() const;
    void setImage(link::ByteSpan bytes);

    Fault fault() const { return fault_; }
    void setFault(const Fault& fault) { fault_ = fault; }

    // Applies every parameter of the settings; GMT and the line time only
    // when given (startGmt, lineMinutes), the others always.
    void setSettings(const CentreSettings& settings);

    // Settings as the control channel and tests change them. Values are taken
    // as given (the centre's own parameter requests check theirs).
    void setGmt(TimePoint gmt);
    void setOffset(int minutes);
    void setChangeOn(bool on);
    void setChangeRules(const ChangeRule& toSummer, const ChangeRule& toWinter);
    void setLines(bool analogOn, bool digitalOn);
    void setLineTime(int minutesAfterMidnight);
    void setDigitalType(std::uint8_t type);
    void setType(std::uint8_t source, std::uint8_t relays, std::uint8_t interface);
    void setModel(std::uint8_t model);
    void setFirmware(std::uint8_t version);
    void setSerial(const std::array<std::uint8_t, 3>& serial);
    void setAlarms(const std::array<std::uint8_t, 3>& alarms);

private:
    std::int64_t nowMs() const;
    std::int64_t gmtMs() const;
    int lineSecondsNow() const;
    ChangeYear changes(std::int64_t gmtSeconds) const;
    void parse(std::vector<Answer>& out);
    void process(link::ByteSpan frame, std::vector<Answer>& out);
    link::Bytes apply(link::ByteSpan frame);
    void applyParameters(link::ByteSpan data);
    void applyFault(link::Bytes& answer, int recordIndex, std::chrono::milliseconds& delay);
    void useFault();

    std::shared_ptr<const TimeSource> clock_;
    CentreSettings params_;
    std::int64_t gmtCorrectionMs_ = 0;  // GMT = time source + correction
    int lineBaseSeconds_ = 0;           // line time when last set or switched
    std::int64_t lineAnchorMs_ = 0;     // time source then (counts while on)
    bool zeroOffsetSign_ = false;       // sign bit of a zero offset, echoed as set
    std::array<std::uint8_t, link::kImageSize> image_{};
    link::Bytes pending_;
    Fault fault_;
    CentreCounters counters_;
};

}  // namespace kt64::sim
