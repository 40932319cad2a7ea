// What a relay program means over time, for one relay: which blocks are in
// force on a day, which command is in force at a moment, and what state
// each operation gives the relay. Pure logic over rows; where the rows come
// from is a DayCommandSource (ProgramEvaluator.h reads them from the
// program file).
//
// State word (what every evaluation returns): the operation code in force
// in bits 0..27 (6 = nothing in force yet), bit 28 set while the relay is on.
// "Załączony" in force with the relay on: 0x10000001.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "CivilTime.h"
#include "ProgramRecords.h"

namespace kt64::program {

inline constexpr std::uint32_t kRelayOnBit = 1u << 28;
inline constexpr std::uint32_t kOperationMask = kRelayOnBit - 1;

// One row of "SELECT Priorytet,DataOd,DataDo,Roczny,NrBloku FROM Daty,Bloki
// WHERE Bloki.LP=NrBloku".
struct DatedBlock {
    std::int64_t priority = 0;
    std::optional<CivilDate> from;
    std::optional<CivilDate> to;
    bool inItsYearOnly = false;
    std::int64_t block = 0;
    std::string description;  // Daty.Opis, where it was read
};

// Blocks in force on day, in the order found: block 1 with priority 0 to
// start with; an applying range of the same priority adds its block, of a
// higher one replaces the list with its block. A range applies when DataOd
// <= day <= DataDo, compared with years when Roczny is yes and within the
// year 2000 (month and day) when it is no, so a range without year whose
// end lies before its start (20 December .. 6 January) applies on no day.
std::vector<std::int64_t> blocksInForce(std::span<const DatedBlock> rows, const CivilDate& day);
// The rows that put their blocks in force on day by that rule: the
// applying ones of the highest priority, in the order found (priority 0
// ones join block 1); none when block 1 alone is in force.
std::vector<const DatedBlock*> rangesInForce(std::span<const DatedBlock> rows, const CivilDate& day);

// Whether a range applies on no day by that rule: a date is missing, or its
// end lies before its start (within the year for a range without year, as
// 1 September .. 30 June).
bool rangeNeverApplies(const std::optional<CivilDate>& from, const std::optional<CivilDate>& to, bool yearBound);

// What the chart's information window shows of a sample: the command in
// force there. unitFlags: byte 0 = CzasCyklMS, byte 1 = CzasImpMS.
struct SampleRecord {
    std::int32_t operation = kNothingInForce;
    std::int32_t impulse = 0;
    std::int32_t cycle = 0;
    std::uint32_t unitFlags = 0;
    std::int32_t id = 0;
    std::int32_t block = 0;

    bool cycleInMinutes() const { return (unitFlags & 0xFF) != 0; }
    bool impulseInMinutes() const { return (unitFlags & 0xFF00) != 0; }
    friend bool operator==(const SampleRecord&, const SampleRecord&) = default;
};

// The commands of relay row + 1 in the blocks in force on day, ordered by
// CzasRozk (equal times by LP), each with a valid time.
class DayCommandSource {
public:
    virtual ~DayCommandSource() = default;
    virtual std::vector<CommandRow> commandsFor(const CivilDate& day, int row) = 0;
};

// The evaluation of one relay row, sample by sample in increasing time.
//
// At the first sample and whenever the day changes, the day's commands are
// selected. At each sample every command whose minute has come since the
// previous sample is looked at, in time order, as the centre runs every
// command whose minute has come: each one whose weekday bit is set for its
// day is taken, and the last one taken is in force. Commands of other
// weekdays at the same minute thus neither hide nor delay it. Commands of
// the previous day still due when the day changes (a chart sampled every
// 20 minutes passes 23:50 on its way to midnight) are looked at for that
// day before the new day's are selected. The command in force stays in
// force until another is taken, across days.
//
// An impulse or a cycle runs from its own minute on the day it was taken,
// as the centre starts it, whenever the sample that takes it falls. A
// command that is not taken (another weekday) changes nothing, so an
// impulse taken on Friday does not show again on Saturday, and an impulse
// that runs past midnight ends on the next day. A cycle starts its phase
// afresh whenever a command is taken, the same cycle on the next day too.
class RowEvaluation {
public:
    RowEvaluation(DayCommandSource& source, int row);

    std::uint32_t evaluate(LocalSeconds t);
    const std::vector<SampleRecord>& samples() const { return samples_; }
    // The command in force after the last evaluation (operation 6 before
    // any), with its description.
    const CommandRow& inForce() const { return inForce_; }
    std::vector<SampleRecord> takeSamples() { return std::move(samples_); }

private:
    static int minuteOfDay(const CommandRow& c) { return c.time->hour * 3600 + c.time->minute * 60; }
    // Takes, in order, the day's commands not looked at yet whose minute
    // is not later than upTo (seconds of the day) and that apply on date;
    // midnight starts that date.
    void takeDue(const CivilDate& date, LocalSeconds midnight, int upTo);
    void take(const CommandRow& c, LocalSeconds at);
    void applyOperation(LocalSeconds sampleMinute, std::int64_t elapsed);

    DayCommandSource& source_;
    int row_;
    std::vector<CommandRow> day_;
    std::size_t next_ = 0;  // the first of day_ not looked at yet
    std::optional<LocalSeconds> previous_;
    CivilDate previousDate_;
    std::uint32_t state_ = kNothingInForce;
    CommandRow inForce_;
    std::int64_t cyclePhase_ = 0;  // seconds
    LocalSeconds takenAt_ = 0;     // the command in force's minute on the day it was taken
    std::vector<SampleRecord> samples_;
};

}  // namespace kt64::program
