// An emulated centre behind a real link server, for the console's tests,
// screenshots and benchmarks: the centre on a pseudo-terminal in this
// process with a clock that stands still until moved (so what the panel
// shows is known to the second), the link server program VqSrvKt64 of the
// build registered in a private registry (KT64_REGISTRY, KT64_UNIT_DIR) on
// a free loopback port, started as a child process that a test may kill or
// stop with SIGSTOP.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "CentreCalendar.h"
#include "CentreEmulator.h"
#include "ChildProcess.h"
#include "Kt64Client.h"
#include "Registry.h"
#include "TestEnvironment.h"

namespace kt64::console::test {

using sync::test::ChildProcess;

inline bool listening(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

inline std::uint16_t freeTcpPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
    ::close(fd);
    return ntohs(addr.sin_port);
}

class CentreRig {
public:
    // 17 May 2024 (a Friday) 12:34:56 GMT, +01:00, change on, both lines on,
    // GPS, two relay outputs: what the centre reports unless a test changes it.
    static sim::EmulatorOptions defaultOptions() {
        sim::EmulatorOptions o;
        o.settings.startGmt = sim::utcTime(2024, 5, 17, 12, 34, 56);
        o.pacing = false;
        return o;
    }

    explicit CentreRig(sim::EmulatorOptions options = defaultOptions())
        : registryEnv_("KT64_REGISTRY", (dir_.path() / "registry.db").string()),
          unitEnv_("KT64_UNIT_DIR", (dir_.path() / "units").string()),
          logEnv_("KT64_LOGDIR", (dir_.path() / "log").string()),
          clock_(std::make_shared<sim::ManualTimeSource>(*options.settings.startGmt)),
          centre_(withLink(options, dir_.path()), clock_) {
        centre_.start();
        port_ = freeTcpPort();
        auto key = reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv");
        key.setDword("Port", 1);
        key.setDword("RpcPort", port_);
        reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv\\Devices")
            .setString("COM1", centre_.devicePath());
        computer_ = "127.0.0.1:" + std::to_string(port_);
        ChildProcess registration("VqSrvKt64", {"-RegServer"}, {});
        registration.wait(std::chrono::seconds(20));
        startServer();
    }

    ~CentreRig() {
        lease_.reset();
        stopServer();
        centre_.stop();
    }

    // Starts the link server and waits until it has read the centre; holds
    // a lease so that it does not end between a test's steps.
    void startServer() {
        server_ = std::make_unique<ChildProcess>("VqSrvKt64", std::vector<std::string>{}, std::vector<std::string>{});
        if (!kt64::test::eventually([&] { return listening(port_); }, std::chrono::seconds(20)))
            throw std::runtime_error("the link server does not listen");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (;;) {
            try {
                if (!lease_) lease_ = client::ConnectServer(computer_);
                lease_->WaitForDeviceRead();
                lease_->GetBuildType();
                return;
            } catch (const client::ServerError&) {
                if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("the link server does not answer");
                lease_.reset();
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
    }

    void stopServer() {
        lease_.reset();
        if (!server_) return;
        server_->signal(SIGCONT);
        server_->signal(SIGTERM);
        if (!server_->wait(std::chrono::seconds(10))) server_->signal(SIGKILL);
        server_.reset();
    }

    // The server dies at once (connection refused from now on).
    void killServer() {
        lease_.reset();
        if (!server_) return;
        server_->signal(SIGKILL);
        server_->wait(std::chrono::seconds(10));
        server_.reset();
    }
    // The server goes silent, as behind a dead network; and wakes up again.
    void stopSignal() { server_->signal(SIGSTOP); }
    void continueSignal() { server_->signal(SIGCONT); }

    // One emulator control line ("set offset -01:00"); throws unless "ok".
    std::string control(const std::string& line) {
        const std::string reply = centre_.control(line);
        if (reply.rfind("ok", 0) != 0) throw std::runtime_error(line + ": " + reply);
        return reply.size() > 3 ? reply.substr(3) : std::string();
    }
    // Waits until the link server has read the centre after a change.
    void settle() {
        if (!lease_) return;
        lease_->WaitForDeviceRead();
        lease_->WaitForDeviceRead();
    }

    sim::CentreEmulator& centre() { return centre_; }
    sim::ManualTimeSource& clock() { return *clock_; }
    client::Kt64Srv& lease() { return *lease_; }
    const std::string& computer() const { return computer_; }
    pid_t serverPid() const { return server_ ? server_->pid() : -1; }

private:
    static sim::EmulatorOptions withLink(sim::EmulatorOptions o, const std::filesystem::path& dir) {
        o.linkPath = (dir / "centre").string();
        return o;
    }

    kt64::test::TempDir dir_;
    kt64::test::ScopedEnv registryEnv_, unitEnv_, logEnv_;
    std::shared_ptr<sim::ManualTimeSource> clock_;
    sim::CentreEmulator centre_;
    std::uint16_t port_ = 0;
    std::string computer_;
    std::unique_ptr<ChildProcess> server_;
    std::unique_ptr<client::Kt64Srv> lease_;
};

}  // namespace kt64::console::test
