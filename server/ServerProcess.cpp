// Start-up order of a run: the registration decides the mode; the control
// loop is set up before any thread exists (it blocks the control signals
// process-wide); the shared record and the worker start before the server
// listens; at the end the listening stops before the worker does, and the
// record is destroyed only after the worker thread has ended.
#include "ServerProcess.h"

#include <systemd/sd-daemon.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include "ClientFilter.h"
#include "ControlLoop.h"
#include "DeviceReadEvent.h"
#include "EventLog.h"
#include "AutomationObject.h"
#include "LinkWorker.h"
#include "MetricsEndpoint.h"
#include "PortOpener.h"
#include "ProgramPaths.h"
#include "Registry.h"
#include "Registration.h"
#include "LocalSockets.h"
#include "RpcServer.h"
#include "ServerConfig.h"
#include "ServiceAdvertisement.h"
#include "ServiceUnit.h"
#include "SharedDevice.h"
#include "ShutdownMonitor.h"
#include "Switches.h"
#include "SystemdServiceManager.h"

namespace kt64::server {

namespace {

void printFailure(HRESULT hr, std::string_view what) {
    std::fprintf(stderr, "%s: 0x%08X %.*s\n", std::string(kServiceName).c_str(), static_cast<unsigned>(hr),
                 static_cast<int>(what.size()), what.data());
}

// An installation message: the service name as caption, then the text.
void sayInstall(std::string_view text) {
    std::fprintf(stderr, "%s: %.*s\n", std::string(kServiceName).c_str(), static_cast<int>(text.size()), text.data());
}

std::unique_ptr<ServiceManager> serviceManager() {
    if (customUnitDirectory()) return std::make_unique<DetachedServiceManager>();
    return std::make_unique<SystemdServiceManager>();
}

// Whether the listening address reaches this computer only.
bool isLoopback(const std::string& address) {
    return address == "localhost" || address.starts_with("127.") || address == "::1" || address == "[::1]";
}

// Keeps the first failure of a sequence of steps that all run.
struct Outcome {
    HRESULT hr = S_OK;
    void add(HRESULT step) {
        if (!failed(hr)) hr = step;
    }
};

HRESULT registerServer() {
    Outcome out;
    auto manager = serviceManager();
    if (!uninstallService(*manager, sayInstall)) out.add(E_FAIL_HR);
    const auto app = writeAppIdEntries(false);
    if (failed(app)) return app;
    out.add(writeClassEntries(executablePath()));
    return out.hr;
}

HRESULT unregisterServer() {
    Outcome out;
    out.add(removeClassEntries());
    auto manager = serviceManager();
    if (!uninstallService(*manager, sayInstall)) out.add(E_FAIL_HR);
    out.add(removeAppIdEntries());
    return out.hr;
}

HRESULT installAsService() {
    Outcome out;
    auto manager = serviceManager();
    if (!uninstallService(*manager, sayInstall)) out.add(E_FAIL_HR);
    const auto app = writeAppIdEntries(true);
    if (failed(app)) return app;
    if (!installService(executablePath(), *manager, sayInstall)) out.add(E_FAIL_HR);
    out.add(writeClassEntries(executablePath()));
    return out.hr;
}

HRESULT serve(RunMode mode) {
    const bool asService = mode == RunMode::Service;
    const EventLog log(!asService);
    std::unique_ptr<ControlLoop> loop;
    try {
        loop = std::make_unique<ControlLoop>();
    } catch (const std::system_error& e) {
        if (asService) log.info(event_text::kHandlerNotInstalled);
        printFailure(E_FAIL_HR, e.what());
        return E_FAIL_HR;
    }

    SharedDevice device;
    DeviceReadEvent readEvent;
    ServerConfig config;
    SerialPortOpener opener;
    const char* idleVariable = std::getenv("KT64_IDLE_SHUTDOWN_MS");
    const auto idle = idleShutdownFrom(idleVariable);
    if (!idle)
        log.write(LogLevel::Warning, std::string("KT64_IDLE_SHUTDOWN_MS=") + idleVariable +
                                         " is not a number of milliseconds from 1 to 3600000; the server ends 5000 ms "
                                         "after its last client");
    ShutdownMonitor monitor(idle.value_or(kIdleShutdown), [&loop] { loop->quit(); });
    // What would end the server, as it changes: a service's status line
    // (systemctl status) follows every lease; a server started on demand
    // logs each time it becomes held or idle once its countdown runs.
    monitor.setObserver([&log, asService, held = std::optional<bool>()](const StopRule& rule) mutable {
        if (asService) {
            sd_notify(0, ("STATUS=" + describe(rule)).c_str());
            return;
        }
        if (!rule.countingDown || held == (rule.leases > 0)) return;
        held = rule.leases > 0;
        log.info(describe(rule));
    });
    LinkWorker worker(device, readEvent, opener, [&config] { return config.portForOpen(); });
    // A running transfer holds the server like a client does: the idle
    // countdown starts only once it has ended, and an orderly stop waits for
    // it in worker.stop().
    worker.setTransferHold([&monitor] { monitor.leaseStarted(); }, [&monitor] { monitor.leaseEnded(); });
    worker.setLog([&log](LogLevel level, const std::string& text) { log.write(level, text); });
    try {
        worker.start();
    } catch (const std::system_error& e) {
        printFailure(E_FAIL_HR, std::string("cannot start the link worker: ") + e.what());
        return E_FAIL_HR;
    }

    AutomationObject srv(device, readEvent, config);
    std::uint16_t port = 0;
    ServerAccess access;
    AccessSettings settings;
    try {
        port = config.rpcPort();
        settings = config.access();
        access.filter = ClientFilter::parse(settings.allowedClients);
    } catch (const reg::RegistryError& e) {
        const HRESULT hr = hresultFromWin32(static_cast<unsigned>(e.code()));
        printFailure(hr, e.what());
        worker.stop();
        return hr;
    } catch (const ClientFilterError& e) {
        // A restriction that cannot be understood must not leave the server
        // open: refuse to start.
        printFailure(E_FAIL_HR, e.what());
        worker.stop();
        return E_FAIL_HR;
    }
    access.tlsCertificate = settings.tlsCertificate;
    access.tlsKey = settings.tlsKey;
    access.tlsClientCA = settings.tlsClientCA;
    access.controlCertificates = parseControlClients(settings.controlClients);
    access.reflection = settings.reflection;
    access.log = [&log](LogLevel level, const std::string& text) { log.write(level, text); };
    RpcServer rpc(srv, monitor, settings.listenAddress, port, access);
    try {
        rpc.start();
    } catch (const ListenError& e) {
        printFailure(E_PORT_IN_USE, e.what());
        worker.stop();
        return E_PORT_IN_USE;
    }
    if (!access.controlCertificates.empty() && settings.tlsClientCA.empty())
        log.write(LogLevel::Warning,
                  "TlsControlClients is set but TlsClientCA is not: no client presents a certificate, so no other "
                  "computer may control the centre");
    log.info("listening on " +
             (settings.listenAddress.empty() ? std::string("every address") : settings.listenAddress) + ", TCP port " +
             std::to_string(rpc.port()) + ": other computers may read" +
             (access.controlCertificates.empty() || settings.tlsClientCA.empty()
                  ? std::string(", none may control the centre")
                  : ", control only with a certificate named in TlsControlClients") +
             (access.filter.restricts() ? " (callers limited by AllowedClients)" : "") +
             "; on this computer root and the group kt64 control through " +
             rpc::localSocketPath(rpc::LocalSocket::Control, static_cast<std::uint16_t>(rpc.port())).string());

    // Announced only once it listens, and only when other computers can
    // reach it; a missing Avahi daemon is one log line.
    std::unique_ptr<ServiceAdvertisement> advertisement;
    if (isLoopback(settings.listenAddress))
        log.info("Not advertised on the network: listening on " + settings.listenAddress + " only");
    else
        advertisement = std::make_unique<ServiceAdvertisement>(advertisedComputerName(), port,
                                                               [&log](std::string_view text) { log.info(text); });

    // Metrics only where the site asked for them; a wrong value or a busy
    // port costs the metrics, never the server.
    std::unique_ptr<MetricsEndpoint> metrics;
    try {
        if (const auto where = parseMetricsAddress(settings.metricsAddress)) {
            metrics = std::make_unique<MetricsEndpoint>(
                [&] {
                    return takeMetricsSnapshot(device, worker.counters(), monitor.leases(),
                                               std::chrono::steady_clock::now());
                },
                access.filter, access.log);
            if (!metrics->start(*where)) metrics.reset();
        }
    } catch (const MetricsAddressError& e) {
        log.write(LogLevel::Error, std::string("metrics not served: ") + e.what());
    }

    if (asService) {
        sd_notify(0, "READY=1");
        monitor.report();
        log.info(event_text::kServiceStarted);
    } else {
        monitor.start();
    }
    loop->run([&](int) {
        if (asService) log.info(event_text::kBadServiceRequest);
    });
    if (asService) sd_notify(0, "STOPPING=1");
    // A transfer under way ends whole with the interface still open, so the
    // clients that follow its progress see it to its end.
    if (worker.transferRunning()) {
        log.write(LogLevel::Info, "stopping once the command-list transfer under way has ended");
        worker.awaitTransferEnd();
    }

    // No call may be left waiting for the event, then no call may arrive,
    // then the worker ends; the record outlives all of them.
    advertisement.reset();
    metrics.reset();
    readEvent.close();
    rpc.shutdown();
    worker.stop();
    if (asService) log.info(event_text::kServiceStopped);
    return S_OK;
}

HRESULT run() {
    const auto decision = runDecision();
    if (failed(decision.code)) {
        printFailure(decision.code, decision.code == hresultFromWin32(kErrorFileNotFound)
                                        ? "not registered: run it once with -RegServer or -Service"
                                        : "the registration cannot be read: " + decision.detail);
        return decision.code;
    }
    if (decision.mode == RunMode::Service) {
        // A service runs only under the service manager, which tells it
        // where to report readiness.
        const char* socket = std::getenv("NOTIFY_SOCKET");
        if (socket == nullptr || *socket == '\0') {
            const auto hr = hresultFromWin32(kErrorFailedServiceControllerConnect);
            printFailure(hr, "installed as a service: start it with systemctl start VqSrvKt64");
            return hr;
        }
    }
    return serve(decision.mode);
}

}  // namespace

int exitStatusOf(HRESULT hr) {
    // The HRESULT itself is printed; the status follows the convention of
    // every program of the system: 0 done, 1 failed, 2 wrong command line.
    return failed(hr) ? 1 : 0;
}

int runProgram(std::span<const std::string_view> words) {
    HRESULT hr = S_OK;
    std::string_view refused;
    switch (parseSwitches(words, &refused)) {
    case Switch::Help:
        std::fwrite(kSwitchUsage.data(), 1, kSwitchUsage.size(), stdout);
        return 0;
    case Switch::Unknown:
        std::fprintf(stderr, "%s: unknown switch '%.*s'\n%.*s", std::string(kServiceName).c_str(),
                     static_cast<int>(refused.size()), refused.data(), static_cast<int>(kSwitchUsage.size()),
                     kSwitchUsage.data());
        return 2;
    case Switch::RegServer:
        hr = registerServer();
        break;
    case Switch::UnregServer:
        hr = unregisterServer();
        break;
    case Switch::Service:
        hr = installAsService();
        break;
    case Switch::Run:
        return exitStatusOf(run());
    }
    if (failed(hr)) printFailure(hr, "registration failed");
    return exitStatusOf(hr);
}

}  // namespace kt64::server
