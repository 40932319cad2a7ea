// Reading the centre's BuildType text.
#include "BuildType.h"

namespace kt64::program {

BuildTypeFields readBuildType(std::string_view text) {
    BuildTypeFields fields;
    std::string* const order[] = {&fields.model, &fields.source, &fields.relays, &fields.interface};
    std::size_t start = 0;
    for (std::string* field : order) {
        if (start > text.size()) break;
        auto slash = text.find('/', start);
        if (slash == std::string_view::npos) slash = text.size();
        *field = text.substr(start, slash - start);
        start = slash + 1;
    }
    if (!fields.relays.empty() && fields.relays.front() >= '0' && fields.relays.front() <= '9')
        fields.relayOutputs = fields.relays.front() - '0';
    return fields;
}

int relayOutputsOf(std::string_view text) { return readBuildType(text).relayOutputs.value_or(0); }

}  // namespace kt64::program
