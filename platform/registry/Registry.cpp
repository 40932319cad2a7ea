// Keys and values of the registry over the SQLite store.
#include "Registry.h"

#include <sqlite3.h>

#include <cstdlib>

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

Key::Key(Store db, bool writable, Hive hive, std::int64_t id, std::string path)
    : db_(std::move(db)), writable_(writable), hive_(hive), id_(id), path_(std::move(path)) {}

std::optional<Key> Key::open(Hive hive, std::string_view path) {
    // Malformed paths are refused even when the store is still empty.
    (void)splitKeyPath(path);
    return store::translated([&]() -> std::optional<Key> {
        Store db = store::open(store::Access::Read);
        if (!db) return std::nullopt;
        auto found = store::findKey(db, hive, path);
        if (!found) return std::nullopt;
        return Key(std::move(db), false, hive, found->id, std::move(found->path));
    });
}

Key Key::create(Hive hive, std::string_view path) {
    return store::translated([&] {
        Store db = store::open(store::Access::Write);
        store::WriteTransaction tx(db);
        auto found = store::createKey(db, hive, path);
        tx.commit();
        return Key(std::move(db), true, hive, found.id, std::move(found.path));
    });
}

void Key::makeWritable() {
    if (writable_) return;
    // The key's id names the same row in the new connection; a key deleted
    // meanwhile is caught by the foreign key on the write itself.
    db_ = store::open(store::Access::Write);
    writable_ = true;
}

std::optional<Value> Key::query(std::string_view name) const {
    return store::translated([&]() -> std::optional<Value> {
        store::Statement st(db_, "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2");
        st.bind(1, id_).bind(2, foldName(name));
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
        store::translated([&] {
            makeWritable();
            // One statement, so one transaction: the value is replaced whole
            // or not at all. An existing value keeps the case its name was
            // created with.
            store::Statement st(db_,
                                "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
                                " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
            st.bind(1, id_).bind(2, name).bind(3, foldName(name)).bind(4, static_cast<std::int64_t>(type));
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
    return store::translated([&] {
        makeWritable();
        store::Statement st(db_, "DELETE FROM vals WHERE key = ?1 AND fold = ?2");
        st.bind(1, id_).bind(2, foldName(name));
        st.step();
        return db_.changes() > 0;
    });
}

std::vector<std::string> Key::valueNames() const {
    return store::translated([&] {
        store::Statement st(db_, "SELECT name FROM vals WHERE key = ?1 ORDER BY fold");
        st.bind(1, id_);
        std::vector<std::string> names;
        while (st.step()) names.push_back(st.text(0));
        return names;
    });
}

std::vector<std::string> Key::subkeyNames() const {
    return store::translated([&] {
        store::Statement st(db_, "SELECT name FROM keys WHERE parent = ?1 ORDER BY fold");
        st.bind(1, id_);
        std::vector<std::string> names;
        while (st.step()) names.push_back(st.text(0));
        return names;
    });
}

void Key::flush() {
    // A connection that never wrote has nothing of its own to checkpoint.
    if (!writable_) return;
    // Readers still on an older snapshot make a full checkpoint report
    // SQLITE_BUSY; the data is durable in the log then, so that is no error.
    const int rc = sqlite3_wal_checkpoint_v2(db_.handle(), nullptr, SQLITE_CHECKPOINT_FULL, nullptr, nullptr);
    if (rc == SQLITE_OK || (rc & 0xFF) == SQLITE_BUSY) return;
    try {
        sql::throwError(db_.handle(), rc);
    } catch (const sql::SqlError& e) {
        store::fail(e);
    }
}

bool deleteKey(Hive hive, std::string_view path) {
    if (splitKeyPath(path).empty())
        throw RegistryError(kErrorAccessDenied,
                            "registry: the root of " + std::string(hiveName(hive)) + " cannot be deleted");
    return store::translated([&] {
        Key::Store db = store::open(store::Access::Write);
        store::WriteTransaction tx(db);
        const auto found = store::findKey(db, hive, path);
        if (!found) return false;
        // Subkeys and values follow through ON DELETE CASCADE.
        store::Statement st(db, "DELETE FROM keys WHERE id = ?1");
        st.bind(1, found->id);
        st.step();
        tx.commit();
        return true;
    });
}

}  // namespace kt64::reg
