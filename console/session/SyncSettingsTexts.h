// SyncSettingsTexts: what the synchronisation settings form
// (SyncSettingsView) shows beside the values of SyncSettingsModel, without
// the form: the texts
// of its status line and placeholders, the date and time formats of its
// clocks.
#pragma once

#include <string>
#include <string_view>

#include "OleDate.h"

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

// "%Y-%m-%d" and "%H:%M:%S" of a moment.
std::string dateText(const SystemTime& t);
std::string timeText(const SystemTime& t);

}  // namespace kt64::console
