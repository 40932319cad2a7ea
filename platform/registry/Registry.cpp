// Keys and values of the registry over the SQLite store.
#include "Registry.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "KeyPath.h"
#include "RegistryStore.h"

namespace kt64::reg {

namespace {

bool isKnownType(ValueType type) {
    const auto code = static_cast<std::uint32_t>(type);
    return code >= 1 && code <= 4;
}

bool isText(ValueType type) { return type == ValueType::Sz || type == ValueType::ExpandSz; }

std::optional<std::string> stringOfType(const Key& key, std::string_view name, ValueType wanted) {
    auto value = key.query(name);
    if (!value || value->type != wanted) return std::nullopt;
    std::string text(value->data.begin(), value->data.end());
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

}  // namespace

std::string registryPath() {
    if (const char* env = std::getenv("KT64_REGISTRY"); env != nullptr && *env != '\0') return env;
    return kDefaultRegistryPath;
}

std::string_view typeName(ValueType type) {
    switch (type) {
    case ValueType::Sz:
        return "REG_SZ";
    case ValueType::ExpandSz:
        return "REG_EXPAND_SZ";
    case ValueType::Binary:
        return "REG_BINARY";
    case ValueType::Dword:
        return "REG_DWORD";
    }
    return "REG_UNKNOWN";
}

constexpr StoreKind kStores[] = {StoreKind::Shared, StoreKind::System};

std::optional<Key> Key::open(Hive hive, std::string_view path) {
    // Malformed paths are refused even when the store is still empty.
    (void)splitKeyPath(path);
    return store::translated([&]() -> std::optional<Key> {
        Key key(hive, std::string(path));
        bool found = false;
        for (const StoreKind kind : kStores) {
            if (!storeMayHold(kind, hive, path)) continue;
            Store db = store::open(kind, store::Access::Read);
            if (!db) continue;
            auto there = store::findKey(db, hive, path);
            if (!there) continue;
            // The case the key was made with where its values mostly are.
            if (!found || kind == storeOfValue(hive, path, "")) key.path_ = std::move(there->path);
            key.side(kind) = Side{std::move(db), false, there->id};
            found = true;
        }
        if (!found) return std::nullopt;
        return key;
    });
}

Key Key::create(Hive hive, std::string_view path) {
    // Made in each store that may hold its values and that this user may
    // write: the server's key by a member of kt64 in the shared store alone
    // (for Port), by root in both.
    (void)splitKeyPath(path);
    return store::translated([&] {
        Key key(hive, std::string(path));
        std::optional<RegistryError> refused;
        bool made = false;
        for (const StoreKind kind : kStores) {
            if (!storeMayHold(kind, hive, path)) continue;
            try {
                key.writableSide(kind);
                made = true;
            } catch (const RegistryError& e) {
                if (e.code() != kErrorAccessDenied) throw;
                if (!refused) refused = e;
                // Still read there: root's values of the key stay visible.
                if (Store db = store::open(kind, store::Access::Read))
                    if (auto there = store::findKey(db, hive, path))
                        key.side(kind) = Side{std::move(db), false, there->id};
            }
        }
        if (!made && refused) throw *refused;
        return key;
    });
}

Key::Side& Key::writableSide(StoreKind kind) {
    Side& held = this->side(kind);
    if (held.writable) return held;
    return store::translated([&]() -> Side& {
        Store db = store::open(kind, store::Access::Write);
        if (held.id == 0) {
            store::WriteTransaction tx(db);
            auto made = store::createKey(db, hive_, path_);
            tx.commit();
            held.id = made.id;
            path_ = std::move(made.path);
        }
        // The key's id names the same row in the new connection; a key
        // deleted meanwhile is caught by the foreign key on the write itself.
        held.db = std::move(db);
        held.writable = true;
        return held;
    });
}

std::optional<Value> Key::query(std::string_view name) const {
    const Side& held = this->side(storeOfValue(hive_, path_, name));
    if (held.id == 0) return std::nullopt;
    return store::translated([&]() -> std::optional<Value> {
        store::Statement st(held.db, "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2");
        st.bind(1, held.id).bind(2, foldName(name));
        if (!st.step()) return std::nullopt;
        return Value{static_cast<ValueType>(st.integer(0)), st.bytes(1)};
    });
}

std::optional<std::uint32_t> Key::dword(std::string_view name) const {
    const auto value = query(name);
    if (!value || value->type != ValueType::Dword || value->data.size() != 4) return std::nullopt;
    const auto& d = value->data;
    return static_cast<std::uint32_t>(d[0]) | static_cast<std::uint32_t>(d[1]) << 8 |
           static_cast<std::uint32_t>(d[2]) << 16 | static_cast<std::uint32_t>(d[3]) << 24;
}

std::optional<std::string> Key::string(std::string_view name) const { return stringOfType(*this, name, ValueType::Sz); }

std::optional<std::string> Key::expandString(std::string_view name) const {
    return stringOfType(*this, name, ValueType::ExpandSz);
}

std::optional<std::vector<std::uint8_t>> Key::binary(std::string_view name) const {
    auto value = query(name);
    if (!value || value->type != ValueType::Binary) return std::nullopt;
    return std::move(value->data);
}

void Key::setDword(std::string_view name, std::uint32_t value) {
    const std::uint8_t le[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    write(name, ValueType::Dword, le, false);
}

void Key::setString(std::string_view name, std::string_view text, ValueType type) {
    if (!isText(type))
        throw RegistryError(kErrorInvalidData, "registry: " + std::string(typeName(type)) + " is not a string type");
    write(name, type, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, true);
}

void Key::setBinary(std::string_view name, std::span<const std::uint8_t> data) {
    write(name, ValueType::Binary, data, false);
}

void Key::setValue(std::string_view name, const Value& value) {
    if (!isKnownType(value.type))
        throw RegistryError(kErrorInvalidData,
                            "registry: unknown value type " + std::to_string(static_cast<std::uint32_t>(value.type)));
    if (value.type == ValueType::Dword && value.data.size() != 4)
        throw RegistryError(kErrorInvalidData,
                            "registry: REG_DWORD data must be 4 bytes, not " + std::to_string(value.data.size()));
    write(name, value.type, value.data, isText(value.type));
}

void Key::write(std::string_view name, ValueType type, std::span<const std::uint8_t> data, bool asText) {
    try {
        Side& held = writableSide(storeOfValue(hive_, path_, name));
        store::translated([&] {
            // One statement, so one transaction: the value is replaced whole
            // or not at all. An existing value keeps the case its name was
            // created with.
            store::Statement st(held.db,
                                "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
                                " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
            st.bind(1, held.id).bind(2, name).bind(3, foldName(name)).bind(4, static_cast<std::int64_t>(type));
            if (asText)
                st.bind(5, std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
            else
                st.bindBlob(5, data);
            st.step();
        });
    } catch (const RegistryError& e) {
        if (e.code() != kErrorKeyDeleted) throw;
        throw RegistryError(kErrorKeyDeleted, "registry: key " + std::string(hiveName(hive_)) + "\\" + path_ +
                                                  " has been deleted: " + e.what());
    }
}

bool Key::deleteValue(std::string_view name) {
    const StoreKind kind = storeOfValue(hive_, path_, name);
    // Absent from a store where the key is not: nothing to delete there,
    // and no key to make for it.
    if (side(kind).id == 0) return false;
    Side& held = writableSide(kind);
    return store::translated([&] {
        store::Statement st(held.db, "DELETE FROM vals WHERE key = ?1 AND fold = ?2");
        st.bind(1, held.id).bind(2, foldName(name));
        st.step();
        return held.db.changes() > 0;
    });
}

namespace {

// Names of both stores' lists merged in the order of their folded form; a
// name in both is listed once.
std::vector<std::string> mergedNames(std::vector<std::pair<std::string, std::string>> byFold) {
    std::sort(byFold.begin(), byFold.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    byFold.erase(
        std::unique(byFold.begin(), byFold.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
        byFold.end());
    std::vector<std::string> names;
    names.reserve(byFold.size());
    for (auto& [fold, name] : byFold) names.push_back(std::move(name));
    return names;
}

}  // namespace

std::vector<std::string> Key::valueNames() const {
    return store::translated([&] {
        std::vector<std::pair<std::string, std::string>> found;
        for (const StoreKind kind : kStores) {
            const Side& held = this->side(kind);
            if (held.id == 0) continue;
            store::Statement st(held.db, "SELECT name, fold FROM vals WHERE key = ?1");
            st.bind(1, held.id);
            // A value left in a store that no longer holds it is not read.
            while (st.step())
                if (storeOfValue(hive_, path_, st.text(0)) == kind) found.emplace_back(st.text(1), st.text(0));
        }
        return mergedNames(std::move(found));
    });
}

std::vector<std::string> Key::subkeyNames() const {
    return store::translated([&] {
        std::vector<std::pair<std::string, std::string>> found;
        for (const StoreKind kind : kStores) {
            const Side& held = this->side(kind);
            if (held.id == 0) continue;
            store::Statement st(held.db, "SELECT name, fold FROM keys WHERE parent = ?1");
            st.bind(1, held.id);
            while (st.step()) {
                const std::string name = st.text(0);
                const std::string child = path_.empty() ? name : path_ + "\\" + name;
                if (storeMayHold(kind, hive_, child)) found.emplace_back(st.text(1), name);
            }
        }
        return mergedNames(std::move(found));
    });
}

void Key::flush() {
    for (Side& held : sides_) {
        // A connection that never wrote has nothing of its own to checkpoint.
        if (!held.writable) continue;
        // Readers still on an older snapshot make a full checkpoint report
        // SQLITE_BUSY; the data is durable in the log then, so that is no
        // error.
        const int rc = sqlite3_wal_checkpoint_v2(held.db.handle(), nullptr, SQLITE_CHECKPOINT_FULL, nullptr, nullptr);
        if (rc == SQLITE_OK || (rc & 0xFF) == SQLITE_BUSY) continue;
        try {
            sql::throwError(held.db.handle(), rc);
        } catch (const sql::SqlError& e) {
            store::fail(e);
        }
    }
}

bool deleteKey(Hive hive, std::string_view path) {
    if (splitKeyPath(path).empty())
        throw RegistryError(kErrorAccessDenied,
                            "registry: the root of " + std::string(hiveName(hive)) + " cannot be deleted");
    return store::translated([&] {
        bool deleted = false;
        for (const StoreKind kind : kStores) {
            if (!storeMayHold(kind, hive, path)) continue;
            // Looked for first without writing, so that a member deleting a
            // key of the shared store is not refused by the system store
            // where that key is not.
            {
                Key::Store reader = store::open(kind, store::Access::Read);
                if (!reader || !store::findKey(reader, hive, path)) continue;
            }
            Key::Store db = store::open(kind, store::Access::Write);
            store::WriteTransaction tx(db);
            const auto found = store::findKey(db, hive, path);
            if (!found) continue;
            // Subkeys and values follow through ON DELETE CASCADE.
            store::Statement st(db, "DELETE FROM keys WHERE id = ?1");
            st.bind(1, found->id);
            st.step();
            tx.commit();
            deleted = true;
        }
        return deleted;
    });
}

bool keyInStore(StoreKind kind, Hive hive, std::string_view path) {
    return store::translated([&] {
        Key::Store db = store::open(kind, store::Access::Read);
        return db && store::findKey(db, hive, path).has_value();
    });
}

int moveToSystemStore() {
    return store::translated([&] {
        Key::Store shared = store::open(StoreKind::Shared, store::Access::Read);
        if (!shared) return 0;
        // Every key of the shared store with the path below its hive, the
        // parents before their children.
        struct Row {
            std::int64_t id;
            Hive hive;
            std::string path;
        };
        std::vector<Row> keys;
        {
            store::Statement st(shared,
                                "WITH RECURSIVE k(id, root, path) AS ("
                                " SELECT id, id, '' FROM keys WHERE parent IS NULL"
                                " UNION ALL SELECT keys.id, k.root,"
                                "  CASE k.path WHEN '' THEN keys.name ELSE k.path || '\\' || keys.name END"
                                "  FROM keys JOIN k ON keys.parent = k.id)"
                                " SELECT id, root, path FROM k WHERE path <> ''");
            while (st.step())
                keys.push_back(
                    {st.integer(0),
                     st.integer(1) == store::rootId(Hive::ClassesRoot) ? Hive::ClassesRoot : Hive::LocalMachine,
                     st.text(2)});
        }
        int copied = 0;
        std::vector<std::pair<Row, std::string>> moved;  // values to remove from the shared store
        for (const Row& row : keys) {
            if (!storeMayHold(StoreKind::System, row.hive, row.path)) continue;
            store::Statement st(shared, "SELECT name, type, data FROM vals WHERE key = ?1");
            st.bind(1, row.id);
            while (st.step()) {
                const std::string name = st.text(0);
                if (storeOfValue(row.hive, row.path, name) != StoreKind::System) continue;
                moved.emplace_back(row, name);
                if (row.hive == Hive::ClassesRoot) continue;
                auto key = Key::create(row.hive, row.path);
                if (key.query(name)) continue;
                key.setValue(name, Value{static_cast<ValueType>(st.integer(1)), st.bytes(2)});
                ++copied;
            }
        }
        const bool oldRegistration =
            std::any_of(keys.begin(), keys.end(), [](const Row& row) { return row.hive == Hive::ClassesRoot; });
        if (moved.empty() && !oldRegistration) return copied;
        Key::Store writer = store::open(StoreKind::Shared, store::Access::Write);
        store::WriteTransaction tx(writer);
        store::Statement remove(writer, "DELETE FROM vals WHERE key = ?1 AND fold = ?2");
        for (const auto& [row, name] : moved) {
            remove.reset();
            remove.bind(1, row.id).bind(2, foldName(name));
            remove.step();
        }
        // The registration's keys go whole: none of them is read there.
        store::Statement drop(writer, "DELETE FROM keys WHERE parent = ?1");
        drop.bind(1, store::rootId(Hive::ClassesRoot));
        drop.step();
        tx.commit();
        return copied;
    });
}

}  // namespace kt64::reg
