// Row access to Bloki, Daty and Rozkazy (see ProgramTables.h).
#include "ProgramTables.h"

#include <sqlite3.h>

#include <algorithm>

#include "RelayEvaluation.h"

namespace kt64::program {

namespace {

// Every column the program reads or writes; preparing these fails with the
// engine's own text ("no such table: Daty", "no such column: NrPrzek") when
// a file lacks one.
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

}  // namespace

void checkProgramFile(Database& db) {
    // A file that is not a database fails here ("file is not a database").
    auto check = db.query("PRAGMA quick_check");
    while (check.next()) {
        const std::string verdict = check.text("quick_check");
        if (verdict != "ok") throw DatabaseError(SQLITE_CORRUPT, verdict);
    }
    for (const auto sql : kShapeChecks) db.query(sql);
}

std::vector<BlockRow> readBlocks(Database& db) {
    std::vector<BlockRow> rows;
    auto q = db.query("SELECT LP,Priorytet,Opis FROM Bloki ORDER BY LP");
    while (q.next()) rows.push_back(BlockRow{q.integer("LP"), q.integer("Priorytet"), q.text("Opis")});
    return rows;
}

DateRow dateRowOf(const Query& q) {
    DateRow r;
    r.lp = q.integer("LP");
    r.dataOd = q.date("DataOd");
    r.dataDo = q.date("DataDo");
    r.roczny = q.boolean("Roczny");
    r.opis = q.text("Opis");
    r.nrBloku = q.integer("NrBloku");
    return r;
}

CommandRow commandRowOf(const Query& q) {
    CommandRow r;
    r.lp = q.integer("LP");
    r.dzienTyg = q.integer("DzienTyg");
    r.operacja = q.integer("Operacja");
    r.czasRozk = q.time("CzasRozk");
    r.czasImp = q.integer("CzasImp");
    r.czasImpMS = q.boolean("CzasImpMS");
    r.czasCyklu = q.integer("CzasCyklu");
    r.czasCyklMS = q.boolean("CzasCyklMS");
    r.nrPrzek = q.integer("NrPrzek");
    r.opis = q.text("Opis");
    r.blok = q.integer("Blok");
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
        if (!rangeNeverApplies(d.dataOd, d.dataDo, d.roczny)) applying.push_back(d.nrBloku);
    std::vector<std::int64_t> never;
    for (const auto& b : readBlocks(db))
        if (b.lp != kBaseBlock && std::find(applying.begin(), applying.end(), b.lp) == applying.end())
            never.push_back(b.lp);
    return never;
}

int recordCount(Database& db) {
    auto q = db.query("SELECT (SELECT COUNT(*) FROM Daty) + (SELECT COUNT(*) FROM Rozkazy) AS n");
    q.next();
    return static_cast<int>(q.integer("n"));
}

std::int64_t insertBlock(Database& db, const BlockRow& block) {
    auto q = db.query("INSERT INTO Bloki(LP,Priorytet,Opis) VALUES(?,?,?)");
    if (block.lp != 0) q.bind(1, block.lp);
    q.bind(2, block.priorytet).bind(3, block.opis);
    q.run();
    return db.lastInsertId();
}

std::int64_t insertDate(Database& db, const DateRow& date) {
    auto q = db.query("INSERT INTO Daty(DataOd,DataDo,Roczny,Opis,NrBloku) VALUES(?,?,?,?,?)");
    bindDate(q, 1, date.dataOd);
    bindDate(q, 2, date.dataDo);
    q.bind(3, std::int64_t{date.roczny}).bind(4, date.opis).bind(5, date.nrBloku);
    q.run();
    return db.lastInsertId();
}

std::int64_t insertCommand(Database& db, const CommandRow& c) {
    auto q = db.query(
        "INSERT INTO Rozkazy(DzienTyg,Operacja,CzasRozk,CzasImp,CzasImpMS,CzasCyklu,CzasCyklMS,NrPrzek,Opis,Blok) "
        "VALUES(?,?,?,?,?,?,?,?,?,?)");
    q.bind(1, c.dzienTyg).bind(2, c.operacja);
    if (c.czasRozk) {
        q.bind(3, isoTime(*c.czasRozk));
    } else {
        q.bindNull(3);
    }
    q.bind(4, c.czasImp).bind(5, std::int64_t{c.czasImpMS}).bind(6, c.czasCyklu);
    q.bind(7, std::int64_t{c.czasCyklMS}).bind(8, c.nrPrzek).bind(9, c.opis).bind(10, c.blok);
    q.run();
    return db.lastInsertId();
}

}  // namespace kt64::program
