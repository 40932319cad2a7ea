// How kt64ctl writes and reads the centre's values as text: dates and times
// (DATE, days since 30 December 1899), the local offset (days, shown as
// +HH:MM), change dates (day and month of 1900 with a one-digit hour), the
// enumerations with their names and help texts, and JSON strings.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "OleDate.h"
#include "TextEscapes.h"

namespace kt64::ctl {

// "2024-05-17 12:34:56"; "invalid date" for a DATE outside years 100..9999.
std::string formatDateTime(DATE date);
// "2024-05-17T12:34:56" (JSON), "" when invalid.
std::string formatIsoDateTime(DATE date);
// "08:30:00".
std::string formatTimeOfDay(DATE date);
// "25.03 02:00".
std::string formatChangeDate(DATE date);
// "+01:00", "-05:30" (rounded to the minute).
std::string formatOffset(double days);
// "0x80040201".
std::string formatHresult(std::int32_t hr);

// "2024-05-17 12:34:56", "2024-05-17T12:34:56", seconds optional.
std::optional<DATE> parseDateTime(std::string_view text);
// "08:30" or "08:30:15" on 1 January 1900.
std::optional<DATE> parseTimeOfDay(std::string_view text);
// Hours as "+1", "-5.5", "2", "+05:45", "-3:30"; strictly inside ±24 h.
// Returns days.
std::optional<double> parseOffset(std::string_view text);
// "DD.MM" and a one-digit hour 0..9: the change date on year 1900.
std::optional<DATE> parseChangeDate(std::string_view dayMonth, std::string_view hour);

// The GMT time now from the PC's clock, in whole seconds (the centre keeps
// no fractions).
DATE dateFromSystemClock(std::chrono::system_clock::time_point now);

// Which Sunday: "last" or "0" → 0, "1".."4" → 1..4 (EKeyChg values).
std::optional<std::uint32_t> parseKeyChg(std::string_view text);
// Telegram type: GGMM, GGMMSS, GGMMSSDDMMYY (any case, D_ prefix allowed)
// or the values 0, 17, 34.
std::optional<std::uint32_t> parseDigLine(std::string_view text);

struct EnumText {
    std::uint32_t value;
    std::string_view name;  // e.g. "A_SET"
    std::string_view help;  // the type library's help text
};

// The named entries whose bits are set in mask (FAlarm / FSet), and the
// entry of one value (EKeyChg / EDigLine; nullptr when unnamed).
std::vector<EnumText> alarmBits(std::uint32_t mask);
std::vector<EnumText> setBits(std::uint32_t mask);
const EnumText* keyChgText(std::uint32_t value);
const EnumText* digLineText(std::uint32_t value);

// A JSON string literal with quotes.
using cli::jsonString;

}  // namespace kt64::ctl
