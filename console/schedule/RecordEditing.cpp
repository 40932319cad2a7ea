// The schedule list's changes to the program (see RecordEditing.h).
#include "RecordEditing.h"

#include <algorithm>

#include "ProgramTables.h"
#include "ProgramTexts.h"
#include "TextFormat.h"

namespace kt64::console {

using program::Database;
using program::DatabaseError;
using program::MessageIcon;

namespace {

std::optional<program::BlockRow> readBlock(Database& db, std::int64_t id) {
    auto q = db.query("SELECT * FROM Bloki WHERE LP=?");
    q.bind(1, id);
    if (!q.next()) return std::nullopt;
    return program::BlockRow{q.integer("LP"), q.integer("Priorytet"), q.text("Opis")};
}

std::optional<program::DateRow> readDate(Database& db, std::int64_t id) {
    auto q = db.query("SELECT * FROM Daty WHERE LP=?");
    q.bind(1, id);
    if (!q.next()) return std::nullopt;
    return program::dateRowOf(q);
}

std::optional<program::CommandRow> readCommand(Database& db, std::int64_t id) {
    auto q = db.query("SELECT * FROM Rozkazy WHERE LP=?");
    q.bind(1, id);
    if (!q.next()) return std::nullopt;
    return program::commandRowOf(q);
}

void updateBlock(Database& db, const program::BlockRow& b) {
    auto q = db.query("UPDATE Bloki SET Priorytet=?,Opis=? WHERE LP=?");
    q.bind(1, b.priority).bind(2, b.description).bind(3, b.id);
    q.run();
}

void bindDate(program::Query& q, int index, const std::optional<program::CivilDate>& d) {
    if (d) {
        q.bind(index, program::isoDate(*d));
    } else {
        q.bindNull(index);
    }
}

void updateDate(Database& db, const program::DateRow& d) {
    auto q = db.query("UPDATE Daty SET DataOd=?,DataDo=?,Roczny=?,Opis=? WHERE LP=?");
    bindDate(q, 1, d.from);
    bindDate(q, 2, d.to);
    q.bind(3, std::int64_t{d.inItsYearOnly}).bind(4, d.description).bind(5, d.id);
    q.run();
}

void updateCommand(Database& db, const program::CommandRow& c) {
    auto q = db.query(
        "UPDATE Rozkazy SET DzienTyg=?,Operacja=?,CzasRozk=?,CzasImp=?,CzasCyklu=?,CzasImpMS=?,CzasCyklMS=?,"
        "NrPrzek=?,Opis=? WHERE LP=?");
    q.bind(1, c.weekdays).bind(2, c.operation);
    if (c.time) {
        q.bind(3, program::isoTime(*c.time));
    } else {
        q.bindNull(3);
    }
    q.bind(4, c.impulse).bind(5, c.cycle).bind(6, std::int64_t{c.impulseInMinutes});
    q.bind(7, std::int64_t{c.cycleInMinutes}).bind(8, c.relay).bind(9, c.description).bind(10, c.id);
    q.run();
}

bool blockHasDates(Database& db, std::int64_t block) {
    auto q = db.query("SELECT LP FROM Daty WHERE NrBloku=?");
    q.bind(1, block);
    return q.next();
}

}  // namespace

int tableKindOf(int kind) {
    switch (kind) {
    case kKindBlocks:
        return kKindBlocks;
    case kKindCommands:
    case kKindBlockCommands:
        return kKindCommands;
    case kKindDates:
    case kKindBlockDates:
        return kKindDates;
    default:
        return 0;
    }
}

MenuState RecordEditing::menuState(std::uint32_t code, std::optional<std::int64_t> selectedId) const {
    MenuState on;
    on.set();
    on.reset(4);  // the separator
    const int kind = kindOf(code);
    const bool open = document_.isOpen();
    if (!selectedId) {
        on.reset(kMenuEditAs);
        on.reset(kMenuEdit);
        on.reset(kMenuDelete);
        on.reset(kMenuCopy);
    }
    if (copiedKind_ == 0) on.reset(kMenuPaste);
    if (kind == kKindCommands || kind == kKindDates || !open) {
        for (auto e : {kMenuAdd, kMenuEditAs, kMenuEdit, kMenuDelete, kMenuPaste}) on.reset(e);
    }
    if (!acceptsRecords(kind) || !open) on.reset(kMenuAdd);
    if (kind == kKindBlocks && selectedId && *selectedId == program::kBaseBlock) {
        for (auto e : {kMenuAdd, kMenuEditAs, kMenuEdit, kMenuDelete}) on.reset(e);
    }
    return on;
}

bool RecordEditing::keysAct(std::uint32_t code, std::optional<std::int64_t> selectedId) const {
    const int kind = kindOf(code);
    if (kind == kKindCommands || kind == kKindDates || !document_.isOpen()) return false;
    return !(kind == kKindBlocks && selectedId && *selectedId == program::kBaseBlock);
}

void RecordEditing::finish(Outcome& outcome) {
    outcome.changed = true;
    document_.setModified(true);
}

void RecordEditing::warnIfNeverRuns(Database& db, std::int64_t block) {
    if (block == program::kBaseBlock) return;
    if (!blockHasDates(db, block)) {
        messages_.show(listtext::kBlockWithoutDates, MessageIcon::None);
        return;
    }
    const auto never = program::blocksThatNeverApply(db);
    if (std::find(never.begin(), never.end(), block) != never.end())
        messages_.show(program::formatText(program::text::kBlockNeverApplies, std::to_string(block).c_str()),
                       MessageIcon::None);
}

bool RecordEditing::recordLimitReached() {
    if (recordCount_ > program::kMaxRecords - 1) {
        messages_.show(listtext::kTooManyRecords, MessageIcon::Exclamation);
        return true;
    }
    return false;
}

RecordEditing::Outcome RecordEditing::edit(EditMode mode, std::uint32_t code, std::optional<std::int64_t> selectedId) {
    if (!document_.isOpen()) return {};
    if (mode != EditMode::Add && !selectedId) return {};
    const std::optional<std::int64_t> id = mode == EditMode::Add ? std::nullopt : selectedId;
    switch (kindOf(code)) {
    case kKindBlocks:
        // Block 1 is fixed.
        if (id && *id == program::kBaseBlock) return {};
        return editBlock(mode, id);
    case kKindBlockCommands:
        return editCommand(mode, idOf(code), id);
    case kKindBlockDates:
        return editDate(mode, idOf(code), id);
    default:
        return {};
    }
}

RecordEditing::Outcome RecordEditing::editBlock(EditMode mode, std::optional<std::int64_t> id) {
    Outcome outcome;
    if (mode != EditMode::Edit && blockCount_ > program::kMaxBlocks - 1) {
        messages_.show(listtext::kTooManyBlocks, MessageIcon::Exclamation);
        return outcome;
    }
    Database& db = *document_.database();
    try {
        program::BlockRow row;
        row.priority = 1;
        if (id) {
            auto found = readBlock(db, *id);
            if (!found) return outcome;
            row = *found;
        }
        if (!dialogs_.editBlock(row)) return outcome;
        outcome.refillBlocks = true;
        if (mode == EditMode::Edit) {
            updateBlock(db, row);
        } else {
            row.id = 0;
            program::insertBlock(db, row);
        }
    } catch (const DatabaseError& e) {
        messages_.show(std::string(program::text::kDatabaseError) + e.what(), MessageIcon::None);
    }
    finish(outcome);
    return outcome;
}

RecordEditing::Outcome RecordEditing::editCommand(EditMode mode, std::int64_t block, std::optional<std::int64_t> id) {
    Outcome outcome;
    if (mode != EditMode::Edit && recordLimitReached()) return outcome;
    Database& db = *document_.database();
    try {
        program::CommandRow row;
        row.time = program::TimeOfDay{};
        if (id) {
            auto found = readCommand(db, *id);
            if (!found) return outcome;
            row = *found;
        }
        if (!dialogs_.editCommand(row)) return outcome;
        if (mode == EditMode::Edit) {
            updateCommand(db, row);
        } else {
            row.block = block;
            program::insertCommand(db, row);
            warnIfNeverRuns(db, block);
        }
    } catch (const DatabaseError& e) {
        messages_.show(std::string(program::text::kDatabaseError) + e.what(), MessageIcon::None);
    }
    finish(outcome);
    return outcome;
}

RecordEditing::Outcome RecordEditing::editDate(EditMode mode, std::int64_t block, std::optional<std::int64_t> id) {
    Outcome outcome;
    if (mode != EditMode::Edit && recordLimitReached()) return outcome;
    Database& db = *document_.database();
    try {
        std::vector<program::DateRow> rows(1);
        if (id) {
            auto found = readDate(db, *id);
            if (!found) return outcome;
            rows[0] = *found;
        }
        const std::int64_t owner = id ? rows[0].block : block;
        if (!dialogs_.editDate(rows) || rows.empty()) return outcome;
        // A range split in two needs room for both.
        const int added = static_cast<int>(rows.size()) - (mode == EditMode::Edit ? 1 : 0);
        if (added > 0 && recordCount_ + added > program::kMaxRecords) {
            messages_.show(listtext::kTooManyRecords, MessageIcon::Exclamation);
            return outcome;
        }
        program::Transaction transaction(db);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (i == 0 && mode == EditMode::Edit) {
                updateDate(db, rows[0]);
            } else {
                rows[i].block = mode == EditMode::Edit ? owner : block;
                program::insertDate(db, rows[i]);
            }
        }
        transaction.commit();
    } catch (const DatabaseError& e) {
        messages_.show(std::string(program::text::kDatabaseError) + e.what(), MessageIcon::None);
    }
    finish(outcome);
    return outcome;
}

RecordEditing::Outcome RecordEditing::remove(std::uint32_t code, std::int64_t selectedId) {
    Outcome outcome;
    const int kind = kindOf(code);
    if (!document_.isOpen() || !acceptsRecords(kind)) return outcome;
    // Block 1 holds the program's default commands and cannot go.
    if (kind == kKindBlocks && selectedId == program::kBaseBlock) return outcome;
    if (!messages_.ask(listtext::kConfirmDelete, MessageIcon::Exclamation)) return outcome;
    Database& db = *document_.database();
    try {
        if (kind == kKindBlocks) {
            outcome.refillBlocks = true;
            // The block goes with its dates and commands, or not at all.
            program::Transaction transaction(db);
            for (const char* sql : {"DELETE FROM Rozkazy WHERE Blok=?", "DELETE FROM Daty WHERE NrBloku=?",
                                    "DELETE FROM Bloki WHERE LP=?"}) {
                auto q = db.query(sql);
                q.bind(1, selectedId);
                q.run();
            }
            transaction.commit();
        } else if (kind == kKindBlockCommands) {
            auto q = db.query("DELETE FROM Rozkazy WHERE LP=?");
            q.bind(1, selectedId);
            q.run();
        } else {
            const auto date = readDate(db, selectedId);
            auto q = db.query("DELETE FROM Daty WHERE LP=?");
            q.bind(1, selectedId);
            q.run();
            if (date && db.changes() > 0 && !blockHasDates(db, date->block))
                messages_.show(listtext::kLastDateDeleted, MessageIcon::None);
        }
    } catch (const DatabaseError& e) {
        messages_.show(std::string(program::text::kDatabaseError) + e.what(), MessageIcon::None);
    }
    finish(outcome);
    return outcome;
}

void RecordEditing::copy(std::uint32_t code, std::int64_t selectedId) {
    const int table = tableKindOf(kindOf(code));
    if (table == 0) return;
    copiedKind_ = table;
    copiedLp_ = selectedId;
}

RecordEditing::Outcome RecordEditing::paste(std::uint32_t code) {
    Outcome outcome;
    const int kind = kindOf(code);
    if (!document_.isOpen() || copiedKind_ == 0) return outcome;
    if (tableKindOf(kind) != copiedKind_) {
        messages_.show(listtext::kOtherTable, MessageIcon::None);
        return outcome;
    }
    const std::int64_t source = copiedLp_;
    // A copy is pasted once, whatever happens next.
    copiedKind_ = 0;
    copiedLp_ = 0;
    if (!acceptsRecords(kind)) return outcome;

    // Pasting fills the program like adding does, so it stops at the same
    // limits instead of making a program the centre cannot hold.
    if (kind == kKindBlocks) {
        if (blockCount_ > program::kMaxBlocks - 1) {
            messages_.show(listtext::kTooManyBlocks, MessageIcon::Exclamation);
            return outcome;
        }
    } else if (recordLimitReached()) {
        return outcome;
    }

    Database& db = *document_.database();
    try {
        const char* sql =
            kind == kKindBlocks ? "INSERT INTO Bloki(Priorytet,Opis) SELECT Priorytet,Opis FROM Bloki WHERE Lp=?"
            : kind == kKindBlockCommands
                ? "INSERT INTO Rozkazy(DzienTyg,Operacja,CzasRozk,CzasImp,CzasCyklu,CzasImpMS,CzasCyklMS,NrPrzek,"
                  "Opis,Blok) SELECT DzienTyg,Operacja,CzasRozk,CzasImp,CzasCyklu,CzasImpMS,CzasCyklMS,NrPrzek,Opis,"
                  "Blok FROM Rozkazy WHERE Lp=?"
                : "INSERT INTO Daty(DataOd,DataDo,Roczny,Opis,NrBloku) SELECT DataOd,DataDo,Roczny,Opis,NrBloku "
                  "FROM Daty WHERE LP=?";
        auto insert = db.query(sql);
        insert.bind(1, source);
        insert.run();
        // The copied record may have been deleted since: then nothing was
        // inserted and no other record may be moved.
        if (db.changes() == 0) return outcome;
        const std::int64_t added = db.lastInsertId();
        if (kind == kKindBlocks) outcome.refillBlocks = true;
        if (kind == kKindBlockCommands || kind == kKindBlockDates) {
            auto move = db.query(kind == kKindBlockCommands ? "UPDATE Rozkazy SET Blok=? WHERE LP=?"
                                                            : "UPDATE Daty SET NrBloku=? WHERE LP=?");
            move.bind(1, idOf(code)).bind(2, added);
            move.run();
        }
    } catch (const DatabaseError& e) {
        messages_.show(std::string(program::text::kDatabaseError) + e.what(), MessageIcon::None);
    }
    finish(outcome);
    return outcome;
}

}  // namespace kt64::console
