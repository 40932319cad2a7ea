// Formats of the settings form.
#include "SyncSettingsTexts.h"

#include "CivilTime.h"

namespace kt64::console {

std::string dateText(const SystemTime& t) { return program::isoDate({t.year, t.month, t.day}); }

std::string timeText(const SystemTime& t) { return program::isoTime({t.hour, t.minute, t.second}); }

}  // namespace kt64::console
