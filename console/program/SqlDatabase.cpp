// SQLite connection, statement and transaction wrappers (see SqlDatabase.h).
#include "SqlDatabase.h"

#include <sqlite3.h>
#include <strings.h>

#include <cstdint>
#include <utility>

namespace kt64::program {

namespace {

[[noreturn]] void fail(sqlite3* db, int rc) {
    throw DatabaseError(rc, db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

// ---------------------------------------------------------------- Database

Database Database::openFile(const std::filesystem::path& file, int flags) {
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(file.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        DatabaseError error(rc, db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close(db);
        throw error;
    }
    sqlite3_extended_result_codes(db, 1);
    // Another program holding the file briefly (a backup, an indexer) is
    // waited for instead of failing at once.
    sqlite3_busy_timeout(db, 2000);
    return Database(db, file);
}

Database Database::open(const std::filesystem::path& file) { return openFile(file, SQLITE_OPEN_READWRITE); }

Database Database::create(const std::filesystem::path& file) {
    return openFile(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
}

Database::Database(Database&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), file_(std::move(other.file_)) {}

Database& Database::operator=(Database&& other) noexcept {
    if (this != &other) {
        sqlite3_close_v2(db_);
        db_ = std::exchange(other.db_, nullptr);
        file_ = std::move(other.file_);
    }
    return *this;
}

Database::~Database() { sqlite3_close_v2(db_); }

void Database::execute(std::string_view sql) {
    const std::string text(sql);
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const std::string error = message ? message : sqlite3_errstr(rc);
        sqlite3_free(message);
        throw DatabaseError(rc, error);
    }
}

Query Database::query(std::string_view sql) {
    sqlite3_stmt* stmt = nullptr;
    const int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr);
    if (rc != SQLITE_OK) fail(db_, rc);
    if (!stmt) throw DatabaseError(SQLITE_MISUSE, "empty statement");
    return Query(stmt, db_);
}

std::int64_t Database::lastInsertId() const { return sqlite3_last_insert_rowid(db_); }

int Database::changes() const { return sqlite3_changes(db_); }

// ------------------------------------------------------------------- Query

Query::Query(Query&& other) noexcept
    : stmt_(std::exchange(other.stmt_, nullptr)), db_(other.db_), names_(std::move(other.names_)) {}

Query& Query::operator=(Query&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(stmt_);
        stmt_ = std::exchange(other.stmt_, nullptr);
        db_ = other.db_;
        names_ = std::move(other.names_);
    }
    return *this;
}

Query::~Query() { sqlite3_finalize(stmt_); }

Query& Query::bind(int index, std::int64_t value) {
    const int rc = sqlite3_bind_int64(stmt_, index, value);
    if (rc != SQLITE_OK) fail(db_, rc);
    return *this;
}

Query& Query::bind(int index, std::string_view value) {
    const int rc = sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) fail(db_, rc);
    return *this;
}

Query& Query::bindNull(int index) {
    const int rc = sqlite3_bind_null(stmt_, index);
    if (rc != SQLITE_OK) fail(db_, rc);
    return *this;
}

bool Query::next() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    fail(db_, rc);
}

void Query::run() {
    while (next()) {
    }
}

void Query::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

int Query::columnCount() const { return sqlite3_column_count(stmt_); }

int Query::columnIndex(std::string_view name) const {
    const int n = columnCount();
    if (names_.empty()) {
        for (int i = 0; i < n; ++i) {
            const char* column = sqlite3_column_name(stmt_, i);
            names_.emplace_back(column ? column : "");
        }
    }
    for (int i = 0; i < n; ++i) {
        if (sameName(names_[i], name)) return i;
    }
    // "Opis2": the second column called "Opis".
    if (name.size() > 1 && name.back() == '2') {
        const auto base = name.substr(0, name.size() - 1);
        bool seen = false;
        for (int i = 0; i < n; ++i) {
            if (!sameName(names_[i], base)) continue;
            if (seen) return i;
            seen = true;
        }
    }
    return -1;
}

int Query::require(std::string_view column) const {
    const int i = columnIndex(column);
    if (i < 0) throw DatabaseError(SQLITE_ERROR, "no such column: " + std::string(column));
    return i;
}

bool Query::isNull(std::string_view column) const {
    return sqlite3_column_type(stmt_, require(column)) == SQLITE_NULL;
}

std::int64_t Query::integer(std::string_view column) const {
    const int i = require(column);
    switch (sqlite3_column_type(stmt_, i)) {
        case SQLITE_INTEGER:
            return sqlite3_column_int64(stmt_, i);
        case SQLITE_NULL:
            return 0;
        default: {
            // Reals and numeric text as the engine converts them; anything
            // else is not a number of the program.
            const double v = sqlite3_column_double(stmt_, i);
            if (v > 9.2e18) return INT64_MAX;
            if (v < -9.2e18) return INT64_MIN;
            return static_cast<std::int64_t>(v);
        }
    }
}

std::string Query::text(std::string_view column) const {
    const int i = require(column);
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
    if (!p) return {};
    return std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, i)));
}

std::optional<CivilDate> Query::date(std::string_view column) const {
    if (isNull(column)) return std::nullopt;
    return parseIsoDate(text(column));
}

std::optional<TimeOfDay> Query::time(std::string_view column) const {
    if (isNull(column)) return std::nullopt;
    return parseIsoTime(text(column));
}

// ------------------------------------------------------------- Transaction

Transaction::Transaction(Database& db) : db_(db) { db_.execute("BEGIN"); }

Transaction::~Transaction() {
    if (!open_) return;
    try {
        db_.execute("ROLLBACK");
    } catch (const DatabaseError&) {
        // The engine rolls back by itself when it cannot go on; nothing is
        // left to undo here.
    }
}

void Transaction::commit() {
    db_.execute("COMMIT");
    open_ = false;
}

}  // namespace kt64::program
