// The SQLite side of the registry: opening the store file with its schema
// and settings, key lookup, and the translation of SQLite failures into
// RegistryError.
//
// Schema (user_version 1):
//   keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent -> keys.id ON DELETE
//        CASCADE, name TEXT as created, fold TEXT = foldName(name)),
//        unique (parent, fold). Rows 1 and 2 are the roots of
//        HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT (parent NULL, name '').
//   vals(key -> keys.id ON DELETE CASCADE, name, fold, type INTEGER, data),
//        primary key (key, fold). data is TEXT for REG_SZ/REG_EXPAND_SZ and
//        BLOB otherwise.
// AUTOINCREMENT keeps the id of a deleted key from being reused, so a Key
// still open on it can never write into a newer key of another name.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Registry.h"

namespace kt64::reg::store {

// How a connection will be used. A reader never needs write access to the
// file or its folder, so users outside the registry's group can read the
// system registry; a writer creates what is missing.
enum class Access { Read, Write };

// Access::Write opens storePath(kind) (creating its folder and the schema
// when missing) in WAL mode with synchronous=FULL, foreign keys on and a
// busy timeout. A shared store file it creates is made group-writable and
// readable by all, a system store (and a folder made for it) writable by
// the owner only (see Registry.h for the rights of the system registry).
// Access::Read opens the file read-only and changes nothing in it (not even
// its journal mode); it returns an empty Store when the file does not exist
// or holds no schema yet, which reads as a registry without keys.
Key::Store open(StoreKind kind, Access access);

inline constexpr int kBusyTimeoutMs = 10000;

inline std::int64_t rootId(Hive hive) { return hive == Hive::LocalMachine ? 1 : 2; }

// The registry's wording of a failed SQLite call: the code mapped to the
// registry's codes, what() = "registry <file>: " + SQLite's own text.
[[noreturn]] void fail(const sql::SqlError& e);

// Runs f, turning SQLite failures into RegistryError (see fail()).
template <class F>
decltype(auto) translated(F&& f) {
    try {
        return f();
    } catch (const sql::SqlError& e) {
        fail(e);
    }
}

using sql::Statement;
using sql::WriteTransaction;

// A key found by walking its path: id and path in stored case.
struct FoundKey {
    std::int64_t id;
    std::string path;
};

std::optional<FoundKey> findKey(Key::Store& db, Hive hive, std::string_view path);

// Finds or creates every component; call inside a WriteTransaction.
FoundKey createKey(Key::Store& db, Hive hive, std::string_view path);

}  // namespace kt64::reg::store
