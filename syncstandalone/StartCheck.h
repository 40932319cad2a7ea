// The stand-alone synchronisation program's two refusals: it runs only on a
// host without a running service manager (elsewhere the service does its
// work), and only when its command line holds the start-up marker "Orvu"
// that the console passes, so that it is not started by hand by mistake.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kt64::sync {

inline constexpr std::string_view kWrongPlatformText = "This program must be run under Win95\\98\\ME";
inline constexpr std::string_view kNotDirectlyText = "This program cannot be run directly.";

// The command line as one text: the arguments after the program's name
// joined by single blanks.
std::string commandLineOf(int argc, const char* const* argv);

// Case-sensitive search for the marker anywhere in the command line.
bool hasStartMarker(std::string_view commandLine);

// The refusal text, or nullopt when the program may run.
std::optional<std::string_view> refusal(bool serviceManagerRunning, std::string_view commandLine);

}  // namespace kt64::sync
