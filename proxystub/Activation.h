// On-demand start of the local link server: the executable registered under
// HKEY_CLASSES_ROOT\CLSID\{FFDCA866-8EB7-48D2-9DBF-48BB2575BC22}\LocalServer32
// is started as a detached process (own session, working directory "/",
// standard streams on /dev/null, no inherited descriptors), so that it
// outlives the client that started it and ends by its own shutdown rule.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace kt64::client {

// The registered server executable; nullopt when the class is not
// registered for a local server (or the registry cannot be read). A value
// in double quotes, as Windows tools write it, is taken without them.
std::optional<std::filesystem::path> registeredLocalServer();

// The executable of a LocalServer32 value: the text inside leading double
// quotes, else the whole text; trailing blanks dropped.
std::filesystem::path localServerPath(std::string_view value);

// Starts program detached, without arguments. Throws std::system_error
// when it cannot be started (fork failed, or exec failed: the errno of the
// failing exec is reported back through a close-on-exec pipe).
void startDetached(const std::filesystem::path& program);

}  // namespace kt64::client
