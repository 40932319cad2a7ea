// The picture of the help dialog "Filtr zezwolenia synchronizacji": where on
// the PC clock's time axis "t" the deviation window lets a synchronisation
// happen ("Z"), for its three cases, laid out in fixed logical coordinates
// (kPictureWidth x kPictureHeight) that the dialog scales to its size. Tests
// read the geometry without painting.
#pragma once

#include <string_view>
#include <vector>

namespace kt64::console {

inline constexpr int kPictureWidth = 600;
inline constexpr int kPictureHeight = 330;

inline constexpr std::string_view kHelpTitle = "Filtr zezwolenia synchronizacji";
inline constexpr std::string_view kLegendNoWindow = "Od=Do=0 - synchronizacja następuje bez uwzględniania odchyleń";
inline constexpr std::string_view kLegendAxis = "t - czas komputera";
inline constexpr std::string_view kLegendZone = "Z - zezwolenie synchronizacji";

enum class WindowCase { BothBounds, OdZero, DoZero };

// A span of the axis in bound units: -Do, -Od, 0, +Od, +Do are -2, -1, 0,
// 1, 2; an open end reaches the arrow (-3 or +3).
struct ZoneSpan {
    int from;
    int to;
    bool operator==(const ZoneSpan&) const = default;
};

// With both bounds: -Do..-Od and +Od..+Do; with Od = 0: -Do..+Do; with
// Do = 0: below -Od and above +Od.
std::vector<ZoneSpan> permitZones(WindowCase c);

// The marks written under an axis, at the bound units they stand for.
struct AxisMark {
    int at;
    std::string_view text;
};
std::vector<AxisMark> axisMarks(WindowCase c);

// The caption of each row ("Od i Do ustawione", ...).
std::string_view caseCaption(WindowCase c);

// Logical geometry of one row: the axis line's y, its x from and to, and the
// x of a bound unit.
struct RowGeometry {
    int axisY;
    int left;
    int right;
    int xOf(int unit) const { return (left + right) / 2 + unit * (right - left) / 7; }
};
RowGeometry rowGeometry(int row);
// The y of the first legend line; the lines are kLegendLineStep apart.
inline constexpr int kLegendTop = 255;
inline constexpr int kLegendLineStep = 22;

}  // namespace kt64::console
