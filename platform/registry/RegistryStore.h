// The SQLite side of the registry: opening the store file with its schema
// and settings, prepared statements and write transactions as RAII objects,
// and the translation of SQLite failures into RegistryError.
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

#include <sqlite3.h>

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

// Access::Write opens registryPath() (creating its folder and the schema
// when missing) in WAL mode with synchronous=FULL, foreign keys on and a
// busy timeout. A store file it creates is made group-writable and
// readable by all (see Registry.h for the rights of the system registry).
// Access::Read opens the file read-only and changes nothing in it (not even
// its journal mode); it returns an empty Store when the file does not exist
// or holds no schema yet, which reads as a registry without keys.
Key::Store open(Access access);

inline constexpr int kBusyTimeoutMs = 10000;

inline std::int64_t rootId(Hive hive) { return hive == Hive::LocalMachine ? 1 : 2; }

// Throws RegistryError for a failed SQLite call: the code mapped to the
// registry's codes, what() = "registry <file>: " + SQLite's own text.
[[noreturn]] void fail(sqlite3* db, int rc);

class Statement {
public:
    Statement(sqlite3* db, std::string_view sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, std::string_view text);
    Statement& bindBlob(int index, std::span<const std::uint8_t> data);
    Statement& bindNull(int index);

    // true while a row is available; false when done.
    bool step();
    void reset();

    std::int64_t integer(int column) const;
    std::string text(int column) const;
    std::vector<std::uint8_t> bytes(int column) const;

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// BEGIN IMMEDIATE ... COMMIT: takes the write lock at once (waiting up to
// the busy timeout) so that a read-then-write never meets a stale snapshot.
// Rolled back when destroyed without commit().
class WriteTransaction {
public:
    explicit WriteTransaction(sqlite3* db);
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    void commit();

private:
    sqlite3* db_;
    bool open_ = true;
};

// A key found by walking its path: id and path in stored case.
struct FoundKey {
    std::int64_t id;
    std::string path;
};

std::optional<FoundKey> findKey(sqlite3* db, Hive hive, std::string_view path);

// Finds or creates every component; call inside a WriteTransaction.
FoundKey createKey(sqlite3* db, Hive hive, std::string_view path);

}  // namespace kt64::reg::store
