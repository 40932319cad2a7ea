// The switchings written out for other programs: CSV for spreadsheets (RFC
// 4180), JSON, and iCalendar (RFC 5545) for shared calendars. Times are the
// program's own civil time, written without a zone (iCalendar "floating"
// times), as the centre keeps them.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>

#include "Switchings.h"

namespace kt64::program {

class Database;

// A block's description by LP; "Blok N" for a block without one or missing.
using BlockNames = std::map<std::int64_t, std::string>;
BlockNames readBlockNames(Database& db);
std::string blockName(const BlockNames& names, std::int64_t block);

// Header "Przekaźnik,Początek,Koniec,Operacja,Rozkaz,Blok,Opis bloku,Opis
// rozkazu", one line per switching, CRLF line ends.
std::string switchingsCsv(std::span<const Switching> switchings, const BlockNames& names);
// An array of objects {"relay", "start", "end", "operation", "operationCode",
// "command", "block", "blockName", "description"}.
std::string switchingsJson(std::span<const Switching> switchings, const BlockNames& names);
// A VCALENDAR with one VEVENT per switching; stampUtc (seconds since 1970,
// UTC) is every event's DTSTAMP. An event is named by its command's
// description, when it has one, then by relay and operation:
// "Dzwonek – początek lekcji 1 (Przekaźnik 1: Impuls+)"; otherwise
// "Przekaźnik 1: Impuls+ (Blok 1)".
std::string switchingsIcs(std::span<const Switching> switchings, const BlockNames& names, std::int64_t stampUtc);

// One CSV field: quoted when it holds a comma, a quote or a line end; a
// text a spreadsheet would take for a formula (=, +, -, @ first) is
// prefixed with an apostrophe.
std::string csvField(std::string_view text);
// An iCalendar TEXT value (backslash, semicolon, comma and line ends
// escaped), and a content line folded at 75 octets, never inside a UTF-8
// letter, ended with CRLF.
std::string icsText(std::string_view text);
std::string icsLine(std::string_view line);

}  // namespace kt64::program
