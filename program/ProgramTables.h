// Reading and writing the rows of a program file's tables (Bloki, Daty,
// Rozkazy) as records, and the check that a database file is a relay program
// at all. The statements are the program's own; a failure of the engine is
// thrown as DatabaseError for the caller to show.
#pragma once

#include <cstdint>
#include <vector>

#include "ProgramRecords.h"
#include "SqlDatabase.h"

namespace kt64::program {

// Throws DatabaseError when db's file is not a relay program, its text
// saying what the file is instead: empty, not a database, cut short or
// otherwise damaged (with the engine's verdict), or a database without the
// tables and columns of a program.
void checkProgramFile(Database& db);

// "SELECT LP,Priorytet FROM Bloki ORDER BY LP" (Opis too).
std::vector<BlockRow> readBlocks(Database& db);
// "SELECT * FROM Daty ORDER BY NrBloku,DataOd,DataDo", equal rows by LP.
std::vector<DateRow> readDatesByBlock(Database& db);
// "SELECT * FROM Rozkazy ORDER BY Blok", equal rows by LP.
std::vector<CommandRow> readCommandsByBlock(Database& db);

// The blocks other than block 1 that apply on no day, in LP order: those
// without dates and those whose every date range ends before it starts.
std::vector<std::int64_t> blocksThatNeverApply(Database& db);
// Dates and commands together, as the centre's list counts them.
int recordCount(Database& db);

DateRow dateRowOf(const Query& q);
CommandRow commandRowOf(const Query& q);

// Each adds one row and returns its LP. A row's id field is used only when it
// is not 0 (an explicit block number).
std::int64_t insertBlock(Database& db, const BlockRow& block);
std::int64_t insertDate(Database& db, const DateRow& date);
std::int64_t insertCommand(Database& db, const CommandRow& command);

}  // namespace kt64::program
