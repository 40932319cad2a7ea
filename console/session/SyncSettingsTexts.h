// SyncSettingsTexts: what the synchronisation settings form
// (SyncSettingsView) shows beside the values of SyncSettingsModel, without
// the form: the texts of its status line and placeholders. Its clocks show
// the program files' ISO date and time (program::isoDate, isoTime).
#pragma once

#include <string_view>

namespace kt64::console {

inline constexpr std::string_view kStatusNotConnected = "Brak połączenia z serwerem !";
inline constexpr std::string_view kStatusConnected = "Połączenie z serwerem nawiązano pomyślnie!";
inline constexpr std::string_view kStatusNoError = "Brak błędu !";
inline constexpr std::string_view kStatusConnectionError = "Błąd połączenia z serwerem !";
inline constexpr std::string_view kStatusInitial = "Linia statusu serwera";

inline constexpr std::string_view kDatePlaceholder = "xxxx-xx-xx";
inline constexpr std::string_view kTimePlaceholder = "xx:xx:xx";
inline constexpr std::string_view kBuildTypePlaceholder = "KT-64/xxx/x/xxx";
inline constexpr std::string_view kSerialPlaceholder = "xx/xxxx";

inline constexpr std::string_view kSaveFailedCaption = "Błąd!";

}  // namespace kt64::console
