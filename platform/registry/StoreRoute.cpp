// Which store holds what (see StoreKind in Registry.h), and where the
// stores are.
#include <cstdlib>
#include <filesystem>

#include "KeyPath.h"
#include "Registry.h"

namespace kt64::reg {

namespace {

// The link server's own key under HKEY_LOCAL_MACHINE, folded.
constexpr std::string_view kServerKey[] = {"software", "ardonis", "kt64srv"};
// Its one value that the operators and a control call write.
constexpr std::string_view kSharedServerValue = "port";

enum class Relation { Above, Equal, Below, Apart };

// Where path lies relative to the server key.
Relation relationToServerKey(std::string_view path) {
    const auto parts = splitKeyPath(path);
    const std::size_t common = std::min(parts.size(), std::size(kServerKey));
    for (std::size_t i = 0; i < common; ++i)
        if (foldName(parts[i]) != kServerKey[i]) return Relation::Apart;
    if (parts.size() < std::size(kServerKey)) return Relation::Above;
    return parts.size() == std::size(kServerKey) ? Relation::Equal : Relation::Below;
}

}  // namespace

std::string systemRegistryPath() {
    if (const char* env = std::getenv("KT64_SYSTEM_REGISTRY"); env != nullptr && *env != '\0') return env;
    const std::filesystem::path shared = registryPath();
    if (shared == kDefaultRegistryPath) return kDefaultSystemRegistryPath;
    return (shared.parent_path() / "system" / "registry.db").string();
}

std::string storePath(StoreKind store) { return store == StoreKind::System ? systemRegistryPath() : registryPath(); }

StoreKind storeOfValue(Hive hive, std::string_view path, std::string_view name) {
    if (hive == Hive::ClassesRoot) return StoreKind::System;
    switch (relationToServerKey(path)) {
    case Relation::Equal:
        return foldName(name) == kSharedServerValue ? StoreKind::Shared : StoreKind::System;
    case Relation::Below:
        return StoreKind::System;
    case Relation::Above:
    case Relation::Apart:
        break;
    }
    return StoreKind::Shared;
}

bool storeMayHold(StoreKind store, Hive hive, std::string_view path) {
    if (hive == Hive::ClassesRoot) return store == StoreKind::System;
    const Relation relation = relationToServerKey(path);
    if (store == StoreKind::System) return relation != Relation::Apart;
    return relation != Relation::Below;
}

}  // namespace kt64::reg
