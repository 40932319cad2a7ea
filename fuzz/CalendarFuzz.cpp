// Calendar files on arbitrary text: a file is either refused whole, with
// the line it names inside the file, or read into date ranges that are
// whole (both ends, the first not after the last) and, where they hold in
// their own year only, touch the years asked for. Anything else traps.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "CalendarImport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kt64::program;
    constexpr int kFirstYear = 2025, kLastYear = 2027;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    int lines = 1;
    for (const char c : text) lines += c == '\n';
    try {
        for (const DateRow& row : readCalendar(text, "fuzz.ics", {kFirstYear, kLastYear}).ranges) {
            if (!row.from || !row.to || *row.to < *row.from) __builtin_trap();
            if (row.inItsYearOnly && (row.to->year < kFirstYear || row.from->year > kLastYear)) __builtin_trap();
        }
    } catch (const CalendarError& e) {
        if (e.line() < 0 || e.line() > lines || std::string_view(e.what()).empty()) __builtin_trap();
    }
    return 0;
}
