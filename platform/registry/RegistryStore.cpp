// Opening the registry's SQLite file, statements, transactions, key lookup.
#include "RegistryStore.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include "KeyPath.h"
#include "WholeFile.h"

namespace kt64::reg::store {

namespace {

constexpr int kSchemaVersion = 1;

int registryCode(const sql::SqlError& e) {
    const int rc = e.code();
    switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return kErrorBusy;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return kErrorAccessDenied;
    case SQLITE_CANTOPEN: {
        const int err = e.systemErrno();
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

// Switching to WAL needs a moment of exclusive access; several processes
// opening a fresh store at once may meet SQLITE_BUSY here without the busy
// handler being consulted, so retry up to the busy timeout.
void enableWal(Key::Store& db, const std::string& path) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    for (;;) {
        std::string mode;
        try {
            Statement st(db, "PRAGMA journal_mode=WAL");
            if (st.step()) mode = st.text(0);
        } catch (const sql::SqlError& e) {
            if ((e.code() & 0xFF) != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline) throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (mode == "wal") return;
        throw RegistryError(kErrorStore,
                            "registry " + path + ": cannot use write-ahead log (journal mode " + mode + ")");
    }
}

int userVersion(Key::Store& db) {
    Statement st(db, "PRAGMA user_version");
    st.step();
    return static_cast<int>(st.integer(0));
}

void ensureSchema(Key::Store& db, const std::string& path) {
    int version = userVersion(db);
    if (version == kSchemaVersion) return;
    if (version == 0) {
        WriteTransaction tx(db);
        // Another process may have created the schema while we waited.
        version = userVersion(db);
        if (version == 0) {
            db.execute(
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
        throw RegistryError(kErrorStore, "registry " + path + ": unknown store format " + std::to_string(version));
}

}  // namespace

void fail(const sql::SqlError& e) {
    std::string text = "registry ";
    const std::string file = !e.file().empty() ? e.file() : registryPath();
    text += file;
    text += ": ";
    text += e.what();
    const int code = registryCode(e);
    if (code == kErrorAccessDenied && file == systemRegistryPath())
        text += " (the link server's registration and settings: only root writes them)";
    throw RegistryError(code, text);
}

Key::Store open(StoreKind kind, Access access) {
    const std::filesystem::path path = storePath(kind);
    const bool system = kind == StoreKind::System;
    struct stat st {};
    // SQLite refuses a link in the store's place ("unable to open database
    // file") without saying why, and names no file when it is root's store.
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        throw RegistryError(kErrorStore, "registry " + path.string() +
                                             ": a symbolic link, which is not followed here (put the store itself "
                                             "in its place)");
    if (::stat(path.c_str(), &st) == 0) {
        // A directory or a FIFO in the store's place is named as such: to
        // SQLite the one is a "disk I/O error", the other blocks its open.
        try {
            openRegularFile(path);
        } catch (const FileError& e) {
            if (e.systemError() == 0) throw RegistryError(kErrorStore, std::string("registry ") + e.what());
        }
    } else if (access == Access::Read && errno == ENOENT) {
        // A store nobody has written yet holds no keys: that is an answer,
        // not a failure. Any other trouble (a folder that may not be
        // searched, a file where a folder should be) is left to SQLite,
        // which names it.
        return Key::Store();
    }
    bool created = false;
    if (access == Access::Write) {
        std::error_code ec;
        created = !std::filesystem::exists(path, ec);
        if (path.has_parent_path()) {
            if (system && !std::filesystem::exists(path.parent_path(), ec)) {
                // Only root's: the umask (0002 in the services) must not
                // leave the folder open to the group.
                std::filesystem::create_directories(path.parent_path().parent_path(), ec);
                if (::mkdir(path.parent_path().c_str(), 0755) == 0) ::chmod(path.parent_path().c_str(), 0755);
            }
            std::filesystem::create_directories(path.parent_path(), ec);
            if (ec)
                throw RegistryError(ec == std::errc::permission_denied || ec == std::errc::read_only_file_system
                                        ? kErrorAccessDenied
                                        : kErrorStore,
                                    "registry " + path.string() + ": cannot create folder " +
                                        path.parent_path().string() + ": " + ec.message());
        }
    }
    // Both stores sit where root writes them; the shared one's folder is
    // the group's: a link in a store's place is never followed.
    Key::Store db =
        Key::Store::open(path, access == Access::Read ? sql::Connection::Mode::ReadOnly : sql::Connection::Mode::Create,
                         kBusyTimeoutMs, false);
    if (access == Access::Read) {
        // The first read is where an unreadable file shows (SQLite opens
        // lazily); it fails here with SQLite's text and the path.
        const int version = userVersion(db);
        if (version == 0) return Key::Store();
        if (version != kSchemaVersion)
            throw RegistryError(kErrorStore,
                                "registry " + path.string() + ": unknown store format " + std::to_string(version));
        db.execute("PRAGMA foreign_keys=ON;");
        return db;
    }
    if (created) {
        // The group of the shared registry's folder (set-group-id) may write
        // the store, everyone may read it, whatever this process's umask;
        // the system store is its owner's (root's) alone. SQLite gives its
        // -wal and -shm files the same mode.
        using std::filesystem::perms;
        std::error_code ec;
        std::filesystem::permissions(path,
                                     perms::owner_read | perms::owner_write | perms::group_read | perms::others_read |
                                         (system ? perms::none : perms::group_write),
                                     ec);
    }
    enableWal(db, path.string());
    // The -wal and -shm files stay when the last writer closes: a reader
    // without write access to the folder can open a WAL store only while
    // both exist (it cannot create them), and they keep the store's mode.
    int persist = 1;
    sqlite3_file_control(db.handle(), "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    // FULL: a committed write survives a power cut, not only a crash.
    db.execute("PRAGMA foreign_keys=ON; PRAGMA synchronous=FULL;");
    ensureSchema(db, path.string());
    return db;
}

std::optional<FoundKey> findKey(Key::Store& db, Hive hive, std::string_view path) {
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

FoundKey createKey(Key::Store& db, Hive hive, std::string_view path) {
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
            found.id = db.lastInsertId();
            name = std::string(part);
        }
        if (!found.path.empty()) found.path += '\\';
        found.path += name;
    }
    return found;
}

}  // namespace kt64::reg::store
