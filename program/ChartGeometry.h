// The switching chart's measures and texts that need no drawing, so the
// console only paints: bitmap width, the time of a column, the sample under
// a point, hour ticks and labels, the scroll range and steps, the mark a
// state word draws, and the information window's texts for a sample.
//
// Geometry (pixels): W = D * 1440 / R + 60 wide (D days 1..7, R minutes per
// pixel 1..20, integer arithmetic), a margin of 30 on each side; column x
// (30 <= x <= W - 30) stands for start + (x - 30) * R minutes. 1 day at
// 1 minute per pixel: W = 1500, the last column 1470 is the next midnight.
// Time scale 40 high; relay strips 80 high, shown at y = 42 and y = 124.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CivilTime.h"
#include "RelayEvaluation.h"

namespace kt64::program {

inline constexpr int kChartMargin = 30;
inline constexpr int kTimeScaleHeight = 40;
inline constexpr int kStripHeight = 80;
inline constexpr std::array<int, 2> kStripTop = {42, 124};

// The dialog's lists: index -> days, index -> minutes per pixel.
inline constexpr std::array<std::string_view, 7> kDayChoices = {"1 dzień", "2 dni", "3 dni", "4 dni",
                                                                "5 dni",   "6 dni", "7 dni"};
inline constexpr std::array<std::string_view, 8> kResolutionChoices = {"1 min", "2 min",  "3 min",  "4 min",
                                                                       "5 min", "10 min", "15 min", "20 min"};
inline constexpr std::array<int, 8> kResolutionMinutes = {1, 2, 3, 4, 5, 10, 15, 20};

struct Rgb {
    std::uint8_t red, green, blue;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Colour and information-window name of an operation code 0..6 (6: nothing
// in force, " --------"); other codes read as 6.
Rgb stateColour(std::uint32_t code);
std::string_view stateName(std::uint32_t code);

// The vertical line a state word draws in its strip: from y = 67 up to 35
// when the relay is on, to 62 when off; nothing for code 6.
struct RelayMark {
    Rgb colour;
    int bottom;
    int top;
};
std::optional<RelayMark> markFor(std::uint32_t stateWord);

struct HourTick {
    int x;
    int hour;                         // 0..23
    bool labelled;                    // the hour number is written
    std::optional<std::string> date;  // at midnight: "%.2d-%.2d-%.2d" (year - 2000, month, day)
};

enum class ScrollAction { LineLeft, LineRight, PageLeft, PageRight, Thumb, LeftEnd, RightEnd };

class ChartGeometry {
public:
    // days above 7 become 7, minutes per pixel above 20 become 20; values
    // below 1 become 1.
    ChartGeometry(CivilDate start, int days, int minutesPerPixel);

    int days() const { return days_; }
    int minutesPerPixel() const { return minutes_; }
    const CivilDate& start() const { return start_; }

    int width() const;
    int firstColumn() const { return kChartMargin; }
    int lastColumn() const { return width() - kChartMargin; }
    // Columns evaluated per relay: lastColumn() - firstColumn() + 1.
    int columnCount() const { return lastColumn() - firstColumn() + 1; }
    LocalSeconds columnTime(int x) const;

    // Sample number under a cursor line at x (chart control coordinates)
    // with the chart scrolled by offset; empty left of the first or right of
    // the last column.
    std::optional<int> sampleNumber(int lineX, int scrollOffset) const;
    LocalSeconds sampleTime(int n) const { return columnTime(n + kChartMargin); }

    // Hours are numbered every k-th hour: 1 for R <= 4, 2 for 5..9, 4 for
    // 10..19, 8 for R >= 20.
    int hourLabelStep() const;
    std::vector<HourTick> hourTicks() const;

    // Scroll range 0..M for a chart area clientWidth wide.
    int scrollRange(int clientWidth) const;
    // New scroll position: lines move 10 pixels, pages M / 20, clamped to 0..M.
    static int scroll(ScrollAction action, int position, int maximum, int thumb = 0);

private:
    CivilDate start_;
    int days_;
    int minutes_;
};

// The information window's fields for sample n of row (the time of the
// column it was taken at).
struct SampleInfo {
    std::string relay;  // "Przekaźnik:"  row + 1
    std::string time;   // "Data:"        "%d/%m/%Y %H:%M"
    std::string state;  // "Stan:"        the operation's name
    Rgb stateColour;
    std::string impulse;  // "Czas Impulsu:" "%d " + "m" or "s"
    std::string cycle;    // "Czas Cyklu:"
    std::string command;  // "LP Rozkazu:"  LP or "Brak"
    std::string block;    // "LP Bloku:"    Blok or "Brak"
    bool impulseShown;    // codes 2..5
    bool cycleShown;      // codes 4, 5
};
SampleInfo describeSample(const SampleRecord& sample, LocalSeconds time, int row);

}  // namespace kt64::program
