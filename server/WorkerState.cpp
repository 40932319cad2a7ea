// Names of the worker states.
#include "WorkerState.h"

#include <array>

namespace kt64::server {

std::string_view workerStateName(std::int32_t code) {
    static constexpr std::array<std::string_view, 14> names{
        "W_OPEN",        "W_EXIT",      "W_POLL",     "W_PAUSE",     "W_ERROR",      "W_SETTIME",  "W_SETLINES",
        "W_SETLINETIME", "W_SETSERIAL", "W_SETBUILD", "W_SETPARAMS", "W_SETDIGLINE", "W_SENDROZK", "W_GETROZK"};
    if (code < 0 || code >= static_cast<std::int32_t>(names.size())) return "?";
    return names[static_cast<std::size_t>(code)];
}

}  // namespace kt64::server
