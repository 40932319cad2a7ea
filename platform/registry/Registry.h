// The typed registry: the configuration store that the link server, the
// console, the synchronisation service and kt64reg share. It keeps the two
// hives HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT in two SQLite files, the
// group's (registryPath(): $KT64_REGISTRY, else /var/lib/kt64/registry.db)
// and root's (systemRegistryPath(), see StoreKind for which holds what),
// read and written through the same keys. Key paths
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
//   /var/lib/kt64               root:kt64  drwxrwsr-t (3775, set-group-id, sticky)
//   /var/lib/kt64/registry.db   root:kt64  -rw-rw-r-- (0664)
//   /var/lib/kt64/system        root:root  drwxr-xr-x (0755)
//   /var/lib/kt64/system/registry.db  root:root  -rw-r--r-- (0644)
// so root and members of the group kt64 may write the shared store, only
// root the system store (see StoreKind), everyone may read both, and the -wal
// and -shm files that SQLite creates beside a store keep its group and
// mode. A shared store created by a write gets mode 0664 whatever the umask,
// and its group from the folder; a system store 0644 in a folder made 0755.
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

// The two stores. What a client executes or has the service manager start
// (the registration under HKEY_CLASSES_ROOT) and what decides what the link
// server opens and where it listens (its key, Software\Ardonis\Kt64Srv,
// with Devices) must not be written by anyone but root: a member of kt64
// could otherwise have root run a program of theirs. Those live in the
// system store, root:root 0644 in a folder only root writes; the shared
// store (the group's) keeps the rest, the operators' settings, and the
// server key's Port, which a control call changes. A Key spans both: each
// value is read from and written to its own store, and a key lists the
// values and subkeys of both.
enum class StoreKind { Shared, System };

// $KT64_SYSTEM_REGISTRY when set and not empty, else the folder "system"
// beside the shared store (kDefaultSystemRegistryPath when that is the
// default one, a private registry's own in tests). Read at every open.
inline constexpr const char* kDefaultSystemRegistryPath = "/var/lib/kt64/system/registry.db";
std::string systemRegistryPath();
std::string storePath(StoreKind store);

// The store that holds the value name of the key path in hive: the one
// place that decides.
StoreKind storeOfValue(Hive hive, std::string_view path, std::string_view name);
// Whether store may hold values of the key path or of keys below it.
bool storeMayHold(StoreKind store, Hive hive, std::string_view path);

// Whether the key exists in that store alone (an older installation kept
// everything in the shared store, where such entries are no longer read).
// Throws RegistryError when the store cannot be read.
bool keyInStore(StoreKind store, Hive hive, std::string_view path);

// Moves what an older installation left in the shared store and belongs
// to the system store: the link server's settings are copied where the
// system store has no value of that name, then removed from the shared
// store with the old registration entries (which are never copied: a
// member may have written them; -RegServer or -Service writes them anew).
// Root's work. Returns the number of values copied.
int moveToSystemStore();

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
    // The key in one of the stores: its connection, and its row there (0
    // while the key does not exist in that store).
    struct Side {
        Store db;
        bool writable = false;
        std::int64_t id = 0;
    };

    Key(Hive hive, std::string path) : hive_(hive), path_(std::move(path)) {}
    Side& side(StoreKind store) { return sides_[store == StoreKind::System ? 1 : 0]; }
    const Side& side(StoreKind store) const { return sides_[store == StoreKind::System ? 1 : 0]; }
    // Reopens the store for writing before the first write to it through a
    // key that was opened for reading, making the key there when missing.
    Side& writableSide(StoreKind store);
    void write(std::string_view name, ValueType type, std::span<const std::uint8_t> data, bool asText);

    Side sides_[2];
    Hive hive_ = Hive::LocalMachine;
    std::string path_;
};

// Removes the key with every subkey and value. false when it did not exist.
// The root of a hive (empty path) cannot be deleted (RegistryError 5).
bool deleteKey(Hive hive, std::string_view path);

}  // namespace kt64::reg
