// SyncSettingsModel: the synchronisation settings (sync/SyncSettings.h, as
// stored) as the console's settings form (SyncSettingsView) edits them,
// without the form: loading them from HKLM\Software\Ardonis\Kt64Prog with
// the console's defaults, the period as number and unit, the ranges, the
// rule that refuses equal non-zero window bounds, what "Zapisz ust." and the
// form's destruction write, the last-synchronisation text and which
// controls the service state enables.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "OleDate.h"

namespace kt64::servicecontrol {

inline constexpr std::string_view kRegistryOpenFailedText = "Nie mogę otworzyć rejestru";
inline constexpr std::string_view kRegistryCloseFailedText = "Błąd otwarcia rejestru";
inline constexpr std::string_view kErrorCaption = "Błąd";
inline constexpr std::string_view kWindowBoundsEqualText = "Parametr Od-Do musi się różnić conajmniej o 1 sekundę";
// A lower bound above a non-zero upper one permits no synchronisation.
inline constexpr std::string_view kWindowReversedText =
    "Parametr Od nie może być większy od Do, bo wtedy synchronizacja nigdy nie nastąpi (Do = 0 oznacza brak górnej "
    "granicy).";
inline constexpr std::string_view kStartFailedText = "Nie mozna uruchomić usługi";
inline constexpr std::string_view kStopFailedText = "Nie mozna zatrzymać usługi";
inline constexpr std::string_view kServiceUnreachableText = "Nie mozna otworzyć usługi";
inline constexpr std::string_view kServiceCaption = "Uwaga!";
// A longer CompName would be replaced by the service with this computer's name.
inline constexpr std::string_view kCompNameTooLongText = "Nazwa komputera może mieć najwyżej 15 znaków.";
inline constexpr std::string_view kNoLastSyncText = "Data: xxxx-xx-xx            Godz: xx:xx:xx";

enum class PeriodUnit { Hours, Minutes };

// "h" / "m", as the unit list shows them.
std::string_view unitText(PeriodUnit unit);

struct SyncPeriod {
    std::uint32_t number = 24;
    PeriodUnit unit = PeriodUnit::Hours;
    friend bool operator==(const SyncPeriod&, const SyncPeriod&) = default;
};

// FreqSync of 60 or more loads as whole hours (integer division), below 60
// as minutes; saving stores hours x 60 or the minutes.
SyncPeriod periodOfFreqSync(std::uint32_t freqSync);
std::uint32_t freqSyncOfPeriod(SyncPeriod period);

struct Range {
    std::int64_t low;
    std::int64_t high;
};
// 1-24 for hours, 1-59 for minutes.
Range periodRange(PeriodUnit unit);
// SyncOd and SyncDo: 0-99 seconds.
inline constexpr Range kWindowRange{0, 99};

// The refusal shown for a value outside its range, nullopt when inside.
std::optional<std::string> rangeMessage(std::int64_t value, Range range);

struct SyncFormValues {
    DATE hourSync = 0.0;
    SyncPeriod period = periodOfFreqSync(1440);
    std::int32_t deviationFrom = 0;
    std::int32_t deviationTo = 0;
    std::string compName;
    bool syncSnd = false;
    bool openMin = false;
};

// The first refusal of the edited values (a CompName over 15 characters,
// then the numbers' ranges, then Od above a non-zero Do), nullopt when all
// fit.
std::optional<std::string> validateSyncForm(const SyncFormValues& form);

struct LoadedSyncForm {
    SyncFormValues settings;
    // false: the key could be neither opened nor created; the form shows
    // kRegistryOpenFailedText and runs with the defaults.
    bool keyAvailable = true;
};

// Reads the form's values, writing the console's default of each missing or
// wrongly typed one: HourSync 0.0, FreqSync 1440, SyncOd 0, SyncDo 0,
// CompName sync::defaultCompName(), OpenMin 0, SyncSnd 0. A CompName of more
// than 15 characters counts as missing.
LoadedSyncForm loadSyncForm();

enum class SaveOutcome {
    Saved,
    // Equal non-zero bounds: kWindowBoundsEqualText is shown; HourSync,
    // FreqSync, SyncOd and SyncDo are not written, CompName and SyncSnd are.
    WindowBoundsEqual,
    // The key could not be opened: kRegistryOpenFailedText, nothing written.
    KeyUnavailable,
};

// "Zapisz ust." after validateSyncForm accepted the values.
SaveOutcome saveSyncForm(const SyncFormValues& form);

// The form's destruction: writes OpenMin and SyncSnd; false when the key
// cannot be opened (the console then shows kRegistryCloseFailedText).
bool saveSyncFormOnClose(bool openMin, bool syncSnd);

// "Data: %Y-%m-%d            Godz: %H:%M:%S" of LastSync, or the
// placeholder when the key cannot be opened, LastSync is missing (0.0 is
// then written) or 0.0.
std::string lastSyncText();
std::string lastSyncText(DATE lastSync);

// What the form does with its controls for a service state.
struct ServiceStateView {
    // Settings controls, start, save and port list enabled (nullopt: unchanged).
    std::optional<bool> settingsEnabled;
    std::optional<bool> stopEnabled;
    // Show kServiceUnreachableText first.
    bool unreachable = false;
};
ServiceStateView serviceStateView(int state);

}  // namespace kt64::servicecontrol
