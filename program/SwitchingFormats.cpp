// CSV, JSON and iCalendar texts of the switchings (see SwitchingFormats.h).
#include "SwitchingFormats.h"

#include <algorithm>

#include "ProgramRecords.h"
#include "ProgramTables.h"
#include "TextEscapes.h"
#include "TextFormat.h"

namespace kt64::program {

namespace {

std::string operationName(std::int32_t code) {
    return code >= 0 && code < static_cast<std::int32_t>(kOperationNames.size())
               ? std::string(kOperationNames[static_cast<std::size_t>(code)])
               : formatText("%d", code);
}

std::string stamp(LocalSeconds t, const char* format) {
    const CivilDate d = dateOf(t);
    const TimeOfDay c = timeOf(t);
    return formatText(format, d.year, d.month, d.day, c.hour, c.minute, c.second);
}

}  // namespace

BlockNames readBlockNames(Database& db) {
    BlockNames names;
    for (const auto& b : readBlocks(db)) names[b.id] = b.description;
    return names;
}

std::string blockName(const BlockNames& names, std::int64_t block) {
    const auto it = names.find(block);
    if (it == names.end() || it->second.empty()) return formatText("Blok %lld", static_cast<long long>(block));
    return it->second;
}

std::string csvField(std::string_view text) {
    std::string value(text);
    if (!value.empty() && (value[0] == '=' || value[0] == '+' || value[0] == '-' || value[0] == '@'))
        value.insert(0, 1, '\'');
    if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
    std::string out = "\"";
    for (const char c : value) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string icsText(std::string_view text) {
    std::string out;
    const std::string valid = cli::validUtf8(text);
    for (std::size_t i = 0; i < valid.size(); ++i) {
        const char c = valid[i];
        if (c == '\\' || c == ';' || c == ',') {
            out += '\\';
            out += c;
        } else if (c == '\r') {
            out += "\\n";
            if (i + 1 < valid.size() && valid[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += "\\n";
        } else if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) {
            out += c;
        }
    }
    return out;
}

std::string icsLine(std::string_view line) {
    // 75 octets on the first line; a continuation starts with a space, so
    // it carries 74 octets of the value.
    std::string out;
    std::size_t room = 75;
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t n = std::max<std::size_t>(1, cli::utf8SequenceLength(line, i));
        if (n > room) {
            out += "\r\n ";
            room = 74;
        }
        out.append(line.substr(i, n));
        room -= std::min(n, room);
        i += n;
    }
    return out + "\r\n";
}

std::string switchingsCsv(std::span<const Switching> switchings, const BlockNames& names) {
    std::string out = "Przekaźnik,Początek,Koniec,Operacja,Rozkaz,Blok,Opis bloku,Opis rozkazu\r\n";
    for (const auto& s : switchings) {
        out += formatText("%d,", s.relay) + stamp(s.start, "%04d-%02d-%02d %02d:%02d:%02d") + "," +
               stamp(s.end, "%04d-%02d-%02d %02d:%02d:%02d") + "," + csvField(operationName(s.operation)) +
               formatText(",%d,%d,", s.command, s.block) + csvField(blockName(names, s.block)) + "," +
               csvField(s.description) + "\r\n";
    }
    return out;
}

std::string switchingsJson(std::span<const Switching> switchings, const BlockNames& names) {
    std::string out = "[";
    const char* separator = "\n";
    for (const auto& s : switchings) {
        out += separator;
        separator = ",\n";
        out += formatText("  {\"relay\": %d, \"start\": ", s.relay) +
               cli::jsonString(stamp(s.start, "%04d-%02d-%02dT%02d:%02d:%02d")) +
               ", \"end\": " + cli::jsonString(stamp(s.end, "%04d-%02d-%02dT%02d:%02d:%02d")) +
               ", \"operation\": " + cli::jsonString(operationName(s.operation)) +
               formatText(", \"operationCode\": %d, \"command\": %d, \"block\": %d, \"blockName\": ", s.operation,
                          s.command, s.block) +
               cli::jsonString(blockName(names, s.block)) + ", \"description\": " + cli::jsonString(s.description) +
               "}";
    }
    return out + "\n]\n";
}

std::string switchingsIcs(std::span<const Switching> switchings, const BlockNames& names, std::int64_t stampUtc) {
    const std::string dtstamp = stamp(stampUtc, "%04d%02d%02dT%02d%02d%02dZ");
    std::string out = icsLine("BEGIN:VCALENDAR") + icsLine("VERSION:2.0") + icsLine("PRODID:-//KT-64//kt64prog//PL") +
                      icsLine("CALSCALE:GREGORIAN");
    for (const auto& s : switchings) {
        const std::string start = stamp(s.start, "%04d%02d%02dT%02d%02d%02d");
        const std::string name = blockName(names, s.block);
        out += icsLine("BEGIN:VEVENT");
        out += icsLine(formatText("UID:kt64-%d-%s-%d@kt64prog", s.relay, start.c_str(), s.command));
        out += icsLine("DTSTAMP:" + dtstamp);
        out += icsLine("DTSTART:" + start);
        out += icsLine("DTEND:" + stamp(s.end, "%04d%02d%02dT%02d%02d%02d"));
        // The command's own name first, when it has one.
        const std::string what = formatText("Przekaźnik %d: ", s.relay) + operationName(s.operation);
        out += icsLine("SUMMARY:" +
                       icsText(s.description.empty() ? what + " (" + name + ")" : s.description + " (" + what + ")"));
        out += icsLine("DESCRIPTION:" + icsText(formatText("Rozkaz %d, blok %d: ", s.command, s.block) + name));
        out += icsLine("TRANSP:TRANSPARENT");
        out += icsLine("END:VEVENT");
    }
    return out + icsLine("END:VCALENDAR");
}

}  // namespace kt64::program
