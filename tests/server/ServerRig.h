// The server's logic assembled around a FakeCentre, as the program assembles
// it around the serial port: shared record, device-read event, worker and
// automation class, with a temporary registry.
#pragma once

#include <cstdio>
#include <ostream>

#include "DeviceReadEvent.h"
#include "FakeCentre.h"
#include "AutomationObject.h"
#include "LinkWorker.h"
#include "ServerConfig.h"
#include "TestEnvironment.h"
#include "SharedDevice.h"
#include "WorkerState.h"

namespace kt64::server {
// Readable failure messages: "0x80040206 Transmisja jest zatrzymana.".
inline void PrintTo(const CallStatus& s, std::ostream* os) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(s.code));
    *os << code << " " << s.text;
}
}  // namespace kt64::server

namespace kt64::test {

struct ServerRig {
    explicit ServerRig(sim::CentreSettings settings = FakeCentre::defaultSettings()) : centre(settings) {}

    // Starts the worker and waits for the first good status.
    bool startValid() {
        worker.start();
        return eventually([&] { return srv.GetGmtTime().ok(); });
    }
    // Waits until the worker has emptied the queue and finished what it took.
    // Two polls after the queue emptied, the last command taken has ended.
    bool settle() {
        if (!eventually([&] { return device.queued().empty(); })) return false;
        const auto polls = worker.exchanges();
        return eventually([&] { return worker.exchanges() >= polls + 2; });
    }

    TempRegistry registry;
    FakeCentre centre;
    server::SharedDevice device;
    server::DeviceReadEvent event;
    server::ServerConfig config;
    server::LinkWorker worker{device, event, centre, [this] { return config.portForOpen(); }};
    server::AutomationObject srv{device, event, config};
};

}  // namespace kt64::test
