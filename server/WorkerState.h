// Codes of the link worker's state machine. WorkerState holds one of them;
// the codes 2, 3 and 5-13 are also the commands that clients put in the
// command queue (a command is the state the worker enters to run it).
#pragma once

#include <cstdint>
#include <string_view>

namespace kt64::server {

inline constexpr std::int32_t W_OPEN = 0;         // (re)open the port; the initial state
inline constexpr std::int32_t W_EXIT = 1;         // stop the worker
inline constexpr std::int32_t W_POLL = 2;         // poll the status; command: communication on
inline constexpr std::int32_t W_PAUSE = 3;        // communication off; command: switch it off
inline constexpr std::int32_t W_ERROR = 4;        // opening the port failed: wait, retry
inline constexpr std::int32_t W_SETTIME = 5;      // request 0x22
inline constexpr std::int32_t W_SETLINES = 6;     // request 0x77
inline constexpr std::int32_t W_SETLINETIME = 7;  // request 0x88
inline constexpr std::int32_t W_SETSERIAL = 8;    // request 0xAA
inline constexpr std::int32_t W_SETBUILD = 9;     // request 0xBB
inline constexpr std::int32_t W_SETPARAMS = 10;   // request 0x33
inline constexpr std::int32_t W_SETDIGLINE = 11;  // request 0x99
inline constexpr std::int32_t W_SENDROZK = 12;    // upload the command list (0xDD per record)
inline constexpr std::int32_t W_GETROZK = 13;     // download the command list (0xEE per record)

// "W_SETTIME" etc., for logs and test messages; "?" for an unknown code.
std::string_view workerStateName(std::int32_t code);

}  // namespace kt64::server
