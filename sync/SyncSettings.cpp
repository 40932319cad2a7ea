// Reading the synchronisation settings with their defaults, and LastSync.
#include "SyncSettings.h"

#include <bit>

#include "ProgramPaths.h"
#include "Registry.h"

namespace kt64::sync {
namespace {

using reg::Key;

// A default that cannot be written still applies to this run.
template <typename Write>
void writeDefault(Write&& write) {
    try {
        write();
    } catch (const reg::RegistryError&) {
    }
}

}  // namespace

std::vector<std::uint8_t> dateBytes(DATE date) {
    const auto bits = std::bit_cast<std::uint64_t>(date);
    std::vector<std::uint8_t> bytes(8);
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    return bytes;
}

std::optional<DATE> dateFromBytes(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != 8) return std::nullopt;
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= std::uint64_t{bytes[i]} << (8 * i);
    return std::bit_cast<DATE>(bits);
}

std::size_t characterCount(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    }
    return count;
}

std::string defaultCompName() {
    std::string name = computerName();
    return characterCount(name) <= kMaxCompNameCharacters ? name : "localhost";
}

std::optional<SyncSettings> loadSyncSettings() {
    std::optional<Key> key;
    try {
        key.emplace(Key::create(reg::Hive::LocalMachine, kSettingsKey));
    } catch (const reg::RegistryError&) {
        return std::nullopt;
    }

    SyncSettings s;
    try {
        if (auto bytes = key->binary("HourSync"); bytes && bytes->size() == 8) {
            s.hourSync = *dateFromBytes(*bytes);
        } else {
            writeDefault([&] { key->setBinary("HourSync", dateBytes(s.hourSync)); });
        }

        if (auto v = key->dword("FreqSync")) {
            s.freqSync = *v;
        } else {
            writeDefault([&] { key->setDword("FreqSync", s.freqSync); });
        }

        for (const auto& bound : {std::pair{"SyncOd", &s.deviationFrom}, std::pair{"SyncDo", &s.deviationTo}}) {
            if (auto v = key->dword(bound.first)) {
                *bound.second = static_cast<std::int32_t>(*v);
            } else {
                writeDefault([&] { key->setDword(bound.first, 0); });
            }
        }

        auto name = key->string("CompName");
        if (!name) name = key->expandString("CompName");
        if (name && characterCount(*name) <= kMaxCompNameCharacters) {
            s.compName = *name;
        } else {
            s.compName = defaultCompName();
            writeDefault([&] { key->setString("CompName", s.compName); });
        }

        if (auto v = key->dword("SyncSnd")) {
            s.syncSnd = *v != 0;
        } else {
            writeDefault([&] { key->setDword("SyncSnd", 0); });
        }

        if (auto v = key->dword("SyncZmiany"); v && *v <= kMaxTimedChanges) {
            s.timedChanges = *v;
        } else {
            writeDefault([&] { key->setDword("SyncZmiany", s.timedChanges); });
        }

        if (auto path = key->string("SyncSock")) {
            s.syncSock = *path;
        } else {
            writeDefault([&] { key->setString("SyncSock", ""); });
        }

        if (auto folder = key->string("MetricsFolder")) {
            s.metricsFolder = *folder;
        } else {
            writeDefault([&] { key->setString("MetricsFolder", s.metricsFolder); });
        }
    } catch (const reg::RegistryError&) {
        // The store failed while reading: the key is as good as unavailable.
        return std::nullopt;
    }
    return s;
}

void recordLastSync(DATE reading) {
    try {
        auto key = Key::open(reg::Hive::LocalMachine, kSettingsKey);
        if (!key) return;
        key->setBinary("LastSync", dateBytes(reading));
        key->flush();
    } catch (const reg::RegistryError&) {
    }
}

}  // namespace kt64::sync
