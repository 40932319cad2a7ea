// The edit dialogs' rules that need no window: the command dialog's
// impulse and cycle rules, its weekday bars and the minutes added to a
// command time, the ordering of a date range, the numbers typed into the
// dialogs' integer fields, and the operator's presets ("TimDod") kept in
// the typed registry.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CivilTime.h"
#include "NewYearSplit.h"
#include "ProgramRecords.h"
#include "UserMessages.h"

namespace kt64::console {

// Impulse and cycle lengths with their units (true = minutes).
struct CommandTiming {
    int impulse = 1;
    bool impulseMinutes = false;
    int cycle = 2;
    bool cycleMinutes = false;
    friend bool operator==(const CommandTiming&, const CommandTiming&) = default;
};

// "Impuls +" and "Impuls -": the cycle length is not used and stored as 99.
bool isImpulseOperation(int operation);

// Run when the impulse length or unit changed (or a preset set it), and
// when the cycle length or unit changed. Both keep the lengths within
// 1..99, the impulse shorter than the cycle when the units are equal, and
// an impulse never in minutes while the cycle is in seconds.
CommandTiming impulseRule(CommandTiming t, bool impulseOperation);
CommandTiming cycleRule(CommandTiming t, bool impulseOperation);

// Which groups the operation enables: "Impuls +/-" the impulse group, "Cykl
// +/-" both, "Wyłącz"/"Załącz" neither.
struct GroupEnabling {
    bool impulse;
    bool cycle;
};
GroupEnabling groupsFor(int operation);

// A weekday bar: when any day of the group is set, the group is cleared,
// otherwise set. Masks: bit 0 Monday ... bit 6 Sunday.
inline constexpr int kBarWorkdays = 0x1F;   // 1136
inline constexpr int kBarWeekend = 0x60;    // 1126
inline constexpr int kBarWholeWeek = 0x7F;  // 1153
int toggleWeekdayBar(int weekdays, int group);

// Hour and minute plus a number of minutes (negative subtracts), wrapping
// past midnight: 23:50 + 15 = 0:05.
struct HourMinute {
    int hour;
    int minute;
    friend bool operator==(const HourMinute&, const HourMinute&) = default;
};
HourMinute addMinutes(HourMinute time, int minutes);

// The command time as stored: an hour above 23 is taken as 23, a minute
// above 59 as 59.
HourMinute storedTime(int hour, int minute);

// A whole number typed into an integer field ("12", " -3 "); empty for
// anything else.
std::optional<int> parseInteger(std::string_view text);
// The standard data-exchange messages.
std::string integerMessage();
std::string rangeMessage(int low, int high);

// A date range kept ordered while the operator picks: moving the start past
// the end moves the end with it, and moving the end before the start moves
// the start. Invalid dates are left alone.
struct DateRange {
    std::optional<program::CivilDate> from;
    std::optional<program::CivilDate> to;
};
DateRange startChanged(DateRange range);
DateRange endChanged(DateRange range);

// A range without year whose end lies before its start in the year (1
// September .. 30 June, the school year) applies on no day. Before storing
// one, the date dialog asks newYearQuestion; Yes stores the two ranges of
// splitAtNewYear (start .. 31 December, 1 January .. end), No the range as
// it is, Cancel goes back to the dialog. kt64prog add-date shares the rule.
using program::endsBeforeItStarts;
using program::newYearQuestion;
using program::splitAtNewYear;

// The operator's presets: eight minute steps (1..255) and six impulse
// lengths (1..99), stored as the 14 bytes of "TimDod".
struct Presets {
    std::array<int, 8> minutes;
    std::array<int, 6> impulses;
    friend bool operator==(const Presets&, const Presets&) = default;
};
Presets defaultPresets();

// Reads "TimDod" from Software\Ardonis\Kt64Prog (creating the key when it is
// missing); a value that is missing, not binary or not exactly 14 bytes
// gives the default, which is written back. When the key can be neither
// opened nor created, shows "Nie mogę otworzyć rejestru" and gives the
// default without storing it.
Presets readPresets(program::UserMessages& messages);
// false (after the same message) when the key cannot be opened.
bool writePresets(const Presets& presets, program::UserMessages& messages);

// The console's registry key.
inline constexpr std::string_view kProgramKey = "Software\\Ardonis\\Kt64Prog";
inline constexpr std::string_view kRegistryOpenFailed = "Nie mogę otworzyć rejestru";
// The caption of every registry failure box of the schedule.
inline constexpr std::string_view kRegistryFailedCaption = "Błąd";

}  // namespace kt64::console

namespace kt64::console {

// The chart dialog's choices: DlugGraf (days index 0..6) and RozdzGraf
// (resolution index 0..7) under Software\Ardonis\Kt64Prog.
struct ChartChoice {
    int daysIndex = 0;
    int resolutionIndex = 0;
    friend bool operator==(const ChartChoice&, const ChartChoice&) = default;
};
// Missing values are written as 0; stored indexes outside the lists read
// as 0. When the key can be neither opened nor created: "Nie mogę otworzyć
// rejestru" and 0, 0.
ChartChoice readChartChoice(program::UserMessages& messages);
// false after "Błąd otwarcia rejestru" when the key cannot be opened.
bool writeChartChoice(const ChartChoice& choice, program::UserMessages& messages);
inline constexpr std::string_view kRegistryWriteFailed = "Błąd otwarcia rejestru";

}  // namespace kt64::console
