// The program's command-line switches: words introduced by '-' or '/',
// compared case-insensitively as whole words (-regserver, /RegServer). The
// first switch found decides, and no switch means: run. The switches an
// automation launcher adds of its own (-Embedding, -Automation) mean run
// too; a help switch (--help, -h, -?, /?, -help) asks for the usage text;
// any other switch is refused (Unknown) so that a mistyped -RegSrever never
// starts a server. Words without '-' or '/' are ignored.
#pragma once

#include <span>
#include <string_view>

namespace kt64::server {

enum class Switch { Run, RegServer, UnregServer, Service, Help, Unknown };

// unknown, when given, receives the refused word.
Switch parseSwitches(std::span<const std::string_view> words, std::string_view* unknown = nullptr);

// The usage text printed for Help and, after the refusal, for Unknown.
extern const std::string_view kSwitchUsage;

}  // namespace kt64::server
