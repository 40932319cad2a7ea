// Start-up of the console program Kt64 ("KT64mon"): the single-instance
// rule, the application profile, the document with a new program, the
// frame with all its views. runConsole() is main() without the process, so
// tests can start the console in their own process.
#pragma once

#include <filesystem>
#include <memory>

class QTranslator;

namespace kt64::console {

inline constexpr const char* kSecondInstanceText = "Program KT64mon jest już uruchomiony";

// The application profile (QSettings): the console's own organisation name
// with the application name "Kt64". Earlier versions kept it under a
// generic organisation name; carryOverOldSettings() reads that once.
inline constexpr const char* kSettingsOrganization = "KT64";
inline constexpr const char* kSettingsApplication = "Kt64";
inline constexpr const char* kOldSettingsOrganization = "Local AppWizard-Generated Applications";

// When the profile is still empty, copies every value of the old place
// into it (the recent files and anything else it held), so an update
// loses none of them.
// The old place is left as it was and is not read again once the profile
// holds anything.
void carryOverOldSettings();

struct ConsoleStart {
    // Folder of the single-instance lock file.
    std::filesystem::path lockFolder;
    // Where a program with unsaved changes is kept when the system ends the
    // console, and found at the next start (UnsavedProgram.h).
    std::filesystem::path unsavedFolder;
};

// Qt's own texts (file dialogs, standard buttons) in Polish: Qt's
// translations (qtbase_pl, Debian package qt6-translations-l10n), loaded,
// not yet installed; nullptr when they are missing. The console's own texts
// do not go through it: the English ones it keeps ("Cancel") stay.
std::unique_ptr<QTranslator> loadQtTranslations();

// Runs the console in the existing QApplication until its window closes;
// returns the exit code. A second instance shows kSecondInstanceText and
// returns 1 without opening a window. SIGTERM, SIGHUP and SIGINT close the
// window as the system asks (MainFrame::closeForSystem) while it runs.
int runConsole(const ConsoleStart& start);

}  // namespace kt64::console
