// The edit dialogs' window-free rules (see ScheduleRules.h).
#include "ScheduleRules.h"

#include <algorithm>
#include <charconv>

#include "Registry.h"
#include "RelayEvaluation.h"

namespace kt64::console {

namespace {

constexpr std::string_view kPresetValue = "TimDod";
constexpr std::size_t kPresetBytes = 14;

// Step 3 of the impulse rule, which the cycle rule shares.
void clampImpulse(CommandTiming& t, bool impulseOperation) {
    if (impulseOperation || t.impulseMinutes != t.cycleMinutes) {
        if (t.impulse >= 100) t.impulse = 99;
    } else if (t.impulse > 98) {
        t.impulse = 98;
    }
}

// The cycle follows an impulse that reaches it.
void cycleAfterImpulse(CommandTiming& t) {
    if (t.impulse + 1 >= t.cycle && t.impulseMinutes == t.cycleMinutes) {
        t.cycle = t.impulse + 1;
    } else if (t.impulse >= 60 && !t.impulseMinutes && t.cycleMinutes && t.cycle == 1) {
        t.cycle = 2;
    }
}

// The impulse gives way to a cycle that came down to it.
void impulseAfterCycle(CommandTiming& t) {
    if (t.impulse >= t.cycle && t.impulseMinutes == t.cycleMinutes) {
        t.impulse = t.cycle - 1;
    } else if (t.cycle == 1 && t.cycleMinutes && t.impulse >= 60 && !t.impulseMinutes) {
        t.impulse = 59;
    }
}

std::optional<reg::Key> openProgramKey(program::UserMessages& messages) {
    try {
        if (auto key = reg::Key::open(reg::Hive::LocalMachine, kProgramKey)) return key;
        return reg::Key::create(reg::Hive::LocalMachine, kProgramKey);
    } catch (const reg::RegistryError& e) {
        messages.showCaptioned(kRegistryFailedCaption, std::string(kRegistryOpenFailed) + "\n" + e.what(),
                               program::MessageIcon::Stop);
        return std::nullopt;
    }
}

std::array<std::uint8_t, kPresetBytes> bytesOf(const Presets& p) {
    std::array<std::uint8_t, kPresetBytes> bytes{};
    for (std::size_t i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(p.minutes[i]);
    for (std::size_t i = 0; i < 6; ++i) bytes[8 + i] = static_cast<std::uint8_t>(p.impulses[i]);
    return bytes;
}

}  // namespace

bool isImpulseOperation(int operation) { return operation == 2 || operation == 3; }

CommandTiming impulseRule(CommandTiming t, bool impulseOperation) {
    if (t.cycle >= 100) t.cycle = 99;
    clampImpulse(t, impulseOperation);
    cycleAfterImpulse(t);
    if (impulseOperation) t.cycle = 99;
    if (!t.cycleMinutes && t.impulseMinutes) {
        t.cycleMinutes = true;
        // The cycle now counts in the impulse's unit: it must still be the
        // longer one (5 min against a cycle of 3 s made 3 min otherwise).
        cycleAfterImpulse(t);
        if (t.cycle >= 100) {
            t.cycle = 99;
            t.impulse = 98;
        }
        if (impulseOperation) t.cycle = 99;
    }
    return t;
}

CommandTiming cycleRule(CommandTiming t, bool impulseOperation) {
    if (t.cycle >= 100) t.cycle = 99;
    clampImpulse(t, impulseOperation);
    const bool sameUnits = t.impulseMinutes == t.cycleMinutes;
    if (sameUnits && t.cycle < 2) t.cycle = 2;
    if (!sameUnits && t.cycle < 1) t.cycle = 1;
    if (t.impulse <= 0) t.impulse = 1;
    impulseAfterCycle(t);
    if (t.impulseMinutes && !t.cycleMinutes) {
        t.impulseMinutes = false;
        // The impulse now counts in seconds like the cycle: keep it the
        // shorter one (5 s against a cycle of 3 s otherwise).
        if (t.cycle < 2) t.cycle = 2;
        impulseAfterCycle(t);
    }
    if (impulseOperation) t.cycle = 99;
    return t;
}

GroupEnabling groupsFor(int operation) {
    switch (operation) {
    case 2:
    case 3:
        return {true, false};
    case 4:
    case 5:
        return {true, true};
    default:
        return {false, false};
    }
}

int toggleWeekdayBar(int weekdays, int group) {
    return (weekdays & group) != 0 ? (weekdays & ~group) : (weekdays | group);
}

HourMinute addMinutes(HourMinute time, int minutes) {
    const HourMinute start = storedTime(time.hour < 0 ? 0 : time.hour, time.minute < 0 ? 0 : time.minute);
    long total = (start.hour * 60L + start.minute + minutes) % 1440;
    if (total < 0) total += 1440;
    return {static_cast<int>(total / 60), static_cast<int>(total % 60)};
}

HourMinute storedTime(int hour, int minute) { return {hour > 23 ? 23 : hour, minute > 59 ? 59 : minute}; }

std::optional<int> parseInteger(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string integerMessage() { return "Please enter an integer."; }

std::string rangeMessage(int low, int high) {
    return "Please enter an integer between " + std::to_string(low) + " and " + std::to_string(high) + ".";
}

DateRange startChanged(DateRange range) {
    if (range.from && range.to && program::isValid(*range.from) && program::isValid(*range.to) &&
        *range.from > *range.to)
        range.to = range.from;
    return range;
}

DateRange endChanged(DateRange range) {
    if (range.from && range.to && program::isValid(*range.from) && program::isValid(*range.to) &&
        *range.to < *range.from)
        range.from = range.to;
    return range;
}

Presets defaultPresets() { return Presets{{45, 10, 15, 30, 30, 5, 10, 15}, {1, 2, 5, 10, 15, 20}}; }

Presets readPresets(program::UserMessages& messages) {
    auto key = openProgramKey(messages);
    if (!key) return defaultPresets();
    try {
        const auto value = key->query(kPresetValue);
        if (value && value->type == reg::ValueType::Binary && value->data.size() == kPresetBytes) {
            Presets p{};
            for (std::size_t i = 0; i < 8; ++i) p.minutes[i] = value->data[i];
            for (std::size_t i = 0; i < 6; ++i) p.impulses[i] = value->data[8 + i];
            return p;
        }
        const Presets fallback = defaultPresets();
        key->setBinary(kPresetValue, bytesOf(fallback));
        return fallback;
    } catch (const reg::RegistryError& e) {
        messages.showCaptioned(kRegistryFailedCaption, std::string(kRegistryOpenFailed) + "\n" + e.what(),
                               program::MessageIcon::Stop);
        return defaultPresets();
    }
}

bool writePresets(const Presets& presets, program::UserMessages& messages) {
    auto key = openProgramKey(messages);
    if (!key) return false;
    try {
        key->setBinary(kPresetValue, bytesOf(presets));
        return true;
    } catch (const reg::RegistryError& e) {
        messages.showCaptioned(kRegistryFailedCaption, std::string(kRegistryOpenFailed) + "\n" + e.what(),
                               program::MessageIcon::Stop);
        return false;
    }
}

}  // namespace kt64::console

namespace kt64::console {

ChartChoice readChartChoice(program::UserMessages& messages) {
    ChartChoice choice;
    auto key = openProgramKey(messages);
    if (!key) return choice;
    try {
        const auto read = [&](std::string_view name, int count) {
            const auto value = key->dword(name);
            if (!value) {
                key->setDword(name, 0);
                return 0;
            }
            return *value < static_cast<std::uint32_t>(count) ? static_cast<int>(*value) : 0;
        };
        choice.daysIndex = read("DlugGraf", 7);
        choice.resolutionIndex = read("RozdzGraf", 8);
    } catch (const reg::RegistryError& e) {
        messages.showCaptioned(kRegistryFailedCaption, std::string(kRegistryOpenFailed) + "\n" + e.what(),
                               program::MessageIcon::Stop);
    }
    return choice;
}

bool writeChartChoice(const ChartChoice& choice, program::UserMessages& messages) {
    try {
        auto key = reg::Key::open(reg::Hive::LocalMachine, kProgramKey);
        if (!key) key = reg::Key::create(reg::Hive::LocalMachine, kProgramKey);
        key->setDword("DlugGraf", static_cast<std::uint32_t>(choice.daysIndex));
        key->setDword("RozdzGraf", static_cast<std::uint32_t>(choice.resolutionIndex));
        return true;
    } catch (const reg::RegistryError& e) {
        messages.showCaptioned(kRegistryFailedCaption, std::string(kRegistryWriteFailed) + "\n" + e.what(),
                               program::MessageIcon::Stop);
        return false;
    }
}

}  // namespace kt64::console
