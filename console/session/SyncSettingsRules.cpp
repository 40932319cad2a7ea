// Formats of the settings form.
#include "SyncSettingsRules.h"

#include "CivilTime.h"

namespace kt64::console {

std::string dateText(const SystemTime& t) { return program::isoDate({t.year, t.month, t.day}); }

std::string timeText(const SystemTime& t) { return program::isoTime({t.hour, t.minute, t.second}); }

std::vector<std::string> slashFields(std::string_view text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto slash = text.find('/', start);
        if (slash == std::string_view::npos) slash = text.size();
        if (slash > start) fields.emplace_back(text.substr(start, slash - start));
        start = slash + 1;
    }
    return fields;
}

}  // namespace kt64::console
