// The program file's view of the SQLite layer (platform/sqlite): a
// connection that remembers its file (Database) and a statement whose
// columns are read by name (Query). Every engine failure is thrown as
// DatabaseError with the engine's result code and its own text, which the
// users of the database show after "Błąd bazy danych: ".
//
// Columns are addressed by name without regard to case. When a query
// returns two columns of the same name (KodOp.Opis and Rozkazy.Opis in the
// command list), the second one is addressed with the suffix "2" ("Opis2").
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CivilTime.h"
#include "SqlConnection.h"

namespace kt64::program {

using DatabaseError = sql::SqlError;
// BEGIN IMMEDIATE at construction; ROLLBACK at destruction unless committed.
using Transaction = sql::WriteTransaction;

class Query;

class Database : public sql::Connection {
public:
    // Opens an existing file for reading and writing; never creates one.
    static Database open(const std::filesystem::path& file);
    // Opens or creates a file (tools and tests).
    static Database create(const std::filesystem::path& file);

    Query query(std::string_view sql);
    const std::filesystem::path& file() const { return file_; }

private:
    Database(sql::Connection db, std::filesystem::path file) : sql::Connection(std::move(db)), file_(std::move(file)) {}
    std::filesystem::path file_;
};

class Query : public sql::Statement {
public:
    // Steps to the next row; false at the end of the result.
    bool next() { return step(); }

    // Index of a named column (see the file comment), or -1.
    int columnIndex(std::string_view name) const;

    bool isNull(std::string_view column) const { return Statement::isNull(require(column)); }
    // NULL reads as 0 and "".
    std::int64_t integer(std::string_view column) const { return Statement::integer(require(column)); }
    bool boolean(std::string_view column) const { return integer(column) != 0; }
    std::string text(std::string_view column) const { return Statement::text(require(column)); }
    // Empty for NULL and for text that is not a date or time of day.
    std::optional<CivilDate> date(std::string_view column) const;
    std::optional<TimeOfDay> time(std::string_view column) const;

private:
    explicit Query(sql::Statement st) : sql::Statement(std::move(st)) {}
    friend class Database;
    int require(std::string_view column) const;
    mutable std::vector<std::string> names_;
};

}  // namespace kt64::program
