// Conversions and registry writes of the synchronisation settings form.
#include "SyncSettingsModel.h"

#include <cstdio>

#include "Registry.h"
#include "SyncServiceControl.h"
#include "SyncSettings.h"

namespace kt64::servicecontrol {
namespace {

using reg::Key;

std::optional<Key> openKey() {
    try {
        return Key::create(reg::Hive::LocalMachine, sync::kSettingsKey);
    } catch (const reg::RegistryError&) {
        return std::nullopt;
    }
}

template <typename Write>
void tryWrite(Write&& write) {
    try {
        write();
    } catch (const reg::RegistryError&) {
    }
}

std::uint32_t dwordOrDefault(Key& key, const char* name, std::uint32_t fallback) {
    if (const auto v = key.dword(name)) return *v;
    tryWrite([&] { key.setDword(name, fallback); });
    return fallback;
}

}  // namespace

std::string_view unitText(PeriodUnit unit) { return unit == PeriodUnit::Hours ? "h" : "m"; }

SyncPeriod periodOfFreqSync(std::uint32_t freqSync) {
    if (freqSync >= 60) return {freqSync / 60, PeriodUnit::Hours};
    return {freqSync, PeriodUnit::Minutes};
}

std::uint32_t freqSyncOfPeriod(SyncPeriod period) {
    return period.unit == PeriodUnit::Hours ? period.number * 60 : period.number;
}

Range periodRange(PeriodUnit unit) { return unit == PeriodUnit::Hours ? Range{1, 24} : Range{1, 59}; }

std::optional<std::string> rangeMessage(std::int64_t value, Range range) {
    if (value >= range.low && value <= range.high) return std::nullopt;
    char text[128];
    std::snprintf(text, sizeof text, "Wprowadź liczbę całkowitą z zakresu od %lld do %lld.",
                  static_cast<long long>(range.low), static_cast<long long>(range.high));
    return std::string(text);
}

std::optional<std::string> validateSyncForm(const SyncFormValues& form) {
    if (sync::characterCount(form.compName) > sync::kMaxCompNameCharacters) return std::string(kCompNameTooLongText);
    if (auto m = rangeMessage(form.period.number, periodRange(form.period.unit))) return m;
    if (auto m = rangeMessage(form.deviationFrom, kWindowRange)) return m;
    if (auto m = rangeMessage(form.deviationTo, kWindowRange)) return m;
    if (form.deviationTo != 0 && form.deviationFrom > form.deviationTo) return std::string(kWindowReversedText);
    return std::nullopt;
}

LoadedSyncForm loadSyncForm() {
    LoadedSyncForm loaded;
    SyncFormValues& s = loaded.settings;
    s.compName = sync::defaultCompName();
    auto key = openKey();
    if (!key) {
        loaded.keyAvailable = false;
        return loaded;
    }
    try {
        if (auto bytes = key->binary("HourSync"); bytes && bytes->size() == 8) {
            s.hourSync = *sync::dateFromBytes(*bytes);
        } else {
            tryWrite([&] { key->setBinary("HourSync", sync::dateBytes(0.0)); });
        }
        s.period = periodOfFreqSync(dwordOrDefault(*key, "FreqSync", 1440));
        s.deviationFrom = static_cast<std::int32_t>(dwordOrDefault(*key, "SyncOd", 0));
        s.deviationTo = static_cast<std::int32_t>(dwordOrDefault(*key, "SyncDo", 0));

        auto name = key->string("CompName");
        if (!name) name = key->expandString("CompName");
        if (name && sync::characterCount(*name) <= sync::kMaxCompNameCharacters) {
            s.compName = *name;
        } else {
            tryWrite([&] { key->setString("CompName", s.compName); });
        }
        s.openMin = dwordOrDefault(*key, "OpenMin", 0) != 0;
        s.syncSnd = dwordOrDefault(*key, "SyncSnd", 0) != 0;
    } catch (const reg::RegistryError&) {
        loaded.keyAvailable = false;
    }
    return loaded;
}

SaveOutcome saveSyncForm(const SyncFormValues& form) {
    auto key = openKey();
    if (!key) return SaveOutcome::KeyUnavailable;
    try {
        const bool boundsEqual =
            form.deviationFrom == form.deviationTo && !(form.deviationFrom == 0 && form.deviationTo == 0);
        if (!boundsEqual) {
            key->setBinary("HourSync", sync::dateBytes(form.hourSync));
            key->setDword("FreqSync", freqSyncOfPeriod(form.period));
            key->setDword("SyncOd", static_cast<std::uint32_t>(form.deviationFrom));
            key->setDword("SyncDo", static_cast<std::uint32_t>(form.deviationTo));
        }
        key->setString("CompName", form.compName);
        key->setDword("SyncSnd", form.syncSnd ? 1 : 0);
        return boundsEqual ? SaveOutcome::WindowBoundsEqual : SaveOutcome::Saved;
    } catch (const reg::RegistryError&) {
        return SaveOutcome::KeyUnavailable;
    }
}

bool saveSyncFormOnClose(bool openMin, bool syncSnd) {
    auto key = openKey();
    if (!key) return false;
    try {
        key->setDword("OpenMin", openMin ? 1 : 0);
        key->setDword("SyncSnd", syncSnd ? 1 : 0);
        return true;
    } catch (const reg::RegistryError&) {
        return false;
    }
}

std::string lastSyncText(DATE lastSync) {
    if (lastSync == 0.0) return std::string(kNoLastSyncText);
    const auto st = fromVariantTime(lastSync);
    if (!st) return std::string(kNoLastSyncText);
    char text[64];
    std::snprintf(text, sizeof text, "Data: %04d-%02d-%02d            Godz: %02d:%02d:%02d", st->year, st->month,
                  st->day, st->hour, st->minute, st->second);
    return text;
}

std::string lastSyncText() {
    auto key = openKey();
    if (!key) return std::string(kNoLastSyncText);
    try {
        if (auto bytes = key->binary("LastSync"); bytes && bytes->size() == 8)
            return lastSyncText(*sync::dateFromBytes(*bytes));
        tryWrite([&] { key->setBinary("LastSync", sync::dateBytes(0.0)); });
    } catch (const reg::RegistryError&) {
    }
    return std::string(kNoLastSyncText);
}

ServiceStateView serviceStateView(int state) {
    switch (state) {
    case kStateRunning:
    case 5:
        return {false, true, false};
    case kStateStopped:
    case kStateStopPending:
        return {true, false, false};
    case kStateUnreachable:
        return {true, false, true};
    default:
        return {std::nullopt, std::nullopt, false};
    }
}

}  // namespace kt64::servicecontrol
