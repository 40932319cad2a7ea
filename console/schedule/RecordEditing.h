// What the schedule list does to the program: add, edit as, edit, delete,
// copy and paste, with the limits of the centre's command list, the
// warnings about blocks without dates, the cascade that deletes a block's
// dates and commands with it, and the menu's enabling rules. No window: the
// dialogs are reached through RecordDialogs and every message through
// UserMessages, so the list view (CommandListView) only forwards its commands.
#pragma once

#include <bitset>
#include <cstdint>
#include <optional>
#include <vector>

#include "ItemCode.h"
#include "ProgramDocument.h"
#include "ProgramRecords.h"
#include "ProgramTexts.h"
#include "UserMessages.h"

namespace kt64::console {

// The edit dialogs as the list uses them: each starts from the row given
// and returns true (with the row changed) when closed with OK. The date
// dialog starts from rows[0] and may give back two ranges: a range without
// year over the new year, split at it.
class RecordDialogs {
public:
    virtual ~RecordDialogs() = default;
    virtual bool editBlock(program::BlockRow& row) = 0;
    virtual bool editDate(std::vector<program::DateRow>& rows) = 0;
    virtual bool editCommand(program::CommandRow& row) = 0;
};

enum class EditMode { Add, EditAs, Edit };

// The context menu's entries by position.
enum MenuEntry : std::size_t {
    kMenuAdd = 0,     // "&Dodaj rekord" 32922
    kMenuEditAs = 1,  // "Edytuj &jako" 32923
    kMenuEdit = 2,    // "&Edytuj rekord" 32924
    kMenuDelete = 3,  // "&Usuń rekord" 32925
    kMenuCopy = 5,    // "&Kopiuj" 32948
    kMenuPaste = 6,   // "&Wklej" 32950
};
using MenuState = std::bitset<7>;

namespace listtext {
inline constexpr std::string_view kTooManyBlocks = program::text::kTooManyBlocks;
inline constexpr std::string_view kTooManyRecords = program::text::kTooManyRecords;
inline constexpr std::string_view kBlockWithoutDates = "Uwaga blok nie zawiera dat, rozkaz nie zostanie wykonany.";
inline constexpr std::string_view kConfirmDelete = "Czy na pewno chcesz usunąć wybrany rekord?";
inline constexpr std::string_view kLastDateDeleted =
    "Usunięto wszystkie daty z bloku, rozkazy w bloku nie zawierającym dat nie zostaną wykonane.";
inline constexpr std::string_view kOtherTable =
    "Nie mogę wkleić rekordu, ponieważ zawiera on dane pochodzące z innej tabeli.";
}  // namespace listtext

class RecordEditing {
public:
    RecordEditing(program::ProgramDocument& document, program::UserMessages& messages, RecordDialogs& dialogs)
        : document_(document), messages_(messages), dialogs_(dialogs) {}

    // The counts of the last tree rebuild, against which adding is refused.
    void setCounts(int blocks, int records) {
        blockCount_ = blocks;
        recordCount_ = records;
    }

    // Which entries of the context menu are enabled for the list showing
    // code with the row of selectedId selected (none: nothing selected).
    MenuState menuState(std::uint32_t code, std::optional<std::int64_t> selectedId) const;
    // Whether double click, Enter and Delete (with a row) and Insert (row or
    // not) act: not in the lists of all dates or commands, not on block 1
    // in the block list, and only with a program open.
    bool keysAct(std::uint32_t code, std::optional<std::int64_t> selectedId) const;

    // The outcome of a change: whether the program changed (then every view
    // is told to update with the list's code and the document is marked
    // modified) and whether the block list must refill.
    struct Outcome {
        bool changed = false;
        bool refillBlocks = false;
    };
    Outcome edit(EditMode mode, std::uint32_t code, std::optional<std::int64_t> selectedId);
    Outcome remove(std::uint32_t code, std::int64_t selectedId);

    void copy(std::uint32_t code, std::int64_t selectedId);
    Outcome paste(std::uint32_t code);
    int copiedKind() const { return copiedKind_; }
    std::int64_t copiedLp() const { return copiedLp_; }

private:
    Outcome editBlock(EditMode mode, std::optional<std::int64_t> id);
    Outcome editCommand(EditMode mode, std::int64_t block, std::optional<std::int64_t> id);
    Outcome editDate(EditMode mode, std::int64_t block, std::optional<std::int64_t> id);
    bool recordLimitReached();
    // After a command was added to block: says so when the block applies on
    // no day, so the command will never run.
    void warnIfNeverRuns(program::Database& db, std::int64_t block);
    void finish(Outcome& outcome);

    program::ProgramDocument& document_;
    program::UserMessages& messages_;
    RecordDialogs& dialogs_;
    int blockCount_ = 0;
    int recordCount_ = 0;
    int copiedKind_ = 0;  // 0 nothing, else kKindBlocks, kKindCommands or kKindDates
    std::int64_t copiedLp_ = 0;
};

// The table a list kind holds records of: kKindBlocks, kKindCommands,
// kKindDates, or 0.
int tableKindOf(int kind);

}  // namespace kt64::console
