// A program with unsaved changes when the system ends the console: SIGTERM
// at shutdown or logout, SIGHUP when its terminal goes, SIGINT. Nobody is
// there to answer "Zapisać zmiany w ...?", and leaving without saving would
// lose the caretaker's edits, so the working copy is kept in the console's
// data folder ("unsaved.dsk") with the name of the program file it belongs
// to beside it ("unsaved.name"; empty for a program never saved). The next
// start opens the kept copy under that name, marked as changed, and says
// so; the operator then saves the changes or drops them as after any edit.
// The program file itself is never written without the operator.
#pragma once

#include <QString>

#include <filesystem>
#include <string>

#include "Kt64Document.h"

namespace kt64::console {

// The folder of a kept program: the console's folder in the user's data
// folder (~/.local/share/KT64); empty when the user has none, and an empty
// folder keeps and restores nothing.
std::filesystem::path defaultUnsavedFolder();

// Keeps the open program in folder when it has unsaved changes. False when
// there was nothing to keep, or (why says what failed) it could not be kept.
bool keepUnsavedProgram(Kt64Document& doc, const std::filesystem::path& folder, std::string& why);

// Opens the program kept in folder, if one is, under the name it belongs to
// and marked as changed, and removes the kept copy. Returns what to tell
// the operator: that the changes are back, or why they could not be
// brought back (the kept copy then stays where it is); empty when nothing
// was kept.
QString restoreUnsavedProgram(Kt64Document& doc, const std::filesystem::path& folder);

inline constexpr const char* kUnsavedRestoredText =
    "KT64mon został zamknięty przez system przed zapisaniem zmian w programie %1. Zmiany przywrócono: zapisz "
    "program, aby je zachować.";
inline constexpr const char* kUnsavedNotRestoredText =
    "Nie mogę przywrócić niezapisanych zmian programu z pliku %1:\n%2\nPlik pozostaje na miejscu.";

}  // namespace kt64::console
