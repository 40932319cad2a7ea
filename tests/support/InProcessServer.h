// The link server's parts assembled in this process as the VqSrvKt64
// program assembles them (shared record, device-read event, worker on the
// real port opener, automation class, gRPC server with its leases), around
// the emulated centre on a pseudo-terminal named COM1 in a private registry.
// For targets that link the server's RPC library, the emulator and the
// client.
#pragma once

#include <memory>
#include <string>

#include "CentreEmulator.h"
#include "DeviceReadEvent.h"
#include "Kt64Client.h"
#include "AutomationObject.h"
#include "LinkWorker.h"
#include "PortOpener.h"
#include "Registry.h"
#include "RpcServer.h"
#include "ServerConfig.h"
#include "SharedDevice.h"
#include "ShutdownMonitor.h"
#include "TestEnvironment.h"

namespace kt64::test {

struct InProcessServer {
    // paced: the centre answers at the wire's speed (4800 baud).
    explicit InProcessServer(bool paced = false) {
        sim::EmulatorOptions options;
        options.pacing = paced;
        options.linkPath = (registry.dir() / "ttyKT").string();
        emulator = std::make_unique<sim::CentreEmulator>(options);
        emulator->start();
        reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv\\Devices")
            .setString("COM1", emulator->devicePath());
        worker.start();
    }
    ~InProcessServer() {
        event.close();
        server.shutdown();
        worker.stop();
        emulator->stop();
    }
    InProcessServer(const InProcessServer&) = delete;
    InProcessServer& operator=(const InProcessServer&) = delete;

    // Starts answering gRPC calls on a free port of the loopback.
    void listen() { server.start(); }
    // "localhost:PORT" of the listening server.
    std::string address() const { return "localhost:" + std::to_string(server.port()); }
    std::unique_ptr<client::ServerProxy> connect() const { return client::ConnectServer(address()); }
    // Until the worker has read the centre's status (false after 10 s).
    bool statusRead() {
        return eventually([&] { return srv.GetGmtTime().ok(); });
    }

    TempRegistry registry;
    std::unique_ptr<sim::CentreEmulator> emulator;
    server::SharedDevice device;
    server::DeviceReadEvent event;
    server::ServerConfig config;
    server::SerialPortOpener opener;
    server::LinkWorker worker{device, event, opener, [this] { return config.portForOpen(); }};
    server::AutomationObject srv{device, event, config};
    server::ShutdownMonitor leases{server::kIdleShutdown, [] {}};
    server::RpcServer server{srv, leases, "127.0.0.1", 0};
};

}  // namespace kt64::test
