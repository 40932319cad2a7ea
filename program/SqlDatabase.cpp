// Program files over the SQLite layer (see SqlDatabase.h).
#include "SqlDatabase.h"

#include <sqlite3.h>
#include <strings.h>

namespace kt64::program {

namespace {

// Another program holding the file briefly (a backup, an indexer) is
// waited for instead of failing at once.
constexpr int kBusyTimeoutMs = 2000;

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

Database Database::open(const std::filesystem::path& file) {
    return Database(sql::Connection::open(file, Mode::ReadWrite, kBusyTimeoutMs), file);
}

Database Database::create(const std::filesystem::path& file) {
    return Database(sql::Connection::open(file, Mode::Create, kBusyTimeoutMs), file);
}

Query Database::query(std::string_view sql) { return Query(prepare(sql)); }

int Query::columnIndex(std::string_view name) const {
    const int n = columnCount();
    if (names_.empty()) {
        for (int i = 0; i < n; ++i) names_.push_back(columnName(i));
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

std::optional<CivilDate> Query::date(std::string_view column) const {
    if (isNull(column)) return std::nullopt;
    return parseIsoDate(text(column));
}

std::optional<TimeOfDay> Query::time(std::string_view column) const {
    if (isNull(column)) return std::nullopt;
    return parseIsoTime(text(column));
}

}  // namespace kt64::program
