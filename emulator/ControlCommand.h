// The emulator's control language: one command a line, used by the control
// socket, by CentreEmulator::control() and (as NAME VALUE pairs) by the
// kt64sim command line. Every reply is one line: "ok", "ok <value>" or
// "error: <reason>".
//
//   fault KIND [ARG] [once|times N]    see CentreFault.h
//   set NAME VALUE                     NAME as below
//   get status | state | fault | image | correction (image as 5810 hex digits)
//   image load PATH | image save PATH  the 2905-byte command list as a file
//   help
//
// Setting names and values:
//   gmt          now | YYYY-MM-DD HH:MM[:SS]   (GMT, years 2000..2099)
//   offset       [+|-]HH:MM                    local minus GMT, up to 23:59
//   change       on | off                      change of time switched on
//   to-summer    KEY,MONTH,HOUR                KEY 0 last, 1..4 first..fourth
//   to-winter    KEY,MONTH,HOUR                Sunday; HOUR 0..9
//   analog       on | off                      analogue line
//   digital      on | off                      digital line
//   line-time    HH:MM                         analogue line time
//   digital-type hm | hms | full | 0xNN        telegram type 0x00, 0x11, 0x22
//   source       none | gps | dcf | rs | lin | 0xNN
//   relays       0 | 1 | 2 | 0xNN
//   interface    none | 232 | 485 | 0xNN
//   firmware     X.Y | 0xNN                    one hex digit each: 1.2, 1.A
//   model        0xNN
//   serial       HH/HHHH                       e.g. 0A/1B2C
//   alarm        0xNN[,0xNN,0xNN]              status bytes 19, 20, 21
#pragma once

#include <string>
#include <string_view>

#include "Centre.h"
#include "CentreSettings.h"
#include "TimeSource.h"

namespace kt64::sim {

// The names applySetting knows, for the command line's option table.
inline constexpr std::string_view kSettingNames[] = {
    "gmt",          "offset", "change", "to-summer", "to-winter", "analog", "digital", "line-time",
    "digital-type", "source", "relays", "interface", "firmware",  "model",  "serial",  "alarm"};

// Sets one named value in the settings. Returns an empty string, or the
// reason the name or value was refused (the settings are then unchanged).
std::string applySetting(CentreSettings& settings, std::string_view name, std::string_view value,
                         const TimeSource& clock);

// Runs one control line against the centre and returns the reply line.
std::string runControl(Centre& centre, std::string_view line, const TimeSource& clock);

// The control language summary printed by --help and "help".
std::string_view controlHelp();

}  // namespace kt64::sim
