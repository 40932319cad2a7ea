// The typed registry: the configuration store that the link server, the
// console, the synchronisation service and kt64reg share. It keeps the two
// hives HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT in one SQLite file
// (registryPath(): $KT64_REGISTRY, else /var/lib/kt64/registry.db). Key paths
// are backslash-separated and, as on Windows, compared without regard to
// case while keeping the case they were created with; value names likewise,
// the empty name being the key's default value. Each write is one SQLite
// transaction in WAL mode, so a crash never leaves a half-written value and
// several processes may read and write at once (each Key holds its own
// connection with a busy timeout). Values keep the Windows byte form:
// REG_SZ/REG_EXPAND_SZ as UTF-8 text without a terminator, REG_DWORD as 4
// bytes little-endian, REG_BINARY as the raw bytes.
//
// Rights. Key::open reads through a read-only connection that changes
// nothing in the file, so every user who may read the file can read the
// registry; the connection is reopened for writing only at a key's first
// write. The system registry is installed as
//   /var/lib/kt64               root:kt64  drwxrwsr-x (2775, set-group-id)
//   /var/lib/kt64/registry.db   root:kt64  -rw-rw-r-- (0664)
// so root and members of the group kt64 may write, everyone may read, and
// the -wal and -shm files that SQLite creates beside the store keep that
// group and mode. A store created by a write gets mode 0664 whatever the
// umask, and its group from the folder.
//
// Failures. Every failure to open, read or write the store throws
// RegistryError whose text names the file and gives SQLite's own reason
// ("registry /var/lib/kt64/registry.db: attempt to write a readonly
// database"). A missing key or value is no failure (nullopt), so a reader
// that falls back to a default when a value is missing still sees an
// unreadable store as the error it is.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "SqlConnection.h"

namespace kt64::reg {

enum class Hive { LocalMachine, ClassesRoot };

enum class ValueType : std::uint32_t {
    Sz = 1,        // REG_SZ
    ExpandSz = 2,  // REG_EXPAND_SZ
    Binary = 3,    // REG_BINARY
    Dword = 4,     // REG_DWORD
};

// Windows-like error codes carried by RegistryError.
inline constexpr int kErrorFileNotFound = 2;   // key or value absent
inline constexpr int kErrorAccessDenied = 5;   // store not writable
inline constexpr int kErrorInvalidData = 13;   // malformed name, path or data
inline constexpr int kErrorBusy = 170;         // another process held the store too long
inline constexpr int kErrorStore = 1009;       // the store file is unusable or corrupt
inline constexpr int kErrorKeyDeleted = 1018;  // write to a key deleted meanwhile

class RegistryError : public std::runtime_error {
public:
    RegistryError(int code, const std::string& what) : std::runtime_error(what), code_(code) {}
    int code() const noexcept { return code_; }

private:
    int code_;
};

struct Value {
    ValueType type = ValueType::Sz;
    std::vector<std::uint8_t> data;

    friend bool operator==(const Value&, const Value&) = default;
};

// "HKLM", "HKEY_LOCAL_MACHINE", "HKCR", "HKEY_CLASSES_ROOT" (any case).
std::optional<Hive> parseHive(std::string_view text);
std::string_view hiveName(Hive hive);  // "HKEY_LOCAL_MACHINE" / "HKEY_CLASSES_ROOT"

// "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD".
std::string_view typeName(ValueType type);

// The store file in use: $KT64_REGISTRY when set and not empty, else
// kDefaultRegistryPath. Read at every open.
inline constexpr const char* kDefaultRegistryPath = "/var/lib/kt64/registry.db";
std::string registryPath();

// An open key with its own connection to the store. One thread uses a Key
// at a time; separate Keys may be used on separate threads and processes.
class Key {
public:
    // nullopt when the key does not exist. Throws RegistryError when the
    // store cannot be opened or the path is malformed (empty component).
    static std::optional<Key> open(Hive hive, std::string_view path);
    // Opens the key, creating it and any missing parents in one transaction.
    static Key create(Hive hive, std::string_view path);

    Key(Key&&) noexcept = default;
    Key& operator=(Key&&) noexcept = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() = default;

    Hive hive() const noexcept { return hive_; }
    // The key's path with the case it was created with.
    const std::string& path() const noexcept { return path_; }

    // The value with its type, or nullopt when absent. A key deleted
    // meanwhile (by this or another process) reads as empty; writes to it
    // throw RegistryError(kErrorKeyDeleted).
    std::optional<Value> query(std::string_view name) const;

    // Typed getters: nullopt when the value is missing OR of another type
    // (or a REG_DWORD whose data is not 4 bytes), which is what every reader
    // of the configuration treats as "not set".
    std::optional<std::uint32_t> dword(std::string_view name) const;
    // REG_SZ only; trailing NUL bytes (a terminator written by a foreign
    // writer) are dropped.
    std::optional<std::string> string(std::string_view name) const;
    // REG_EXPAND_SZ only, returned as stored (no expansion), NULs dropped
    // as for string().
    std::optional<std::string> expandString(std::string_view name) const;
    std::optional<std::vector<std::uint8_t>> binary(std::string_view name) const;

    void setDword(std::string_view name, std::uint32_t value);
    // type must be Sz or ExpandSz (RegistryError 13 otherwise).
    void setString(std::string_view name, std::string_view text, ValueType type = ValueType::Sz);
    void setBinary(std::string_view name, std::span<const std::uint8_t> data);
    // Stores data as given; a REG_DWORD must have exactly 4 bytes.
    void setValue(std::string_view name, const Value& value);

    // false when the value was absent.
    bool deleteValue(std::string_view name);

    // Names with their stored case, sorted without regard to case.
    std::vector<std::string> valueNames() const;
    std::vector<std::string> subkeyNames() const;

    // Every write is already a durable committed transaction; flush() also
    // checkpoints the write-ahead log into the main file, so that a plain
    // copy of that file holds every value. While another connection still
    // reads an older snapshot the checkpoint stops short; that is no error,
    // the values stay durable in the log.
    void flush();

    using Store = sql::Connection;

private:
    Key(Store db, bool writable, Hive hive, std::int64_t id, std::string path);
    // Reopens the store for writing before the first write through a key
    // that was opened for reading.
    void makeWritable();
    void write(std::string_view name, ValueType type, std::span<const std::uint8_t> data, bool asText);

    Store db_;
    bool writable_ = false;
    Hive hive_ = Hive::LocalMachine;
    std::int64_t id_ = 0;
    std::string path_;
};

// Removes the key with every subkey and value. false when it did not exist.
// The root of a hive (empty path) cannot be deleted (RegistryError 5).
bool deleteKey(Hive hive, std::string_view path);

}  // namespace kt64::reg
