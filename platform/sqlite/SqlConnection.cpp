// SQLite connection, statement and transaction wrappers (see SqlConnection.h).
#include "SqlConnection.h"

#include <sqlite3.h>

#include <cstdint>
#include <utility>

namespace kt64::sql {

void throwError(sqlite3* db, int rc) {
    std::string file;
    if (db != nullptr) {
        const char* name = sqlite3_db_filename(db, "main");
        if (name != nullptr) file = name;
    }
    const char* text = db != nullptr && sqlite3_extended_errcode(db) == rc ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    throw SqlError(rc, text, std::move(file), db != nullptr ? sqlite3_system_errno(db) : 0);
}

// -------------------------------------------------------------- Connection

Connection Connection::open(const std::filesystem::path& file, Mode mode, int busyTimeoutMs, bool followLink) {
    int flags = SQLITE_OPEN_NOMUTEX | (followLink ? 0 : SQLITE_OPEN_NOFOLLOW);
    switch (mode) {
    case Mode::ReadOnly:
        flags |= SQLITE_OPEN_READONLY;
        break;
    case Mode::ReadWrite:
        flags |= SQLITE_OPEN_READWRITE;
        break;
    case Mode::Create:
        flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
        break;
    }
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(file.c_str(), &raw, flags, nullptr);
    Connection db(raw);
    if (raw == nullptr) throw SqlError(rc, sqlite3_errstr(rc), file.string());
    sqlite3_extended_result_codes(raw, 1);
    if (rc != SQLITE_OK) throwError(raw, sqlite3_extended_errcode(raw));
    sqlite3_busy_timeout(raw, busyTimeoutMs);
    return db;
}

Connection::Connection(Connection&& other) noexcept : db_(std::exchange(other.db_, nullptr)) {}

Connection& Connection::operator=(Connection&& other) noexcept {
    if (this != &other) {
        sqlite3_close_v2(db_);
        db_ = std::exchange(other.db_, nullptr);
    }
    return *this;
}

Connection::~Connection() { sqlite3_close_v2(db_); }

void Connection::execute(std::string_view sql) {
    const std::string text(sql);
    const int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throwError(db_, rc);
}

Statement Connection::prepare(std::string_view sql) { return Statement(*this, sql); }

std::int64_t Connection::lastInsertId() const { return sqlite3_last_insert_rowid(db_); }

int Connection::changes() const { return sqlite3_changes(db_); }

// --------------------------------------------------------------- Statement

Statement::Statement(const Connection& db, std::string_view sql) : db_(db.handle()) {
    const int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
    if (rc != SQLITE_OK) throwError(db_, rc);
    if (stmt_ == nullptr) throw SqlError(SQLITE_MISUSE, "empty statement");
}

Statement::Statement(Statement&& other) noexcept : db_(other.db_), stmt_(std::exchange(other.stmt_, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(stmt_);
        db_ = other.db_;
        stmt_ = std::exchange(other.stmt_, nullptr);
    }
    return *this;
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::bind(int index, std::int64_t value) {
    const int rc = sqlite3_bind_int64(stmt_, index, value);
    if (rc != SQLITE_OK) throwError(db_, rc);
    return *this;
}

Statement& Statement::bind(int index, std::string_view text) {
    // A null pointer would bind SQL NULL; an empty text is a real text.
    const int rc =
        sqlite3_bind_text64(stmt_, index, text.empty() ? "" : text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    if (rc != SQLITE_OK) throwError(db_, rc);
    return *this;
}

Statement& Statement::bindBlob(int index, std::span<const std::uint8_t> data) {
    const int rc = data.empty() ? sqlite3_bind_zeroblob(stmt_, index, 0)
                                : sqlite3_bind_blob64(stmt_, index, data.data(), data.size(), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) throwError(db_, rc);
    return *this;
}

Statement& Statement::bindNull(int index) {
    const int rc = sqlite3_bind_null(stmt_, index);
    if (rc != SQLITE_OK) throwError(db_, rc);
    return *this;
}

bool Statement::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throwError(db_, rc);
}

void Statement::run() {
    while (step()) {
    }
}

void Statement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

int Statement::columnCount() const { return sqlite3_column_count(stmt_); }

std::string Statement::columnName(int column) const {
    const char* name = sqlite3_column_name(stmt_, column);
    return name != nullptr ? name : "";
}

bool Statement::isNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

std::int64_t Statement::integer(int column) const {
    switch (sqlite3_column_type(stmt_, column)) {
    case SQLITE_INTEGER:
        return sqlite3_column_int64(stmt_, column);
    case SQLITE_NULL:
        return 0;
    default: {
        const double v = sqlite3_column_double(stmt_, column);
        if (v > 9.2e18) return INT64_MAX;
        if (v < -9.2e18) return INT64_MIN;
        return static_cast<std::int64_t>(v);
    }
    }
}

std::string Statement::text(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    const int n = sqlite3_column_bytes(stmt_, column);
    return p != nullptr ? std::string(p, static_cast<std::size_t>(n)) : std::string();
}

std::vector<std::uint8_t> Statement::bytes(int column) const {
    const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
    const int n = sqlite3_column_bytes(stmt_, column);
    return p != nullptr ? std::vector<std::uint8_t>(p, p + n) : std::vector<std::uint8_t>();
}

// -------------------------------------------------------- WriteTransaction

WriteTransaction::WriteTransaction(Connection& db) : db_(db) { db_.execute("BEGIN IMMEDIATE"); }

WriteTransaction::~WriteTransaction() {
    // The engine rolls back by itself when it cannot go on; a failing
    // ROLLBACK then leaves nothing to undo.
    if (open_) sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void WriteTransaction::commit() {
    db_.execute("COMMIT");
    open_ = false;
}

}  // namespace kt64::sql
