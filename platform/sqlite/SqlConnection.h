// The one RAII layer over SQLite used by the registry and the program
// files: a connection (opened read-only, read-write or created), prepared
// statements walked row by row, and a write transaction that takes the
// write lock at once. Every engine failure is thrown as SqlError carrying
// SQLite's extended result code, its own text and the file it concerns, so
// each user can word the failure its own way without calling SQLite again.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace kt64::sql {

class SqlError : public std::runtime_error {
public:
    // what() is SQLite's own text.
    SqlError(int code, const std::string& text, std::string file = {}, int systemErrno = 0)
        : std::runtime_error(text), code_(code), file_(std::move(file)), systemErrno_(systemErrno) {}
    // SQLite's extended result code (the primary code is code() & 0xFF).
    int code() const noexcept { return code_; }
    // The database file as SQLite names it; empty when unknown.
    const std::string& file() const noexcept { return file_; }
    // errno of the last failed system call, for failures to open.
    int systemErrno() const noexcept { return systemErrno_; }

private:
    int code_;
    std::string file_;
    int systemErrno_;
};

// Throws SqlError for the failed call that returned rc on db (db may be
// null). SQLite's message is used only when it belongs to rc, so a stale
// message of an earlier call never stands beside another code.
[[noreturn]] void throwError(sqlite3* db, int rc);

class Statement;

class Connection {
public:
    enum class Mode { ReadOnly, ReadWrite, Create };

    // An empty connection (no file); operator bool is false.
    Connection() = default;
    // Opens file with extended result codes and a busy timeout: another
    // process holding the file briefly is waited for instead of failing.
    // followLink false refuses a symbolic link in file's place (a file in a
    // folder that others may write, which root opens too).
    static Connection open(const std::filesystem::path& file, Mode mode, int busyTimeoutMs, bool followLink = true);

    Connection(Connection&& other) noexcept;
    Connection& operator=(Connection&& other) noexcept;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection();

    explicit operator bool() const noexcept { return db_ != nullptr; }
    // For the few engine calls this layer does not wrap (file controls,
    // checkpoints).
    sqlite3* handle() const noexcept { return db_; }

    // Runs one or more statements that return no rows.
    void execute(std::string_view sql);
    Statement prepare(std::string_view sql);
    std::int64_t lastInsertId() const;
    // Rows changed by the last INSERT, UPDATE or DELETE.
    int changes() const;

private:
    explicit Connection(sqlite3* db) : db_(db) {}
    sqlite3* db_ = nullptr;
};

class Statement {
public:
    Statement(const Connection& db, std::string_view sql);
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    // Parameters are numbered from 1. Empty text binds '' (never NULL).
    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, std::string_view text);
    Statement& bindBlob(int index, std::span<const std::uint8_t> data);
    Statement& bindNull(int index);

    // Steps to the next row; false at the end of the result.
    bool step();
    // Steps a statement that returns no rows to its end.
    void run();
    // Rewinds for another run and clears the parameters.
    void reset();

    int columnCount() const;
    std::string columnName(int column) const;
    bool isNull(int column) const;
    // Integers as stored; NULL reads as 0; reals and numeric text as the
    // engine converts them, clamped to the 64-bit range.
    std::int64_t integer(int column) const;
    // NULL reads as "".
    std::string text(int column) const;
    std::vector<std::uint8_t> bytes(int column) const;

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
};

// BEGIN IMMEDIATE ... COMMIT: takes the write lock at once (waiting up to
// the busy timeout), so a read-then-write never meets a stale snapshot and
// never fails half-way for a lock it could have waited for. Rolled back
// when destroyed without commit().
class WriteTransaction {
public:
    explicit WriteTransaction(Connection& db);
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    ~WriteTransaction();
    void commit();

private:
    Connection& db_;
    bool open_ = true;
};

}  // namespace kt64::sql
