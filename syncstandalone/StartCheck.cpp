// Start-up checks of the stand-alone synchronisation program.
#include "StartCheck.h"

#include "ServiceManager.h"

namespace kt64::sync {

std::string commandLineOf(int argc, const char* const* argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    return line;
}

bool hasStartMarker(std::string_view commandLine) { return commandLine.find(kStartMarker) != std::string_view::npos; }

std::optional<std::string_view> refusal(bool serviceManagerRunning, std::string_view commandLine) {
    if (serviceManagerRunning) return kWrongPlatformText;
    if (!hasStartMarker(commandLine)) return kNotDirectlyText;
    return std::nullopt;
}

}  // namespace kt64::sync
