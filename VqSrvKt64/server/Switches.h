// The program's command-line switches: words introduced by '-' or '/',
// compared case-insensitively as whole words (-regserver, /RegServer). The
// first switch found decides; any other word (also the switches a launcher
// may add of its own) is ignored, and no switch means: run.
#pragma once

#include <span>
#include <string_view>

namespace kt64::server {

enum class Switch { Run, RegServer, UnregServer, Service };

Switch parseSwitches(std::span<const std::string_view> words);

}  // namespace kt64::server
