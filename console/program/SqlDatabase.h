// A small RAII layer over SQLite for the program file: a connection
// (Database), a prepared statement walked row by row (Query) and a
// transaction guard. Every engine failure is thrown as DatabaseError with
// the engine's result code and its own text, which the users of the
// database show after "Błąd bazy danych: ".
//
// Columns are addressed by name without regard to case. When a query
// returns two columns of the same name (KodOp.Opis and Rozkazy.Opis in the
// command list), the second one is addressed with the suffix "2" ("Opis2").
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "CivilTime.h"

struct sqlite3;
struct sqlite3_stmt;

namespace kt64::program {

class DatabaseError : public std::runtime_error {
public:
    DatabaseError(int code, const std::string& text) : std::runtime_error(text), code_(code) {}
    // SQLite's primary or extended result code.
    int code() const noexcept { return code_; }

private:
    int code_;
};

class Query;

class Database {
public:
    // Opens an existing file for reading and writing; never creates one.
    static Database open(const std::filesystem::path& file);
    // Opens or creates a file (tools and tests).
    static Database create(const std::filesystem::path& file);

    Database(Database&& other) noexcept;
    Database& operator=(Database&& other) noexcept;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    ~Database();

    // Runs one or more statements that return no rows.
    void execute(std::string_view sql);
    Query query(std::string_view sql);
    std::int64_t lastInsertId() const;
    // Rows changed by the last INSERT, UPDATE or DELETE.
    int changes() const;
    const std::filesystem::path& file() const { return file_; }

private:
    Database(sqlite3* db, std::filesystem::path file) : db_(db), file_(std::move(file)) {}
    static Database openFile(const std::filesystem::path& file, int flags);
    friend class Query;
    sqlite3* db_ = nullptr;
    std::filesystem::path file_;
};

class Query {
public:
    Query(Query&& other) noexcept;
    Query& operator=(Query&& other) noexcept;
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    ~Query();

    // Parameters are numbered from 1.
    Query& bind(int index, std::int64_t value);
    Query& bind(int index, std::string_view value);
    Query& bindNull(int index);

    // Steps to the next row; false at the end of the result.
    bool next();
    // Steps a statement that returns no rows to its end.
    void run();
    // Rewinds for another run with new parameters.
    void reset();

    int columnCount() const;
    // Index of a named column (see the file comment), or -1.
    int columnIndex(std::string_view name) const;

    bool isNull(std::string_view column) const;
    // NULL reads as 0 and "".
    std::int64_t integer(std::string_view column) const;
    bool boolean(std::string_view column) const { return integer(column) != 0; }
    std::string text(std::string_view column) const;
    // Empty for NULL and for text that is not a date or time of day.
    std::optional<CivilDate> date(std::string_view column) const;
    std::optional<TimeOfDay> time(std::string_view column) const;

private:
    Query(sqlite3_stmt* stmt, sqlite3* db) : stmt_(stmt), db_(db) {}
    friend class Database;
    int require(std::string_view column) const;
    sqlite3_stmt* stmt_ = nullptr;
    sqlite3* db_ = nullptr;
    mutable std::vector<std::string> names_;
};

// BEGIN at construction; ROLLBACK at destruction unless committed.
class Transaction {
public:
    explicit Transaction(Database& db);
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction();
    void commit();

private:
    Database& db_;
    bool open_ = true;
};

}  // namespace kt64::program
