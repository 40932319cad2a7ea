// Opening the registry's SQLite file, statements, transactions, key lookup.
#include "RegistryStore.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include "KeyPath.h"

namespace kt64::reg::store {

namespace {

constexpr int kSchemaVersion = 1;

int registryCode(sqlite3* db, int rc) {
    switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return kErrorBusy;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return kErrorAccessDenied;
    case SQLITE_CANTOPEN: {
        const int err = db != nullptr ? sqlite3_system_errno(db) : 0;
        return err == EACCES || err == EPERM || err == EROFS ? kErrorAccessDenied : kErrorStore;
    }
    case SQLITE_TOOBIG:
    case SQLITE_MISMATCH:
        return kErrorInvalidData;
    case SQLITE_CONSTRAINT:
        return rc == SQLITE_CONSTRAINT_FOREIGNKEY ? kErrorKeyDeleted : kErrorInvalidData;
    default:
        return kErrorStore;
    }
}

void exec(sqlite3* db, const char* sql) {
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) fail(db, rc);
}

// Switching to WAL needs a moment of exclusive access; several processes
// opening a fresh store at once may meet SQLITE_BUSY here without the busy
// handler being consulted, so retry up to the busy timeout.
void enableWal(sqlite3* db) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    for (;;) {
        int rc = SQLITE_OK;
        std::string mode;
        {
            sqlite3_stmt* stmt = nullptr;
            rc = sqlite3_prepare_v2(db, "PRAGMA journal_mode=WAL", -1, &stmt, nullptr);
            if (rc == SQLITE_OK) {
                rc = sqlite3_step(stmt);
                if (rc == SQLITE_ROW) {
                    mode = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
                    rc = SQLITE_OK;
                }
            }
            sqlite3_finalize(stmt);
        }
        if (rc == SQLITE_OK && mode == "wal") return;
        if (rc == SQLITE_OK)
            throw RegistryError(kErrorStore, "registry " + registryPath() + ": cannot use write-ahead log (journal mode " + mode + ")");
        if ((rc & 0xFF) != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline) fail(db, rc);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int userVersion(sqlite3* db) {
    Statement st(db, "PRAGMA user_version");
    st.step();
    return static_cast<int>(st.integer(0));
}

void ensureSchema(sqlite3* db) {
    int version = userVersion(db);
    if (version == kSchemaVersion) return;
    if (version == 0) {
        WriteTransaction tx(db);
        // Another process may have created the schema while we waited.
        version = userVersion(db);
        if (version == 0) {
            exec(db,
                 "CREATE TABLE keys("
                 " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                 " parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,"
                 " name TEXT NOT NULL,"
                 " fold TEXT NOT NULL);"
                 "CREATE UNIQUE INDEX keys_child ON keys(parent, fold);"
                 "CREATE TABLE vals("
                 " key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,"
                 " name TEXT NOT NULL,"
                 " fold TEXT NOT NULL,"
                 " type INTEGER NOT NULL,"
                 " data NOT NULL,"
                 " PRIMARY KEY(key, fold)) WITHOUT ROWID;"
                 "INSERT INTO keys(id, parent, name, fold) VALUES(1, NULL, '', ''), (2, NULL, '', '');"
                 "PRAGMA user_version=1;");
            version = kSchemaVersion;
        }
        tx.commit();
    }
    if (version != kSchemaVersion)
        throw RegistryError(kErrorStore, "registry " + registryPath() + ": unknown store format " + std::to_string(version));
}

}  // namespace

void fail(sqlite3* db, int rc) {
    const char* file = db != nullptr ? sqlite3_db_filename(db, "main") : nullptr;
    std::string text = "registry ";
    text += file != nullptr && *file != '\0' ? std::string(file) : registryPath();
    text += ": ";
    text += db != nullptr && sqlite3_extended_errcode(db) == rc ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    throw RegistryError(registryCode(db, rc), text);
}

Key::Store open(Access access) {
    const std::filesystem::path path = registryPath();
    if (access == Access::Read) {
        // A store nobody has written yet holds no keys: that is an answer,
        // not a failure. Any other trouble (a folder that may not be
        // searched, a file where a folder should be) is left to SQLite,
        // which names it.
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) return Key::Store();
    }
    bool created = false;
    if (access == Access::Write) {
        std::error_code ec;
        created = !std::filesystem::exists(path, ec);
        if (path.has_parent_path()) {
            std::filesystem::create_directories(path.parent_path(), ec);
            if (ec)
                throw RegistryError(ec == std::errc::permission_denied || ec == std::errc::read_only_file_system
                                        ? kErrorAccessDenied
                                        : kErrorStore,
                                    "registry " + path.string() + ": cannot create folder " +
                                        path.parent_path().string() + ": " + ec.message());
        }
    }
    sqlite3* raw = nullptr;
    const int flags = access == Access::Read ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    Key::Store db(raw);
    if (rc != SQLITE_OK) {
        if (raw == nullptr) throw RegistryError(kErrorStore, "registry " + path.string() + ": " + sqlite3_errstr(rc));
        sqlite3_extended_result_codes(raw, 1);
        fail(raw, sqlite3_extended_errcode(raw));
    }
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);
    if (access == Access::Read) {
        // The first read is where an unreadable file shows (SQLite opens
        // lazily); it fails here with SQLite's text and the path.
        const int version = userVersion(raw);
        if (version == 0) return Key::Store();
        if (version != kSchemaVersion)
            throw RegistryError(kErrorStore,
                                "registry " + path.string() + ": unknown store format " + std::to_string(version));
        exec(raw, "PRAGMA foreign_keys=ON;");
        return db;
    }
    if (created) {
        // The group of the system registry's folder (set-group-id) may write
        // the store, everyone may read it, whatever this process's umask.
        // SQLite gives its -wal and -shm files the same mode.
        std::error_code ec;
        std::filesystem::permissions(path,
                                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                         std::filesystem::perms::group_read | std::filesystem::perms::group_write |
                                         std::filesystem::perms::others_read,
                                     ec);
    }
    enableWal(raw);
    // The -wal and -shm files stay when the last writer closes: a reader
    // without write access to the folder can open a WAL store only while
    // both exist (it cannot create them), and they keep the store's mode.
    int persist = 1;
    sqlite3_file_control(raw, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    // FULL: a committed write survives a power cut, not only a crash.
    exec(raw, "PRAGMA foreign_keys=ON; PRAGMA synchronous=FULL;");
    ensureSchema(raw);
    return db;
}

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
    const int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
    if (rc != SQLITE_OK) fail(db, rc);
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::bind(int index, std::int64_t value) {
    const int rc = sqlite3_bind_int64(stmt_, index, value);
    if (rc != SQLITE_OK) fail(db_, rc);
    return *this;
}

Statement& Statement::bind(int index, std::string_view text) {
    // A null pointer would bind SQL NULL; an empty name is a real name.
    const int rc = sqlite3_bind_text64(stmt_, index, text.empty() ? "" : text.data(), text.size(), SQLITE_TRANSIENT,
                                       SQLITE_UTF8);
    if (rc != SQLITE_OK) fail(db_, rc);
    return *this;
}

Statement& Statement::bindBlob(int index, std::span<const std::uint8_t> data) {
    const int rc = data.empty() ? sqlite3_bind_zeroblob(stmt_, index, 0)
                                : sqlite3_bind_blob64(stmt_, index, data.data(), data.size(), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) fail(db_, rc);
    return *this;
}

Statement& Statement::bindNull(int index) {
    const int rc = sqlite3_bind_null(stmt_, index);
    if (rc != SQLITE_OK) fail(db_, rc);
    return *this;
}

bool Statement::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    fail(db_, rc);
}

void Statement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

std::int64_t Statement::integer(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string Statement::text(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_blob(stmt_, column));
    const int n = sqlite3_column_bytes(stmt_, column);
    return p != nullptr ? std::string(p, static_cast<std::size_t>(n)) : std::string();
}

std::vector<std::uint8_t> Statement::bytes(int column) const {
    const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
    const int n = sqlite3_column_bytes(stmt_, column);
    return p != nullptr ? std::vector<std::uint8_t>(p, p + n) : std::vector<std::uint8_t>();
}

WriteTransaction::WriteTransaction(sqlite3* db) : db_(db) { exec(db, "BEGIN IMMEDIATE"); }

WriteTransaction::~WriteTransaction() {
    if (open_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

void WriteTransaction::commit() {
    exec(db_, "COMMIT");
    open_ = false;
}

std::optional<FoundKey> findKey(sqlite3* db, Hive hive, std::string_view path) {
    FoundKey found{rootId(hive), std::string()};
    Statement st(db, "SELECT id, name FROM keys WHERE parent = ?1 AND fold = ?2");
    for (const std::string_view part : splitKeyPath(path)) {
        st.reset();
        st.bind(1, found.id).bind(2, foldName(part));
        if (!st.step()) return std::nullopt;
        found.id = st.integer(0);
        if (!found.path.empty()) found.path += '\\';
        found.path += st.text(1);
    }
    return found;
}

FoundKey createKey(sqlite3* db, Hive hive, std::string_view path) {
    FoundKey found{rootId(hive), std::string()};
    Statement find(db, "SELECT id, name FROM keys WHERE parent = ?1 AND fold = ?2");
    Statement insert(db, "INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)");
    for (const std::string_view part : splitKeyPath(path)) {
        const std::string fold = foldName(part);
        find.reset();
        find.bind(1, found.id).bind(2, fold);
        std::string name;
        if (find.step()) {
            found.id = find.integer(0);
            name = find.text(1);
        } else {
            insert.reset();
            insert.bind(1, found.id).bind(2, part).bind(3, fold);
            insert.step();
            found.id = sqlite3_last_insert_rowid(db);
            name = std::string(part);
        }
        if (!found.path.empty()) found.path += '\\';
        found.path += name;
    }
    return found;
}

}  // namespace kt64::reg::store
