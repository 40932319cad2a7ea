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
};

// Blocks in force on day, in the order found: block 1 with priority 0 to
// start with; an applying range of the same priority adds its block, of a
// higher one replaces the list with its block. A range applies when DataOd
// <= day <= DataDo, compared with years when Roczny is yes and within the
// year 2000 (month and day) when it is no, so a range without year whose
// end lies before its start (20 December .. 6 January) applies on no day.
std::vector<std::int64_t> blocksInForce(std::span<const DatedBlock> rows, const CivilDate& day);

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
// selected and a cursor is put on the first of them. At each sample the
// cursor moves forward by one command unless it is past the last, and back
// by one when that command is later than the sample's minute: it thus rests
// on the last command not later than the sample, moving at most one command
// per sample. Past the last command the cursor reads the last command, so
// the command in force stays in force until the next day's selection. The
// cursor's command is taken as the command in force unless its weekday bit
// is clear for the day or it is later than the sample.
//
// An impulse or a cycle runs from the moment its command was taken: that
// command's own time on the day it was taken, as the centre starts it. A
// command that is not taken (another weekday) changes nothing, so an
// impulse taken on Friday does not show again on Saturday, and an impulse
// that runs past midnight ends on the next day. A cycle starts its phase
// afresh whenever a command is taken anew.
class RowEvaluation {
public:
    RowEvaluation(DayCommandSource& source, int row);

    std::uint32_t evaluate(LocalSeconds t);
    const std::vector<SampleRecord>& samples() const { return samples_; }
    std::vector<SampleRecord> takeSamples() { return std::move(samples_); }

private:
    const CommandRow& cursorRow() const { return day_[cursor_ < day_.size() ? cursor_ : day_.size() - 1]; }
    static int minuteOfDay(const CommandRow& c) { return c.time->hour * 3600 + c.time->minute * 60; }
    void take(const CommandRow& c, LocalSeconds at);
    void applyOperation(LocalSeconds sampleMinute, std::int64_t elapsed);

    DayCommandSource& source_;
    int row_;
    std::vector<CommandRow> day_;
    std::size_t cursor_ = 0;  // day_.size() = past the last command
    std::optional<LocalSeconds> previous_;
    CivilDate previousDate_;
    std::uint32_t state_ = kNothingInForce;
    CommandRow inForce_;
    std::int64_t cyclePhase_ = 0;  // seconds
    LocalSeconds takenAt_ = 0;     // Tc: the command in force's minute on the day it was taken
    std::vector<SampleRecord> samples_;
};

}  // namespace kt64::program
