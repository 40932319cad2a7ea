// Zones and layout of the deviation-window picture.
#include "SyncHelpPicture.h"

namespace kt64::console {

std::vector<ZoneSpan> permitZones(WindowCase c) {
    switch (c) {
    case WindowCase::BothBounds:
        return {{-2, -1}, {1, 2}};
    case WindowCase::OdZero:
        return {{-2, 2}};
    case WindowCase::DoZero:
        return {{-3, -1}, {1, 3}};
    }
    return {};
}

std::vector<AxisMark> axisMarks(WindowCase c) {
    switch (c) {
    case WindowCase::BothBounds:
        return {{-2, "-Do"}, {-1, "-Od"}, {0, "0"}, {1, "+Od"}, {2, "+Do"}};
    case WindowCase::OdZero:
        return {{-2, "-Do"}, {0, "0"}, {2, "+Do"}};
    case WindowCase::DoZero:
        return {{-1, "-Od"}, {0, "0"}, {1, "+Od"}};
    }
    return {};
}

std::string_view caseCaption(WindowCase c) {
    switch (c) {
    case WindowCase::BothBounds:
        return "Od>0, Do>0";
    case WindowCase::OdZero:
        return "Od=0";
    case WindowCase::DoZero:
        return "Do=0";
    }
    return {};
}

RowGeometry rowGeometry(int row) { return RowGeometry{50 + row * 75, 110, 580}; }

}  // namespace kt64::console
