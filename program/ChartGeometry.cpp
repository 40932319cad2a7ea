// Chart measures, marks and sample texts (see ChartGeometry.h).
#include "ChartGeometry.h"

#include <algorithm>

#include "TextFormat.h"

namespace kt64::program {

namespace {

constexpr std::array<Rgb, 7> kColours = {{
    {200, 200, 200},  // 0 grey
    {252, 92, 92},    // 1 red
    {29, 218, 57},    // 2 green
    {242, 232, 26},   // 3 yellow
    {116, 195, 242},  // 4 light blue
    {246, 198, 179},  // 5 peach
    {255, 255, 255},  // 6 white
}};
constexpr std::array<std::string_view, 7> kNames = {"Wyłączony", "Załączony", "Impuls+",  "Impuls-",
                                                    "Cykl+",     "Cykl-",     " --------"};

std::size_t codeIndex(std::uint32_t code) { return code <= 6 ? code : 6; }

std::string length(std::int32_t value, bool minutes) { return formatText("%d ", value) + (minutes ? "m" : "s"); }

std::string idOrNone(std::int32_t id) { return id == 0 ? std::string("Brak") : formatText("%d", id); }

}  // namespace

Rgb stateColour(std::uint32_t code) { return kColours[codeIndex(code)]; }

std::string_view stateName(std::uint32_t code) { return kNames[codeIndex(code)]; }

std::optional<RelayMark> markFor(std::uint32_t stateWord) {
    const std::uint32_t code = stateWord & kOperationMask;
    if (codeIndex(code) == kNothingInForce) return std::nullopt;
    const bool on = (stateWord & kRelayOnBit) != 0;
    return RelayMark{stateColour(code), 67, on ? 35 : 62};
}

ChartGeometry::ChartGeometry(CivilDate start, int days, int minutesPerPixel)
    : start_(start), days_(std::clamp(days, 1, 7)), minutes_(std::clamp(minutesPerPixel, 1, 20)) {}

int ChartGeometry::width() const { return days_ * 1440 / minutes_ + 2 * kChartMargin; }

LocalSeconds ChartGeometry::columnTime(int x) const {
    return localSeconds(start_) + static_cast<LocalSeconds>(x - kChartMargin) * minutes_ * 60;
}

std::optional<int> ChartGeometry::sampleNumber(int lineX, int scrollOffset) const {
    const int n = lineX + scrollOffset - kChartMargin;
    if (n < 0 || n + kChartMargin > lastColumn()) return std::nullopt;
    return n;
}

int ChartGeometry::hourLabelStep() const {
    if (minutes_ <= 4) return 1;
    if (minutes_ <= 9) return 2;
    if (minutes_ <= 19) return 4;
    return 8;
}

std::vector<HourTick> ChartGeometry::hourTicks() const {
    std::vector<HourTick> ticks;
    const int step = hourLabelStep();
    for (int h = 0;; ++h) {
        const int x = kChartMargin + h * 60 / minutes_;
        if (x > lastColumn()) break;
        HourTick tick{x, h % 24, (h % 24) % step == 0, std::nullopt};
        if (h % 24 == 0) {
            const CivilDate d = dateFromDayNumber(dayNumber(start_) + h / 24);
            tick.date = formatText("%.2d-%.2d-%.2d", d.year - 2000, d.month, d.day);
        }
        ticks.push_back(std::move(tick));
    }
    return ticks;
}

int ChartGeometry::scrollRange(int clientWidth) const {
    return std::max(0, days_ * 1440 / minutes_ - clientWidth + 2 * kChartMargin);
}

int ChartGeometry::scroll(ScrollAction action, int position, int maximum, int thumb) {
    int next = position;
    switch (action) {
    case ScrollAction::LineLeft:
        next = position - 10;
        break;
    case ScrollAction::LineRight:
        next = position + 10;
        break;
    case ScrollAction::PageLeft:
        next = position - maximum / 20;
        break;
    case ScrollAction::PageRight:
        next = position + maximum / 20;
        break;
    case ScrollAction::Thumb:
        next = thumb;
        break;
    case ScrollAction::LeftEnd:
        next = 0;
        break;
    case ScrollAction::RightEnd:
        next = maximum;
        break;
    }
    return std::clamp(next, 0, std::max(0, maximum));
}

SampleInfo describeSample(const SampleRecord& sample, LocalSeconds time, int row) {
    const auto code = static_cast<std::uint32_t>(sample.operation);
    const CivilDate d = dateOf(time);
    const TimeOfDay t = timeOf(time);
    SampleInfo info;
    info.relay = formatText("%d", row + 1);
    info.time = formatText("%02d/%02d/%04d %02d:%02d", d.day, d.month, d.year, t.hour, t.minute);
    info.state = std::string(stateName(code));
    info.stateColour = stateColour(code);
    info.impulse = length(sample.impulse, sample.impulseInMinutes());
    info.cycle = length(sample.cycle, sample.cycleInMinutes());
    info.command = idOrNone(sample.id);
    info.block = idOrNone(sample.block);
    info.impulseShown = code >= 2 && code <= 5;
    info.cycleShown = code == 4 || code == 5;
    return info;
}

}  // namespace kt64::program
