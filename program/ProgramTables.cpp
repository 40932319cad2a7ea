// Row access to Bloki, Daty and Rozkazy (see ProgramTables.h).
#include "ProgramTables.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "FileFailureText.h"
#include "ProgramTexts.h"
#include "TextFormat.h"
#include "UniqueFd.h"
#include "WholeFile.h"

#include <algorithm>

#include "RelayEvaluation.h"

namespace kt64::program {

namespace {

// Every column the program reads or writes.
constexpr std::string_view kShapeChecks[] = {
    "SELECT LP,Priorytet,Opis FROM Bloki",
    "SELECT LP,DataOd,DataDo,Roczny,Opis,NrBloku FROM Daty",
    "SELECT LP,DzienTyg,Operacja,CzasRozk,CzasImp,CzasImpMS,CzasCyklu,CzasCyklMS,NrPrzek,Opis,Blok FROM Rozkazy",
    "SELECT Operacja,Opis FROM KodOp",
};

void bindDate(Query& q, int index, const std::optional<CivilDate>& date) {
    if (date) {
        q.bind(index, isoDate(*date));
    } else {
        q.bindNull(index);
    }
}

std::uint32_t bigEndian32(std::span<const std::uint8_t> b) {
    return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
}

// What the first 100 bytes (head) and the length of a database file say is
// wrong with it as a program file, "" when nothing. Looked at before the
// engine reads the file, since to the engine a file cut short is merely
// "malformed".
std::string programHeaderTrouble(std::span<const std::uint8_t> head, std::uint64_t length) {
    constexpr std::string_view kMagic{"SQLite format 3\0", 16};
    if (length == 0) return std::string(text::kEmptyFile);
    if (head.size() < 100 || std::string_view(reinterpret_cast<const char*>(head.data()), kMagic.size()) != kMagic)
        return std::string(text::kNotADatabase);
    // Page size at 16 (1 stands for 65536), page count at 28, valid while
    // the change counter at 24 equals the number at 92.
    const std::uint32_t pageSize = head[16] << 8 | head[17];
    const std::uint64_t pages = bigEndian32(head.subspan(28, 4));
    const std::uint64_t whole = pages * (pageSize == 1 ? 65536 : pageSize);
    if (pages != 0 && bigEndian32(head.subspan(24, 4)) == bigEndian32(head.subspan(92, 4)) && length < whole)
        return formatText(text::kProgramCutShort, static_cast<unsigned long long>(length),
                          static_cast<unsigned long long>(whole));
    return {};
}

// The file's header against its length, before the engine sees it.
void checkHeader(const std::filesystem::path& file) {
    std::array<std::uint8_t, 100> head{};
    std::uint64_t length = 0;
    ssize_t got = 0;
    try {
        const UniqueFd fd = openRegularFile(file);
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0) throw DatabaseError(SQLITE_IOERR, std::strerror(errno));
        length = static_cast<std::uint64_t>(st.st_size);
        while ((got = ::pread(fd.get(), head.data(), head.size(), 0)) < 0 && errno == EINTR) {
        }
        if (got < 0) throw DatabaseError(SQLITE_IOERR, std::strerror(errno));
    } catch (const FileError& e) {
        throw DatabaseError(SQLITE_CANTOPEN, fileFailureReason(e));
    }
    const auto why = programHeaderTrouble(std::span(head.data(), static_cast<std::size_t>(got)), length);
    if (!why.empty()) throw DatabaseError(SQLITE_NOTADB, why);
}

}  // namespace

void checkProgramFile(Database& db) {
    checkHeader(db.file());
    try {
        auto check = db.query("PRAGMA quick_check");
        while (check.next()) {
            const std::string verdict = check.text("quick_check");
            if (verdict != "ok") throw DatabaseError(SQLITE_CORRUPT, verdict);
        }
    } catch (const DatabaseError& e) {
        if ((e.code() & 0xFF) == SQLITE_NOTADB) throw DatabaseError(e.code(), std::string(text::kNotADatabase));
        throw DatabaseError(e.code(), formatText(text::kDamagedProgram, e.what()));
    }
    auto tables = db.query(
        "SELECT count(*) AS n FROM sqlite_master WHERE type = 'table' AND name IN ('Bloki', 'Daty', 'Rozkazy', "
        "'KodOp')");
    if (tables.next() && tables.integer("n") != 4)
        throw DatabaseError(SQLITE_ERROR, std::string(text::kNoProgramTables));
    // Preparing these fails with the engine's own text ("no such column:
    // NrPrzek") when a table lacks a column.
    for (const auto sql : kShapeChecks) {
        try {
            db.query(sql);
        } catch (const DatabaseError& e) {
            throw DatabaseError(e.code(), formatText(text::kNotAProgram, e.what()));
        }
    }
}

std::vector<BlockRow> readBlocks(Database& db) {
    std::vector<BlockRow> rows;
    auto q = db.query("SELECT LP,Priorytet,Opis FROM Bloki ORDER BY LP");
    while (q.next()) rows.push_back(BlockRow{q.integer("LP"), q.integer("Priorytet"), q.text("Opis")});
    return rows;
}

DateRow dateRowOf(const Query& q) {
    DateRow r;
    r.id = q.integer("LP");
    r.from = q.date("DataOd");
    r.to = q.date("DataDo");
    r.inItsYearOnly = q.boolean("Roczny");
    r.description = q.text("Opis");
    r.block = q.integer("NrBloku");
    return r;
}

CommandRow commandRowOf(const Query& q) {
    CommandRow r;
    r.id = q.integer("LP");
    r.weekdays = q.integer("DzienTyg");
    r.operation = q.integer("Operacja");
    r.time = q.time("CzasRozk");
    r.impulse = q.integer("CzasImp");
    r.impulseInMinutes = q.boolean("CzasImpMS");
    r.cycle = q.integer("CzasCyklu");
    r.cycleInMinutes = q.boolean("CzasCyklMS");
    r.relay = q.integer("NrPrzek");
    r.description = q.text("Opis");
    r.block = q.integer("Blok");
    return r;
}

std::vector<DateRow> readDatesByBlock(Database& db) {
    std::vector<DateRow> rows;
    auto q = db.query("SELECT * FROM Daty ORDER BY NrBloku,DataOd,DataDo,LP");
    while (q.next()) rows.push_back(dateRowOf(q));
    return rows;
}

std::vector<CommandRow> readCommandsByBlock(Database& db) {
    std::vector<CommandRow> rows;
    auto q = db.query("SELECT * FROM Rozkazy ORDER BY Blok,LP");
    while (q.next()) rows.push_back(commandRowOf(q));
    return rows;
}

std::vector<std::int64_t> blocksThatNeverApply(Database& db) {
    std::vector<std::int64_t> applying;
    for (const auto& d : readDatesByBlock(db))
        if (!rangeNeverApplies(d.from, d.to, d.inItsYearOnly)) applying.push_back(d.block);
    std::vector<std::int64_t> never;
    for (const auto& b : readBlocks(db))
        if (b.id != kBaseBlock && std::find(applying.begin(), applying.end(), b.id) == applying.end())
            never.push_back(b.id);
    return never;
}

int recordCount(Database& db) {
    auto q = db.query("SELECT (SELECT COUNT(*) FROM Daty) + (SELECT COUNT(*) FROM Rozkazy) AS n");
    q.next();
    return static_cast<int>(q.integer("n"));
}

std::int64_t insertBlock(Database& db, const BlockRow& block) {
    auto q = db.query("INSERT INTO Bloki(LP,Priorytet,Opis) VALUES(?,?,?)");
    if (block.id != 0) q.bind(1, block.id);
    q.bind(2, block.priority).bind(3, block.description);
    q.run();
    return db.lastInsertId();
}

std::int64_t insertDate(Database& db, const DateRow& date) {
    auto q = db.query("INSERT INTO Daty(DataOd,DataDo,Roczny,Opis,NrBloku) VALUES(?,?,?,?,?)");
    bindDate(q, 1, date.from);
    bindDate(q, 2, date.to);
    q.bind(3, std::int64_t{date.inItsYearOnly}).bind(4, date.description).bind(5, date.block);
    q.run();
    return db.lastInsertId();
}

std::int64_t insertCommand(Database& db, const CommandRow& c) {
    auto q = db.query(
        "INSERT INTO Rozkazy(DzienTyg,Operacja,CzasRozk,CzasImp,CzasImpMS,CzasCyklu,CzasCyklMS,NrPrzek,Opis,Blok) "
        "VALUES(?,?,?,?,?,?,?,?,?,?)");
    q.bind(1, c.weekdays).bind(2, c.operation);
    if (c.time) {
        q.bind(3, isoTime(*c.time));
    } else {
        q.bindNull(3);
    }
    q.bind(4, c.impulse).bind(5, std::int64_t{c.impulseInMinutes}).bind(6, c.cycle);
    q.bind(7, std::int64_t{c.cycleInMinutes}).bind(8, c.relay).bind(9, c.description).bind(10, c.block);
    q.run();
    return db.lastInsertId();
}

}  // namespace kt64::program
