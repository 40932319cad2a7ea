// Starting the link server installed as a system service: one StartUnit
// call (mode "replace") to systemd's Manager object (org.freedesktop.systemd1,
// /org/freedesktop/systemd1) on the system bus. StartUnit only queues the
// start job; whether the server then comes up is seen by the caller, which
// waits for it to answer. Failures are ServerErrors without description,
// with the HRESULT a client gets when the service control manager cannot
// start a demand-start service.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "HResult.h"

namespace kt64::client {

// Asks systemd to start unit. timeout bounds the whole bus exchange (the
// bus call would otherwise wait 25 s for a manager that does not answer).
// Throws ServerError with serviceStartFailure(...) of the bus error.
void startSystemdUnit(const std::string& unit, std::chrono::milliseconds timeout);

// The HRESULT of a failed start: busError is the D-Bus error name ("" when
// the bus itself could not be opened), error the positive errno.
//   no bus, no systemd on it (or it cannot be activated), no reply
//                                        -> E_SCM_RPC_FAILURE
//   org.freedesktop.systemd1.NoSuchUnit  -> E_SERVICE_DOES_NOT_EXIST
//   org.freedesktop.systemd1.UnitMasked  -> E_SERVICE_DISABLED
//   access denied / authorization needed -> E_ACCESSDENIED
//   anything else                        -> E_SERVER_EXEC_FAILURE
HRESULT serviceStartFailure(std::string_view busError, int error);

}  // namespace kt64::client
