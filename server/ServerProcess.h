// The VqSrvKt64 program: the switches (-RegServer, -UnregServer, -Service)
// and the run modes (local server started on demand, or systemd service).
//
// Exit status. The process ends with an HRESULT (printed in hex with its
// meaning on standard error when it is a failure); the exit status is:
//   0  S_OK
//   2  0x80070002  not registered (no AppID key): register it first
//   3  0x80070427  registered as a service but not started by systemd
//   4  0x80072740  the TCP port RpcPort is taken or not permitted
//   1  any other failure (registry store errors 0x8007xxxx, service
//      installation 0x80004005, start-up of the worker)
#pragma once

#include <span>
#include <string_view>

#include "HResult.h"

namespace kt64::server {

inline constexpr HRESULT E_PORT_IN_USE = hresultOf(0x80072740u);

int exitStatusOf(HRESULT hr);

// The whole program; returns the process's exit status.
int runProgram(std::span<const std::string_view> words);

}  // namespace kt64::server
