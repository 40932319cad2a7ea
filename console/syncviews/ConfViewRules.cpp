// Formats and the build-type reading of the settings form.
#include "ConfViewRules.h"

#include <cstdio>

namespace kt64::console {

std::string dateText(const SystemTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year, t.month, t.day);
    return text;
}

std::string timeText(const SystemTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return text;
}

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

int relayOutputsOfBuildType(std::string_view buildType) {
    const auto fields = slashFields(buildType);
    if (fields.size() < 3) return 0;
    const char first = fields[2].front();
    return first >= '0' && first <= '9' ? first - '0' : 0;
}

}  // namespace kt64::console
