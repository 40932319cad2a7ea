// OLE automation dates (DATE): the double that carries every date and time
// between the link server, its clients and the registry.
//
// A DATE counts days since 30 December 1899 00:00; its fraction is the time
// of day. Before that day the fraction still counts forward from midnight, so
// -1.25 is 29 December 1899 06:00 (the whole part gives the day, the absolute
// fraction the time). The two conversions keep the rules of the Windows pair
// SystemTimeToVariantTime / VariantTimeToSystemTime: years 100 to 9999 only,
// milliseconds ignored on the way in, time rounded to the nearest whole
// second on the way out.
#pragma once

#include <cstdint>
#include <optional>

namespace kt64 {

using DATE = double;

// Calendar fields of a moment, as the SYSTEMTIME structure holds them.
struct SystemTime {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;  // ignored by toVariantTime, 0 from fromVariantTime
    int dayOfWeek = 0;    // 0 = Sunday; set by fromVariantTime, ignored on input

    friend bool operator==(const SystemTime&, const SystemTime&) = default;
};

// SystemTimeToVariantTime. Fails (nullopt) for a month outside 1..12, a day
// outside 1..31, a negative time field, or a year outside 100..9999. A day
// past the end of its month and hours, minutes or seconds past their range
// roll over into the next field, as the Windows conversion does.
std::optional<DATE> toVariantTime(const SystemTime& st);

// VariantTimeToSystemTime. Fails for a DATE outside year 100..9999 and for
// NaN or infinity.
std::optional<SystemTime> fromVariantTime(DATE date);

// Convenience for the common case of whole fields.
std::optional<DATE> makeDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

}  // namespace kt64
