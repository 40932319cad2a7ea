// An emulated centre behind a real link server, for every test, benchmark
// and screenshot run that needs the whole chain: a private registry, unit
// folder and log folder (KT64_REGISTRY, KT64_UNIT_DIR, KT64_LOGDIR); the
// centre on a pseudo-terminal, in this process (its clock chosen by the
// caller) or as the kt64sim program (so that a benchmark's process is the
// console alone); the link server program VqSrvKt64 of the build registered
// in that registry with the centre as COM1 on a free RpcPort of 127.0.0.1
// only, and started as a child process that a test may kill, or stop with
// SIGSTOP as behind a dead network. A lease is held on the server while it
// runs, so that it does not end between a test's steps. A server that a
// client started on demand after a kill (the console connecting again) is
// not the rig's child, but the rig ends it too, with its own.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "CentreEmulator.h"
#include "ChildProcess.h"
#include "Kt64Client.h"
#include "Loopback.h"
#include "Registry.h"
#include "TestEnvironment.h"
#include "WholeFile.h"

namespace kt64::test {

using kt64::test::ChildProcess;

class LinkServerRig {
public:
    // What tells that the server has read the centre: GetSyncTime answering
    // (a running clock), or a finished device reading and a BuildType (a
    // clock that stands still until moved, where no second ever turns).
    enum class Ready { SyncTime, DeviceRead };

    struct Options {
        // The centre's settings; the rig sets linkPath.
        sim::EmulatorOptions centre;
        // The in-process centre's clock; nullptr for the PC's.
        std::shared_ptr<sim::TimeSource> clock;
        // false: the centre is the kt64sim program (paced, the PC's clock).
        bool centreInProcess = true;
        // false: the registry names the port but no server is registered
        // or started until startServer().
        bool withServer = true;
        Ready ready = Ready::SyncTime;
    };

    explicit LinkServerRig(Options options)
        : registryEnv_("KT64_REGISTRY", (dir_.path() / "registry.db").string()),
          unitEnv_("KT64_UNIT_DIR", (dir_.path() / "units").string()),
          logEnv_("KT64_LOGDIR", (dir_.path() / "log").string()),
          ready_(options.ready) {
        const std::string link = (dir_.path() / "centre").string();
        std::string device;
        if (options.centreInProcess) {
            options.centre.linkPath = link;
            centre_ = options.clock ? std::make_unique<sim::CentreEmulator>(options.centre, options.clock)
                                    : std::make_unique<sim::CentreEmulator>(options.centre);
            centre_->start();
            device = centre_->devicePath();
        } else {
            centreProgram_ = std::make_unique<ChildProcess>(
                "kt64sim", std::vector<std::string>{"--link", link, "--pacing"}, std::vector<std::string>{});
            if (!eventually([&] { return std::filesystem::exists(link); }, std::chrono::seconds(20)))
                throw std::runtime_error("kt64sim did not start");
            device = link;
        }
        port_ = freeTcpPort();
        auto key = reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv");
        key.setDword("Port", 1);
        key.setDword("RpcPort", port_);
        key.setString("ListenAddress", "127.0.0.1");  // reachable from this computer only
        reg::Key::create(reg::Hive::LocalMachine, "Software\\Ardonis\\Kt64Srv\\Devices").setString("COM1", device);
        address_ = "127.0.0.1:" + std::to_string(port_);
        if (options.withServer) startServer();
    }

    ~LinkServerRig() {
        stopServer();
        if (centre_) centre_->stop();
        if (centreProgram_) {
            centreProgram_->signal(SIGTERM);
            if (!centreProgram_->wait(std::chrono::seconds(10))) centreProgram_->signal(SIGKILL);
        }
    }
    LinkServerRig(const LinkServerRig&) = delete;
    LinkServerRig& operator=(const LinkServerRig&) = delete;

    // Registers (once) and starts the link server, waits until it has read
    // the centre, and holds a lease on it.
    void startServer() {
        // The rig's server is the only one: a client may have started one
        // on demand since the last was killed.
        endOnDemandServers(SIGTERM);
        if (!registered_) {
            ChildProcess registration("VqSrvKt64", {"-RegServer"}, {});
            registration.wait(std::chrono::seconds(20));
            registered_ = true;
        }
        server_ = std::make_unique<ChildProcess>("VqSrvKt64", std::vector<std::string>{}, std::vector<std::string>{});
        // Connect only once the server listens: a client finding nothing
        // there would start a second server of its own, which a kill would
        // miss.
        if (!eventually([&] { return listening(port_); }, std::chrono::seconds(20)))
            throw std::runtime_error("the link server does not listen");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (;;) {
            try {
                if (!lease_) lease_ = client::ConnectServer(address_);
                if (ready_ == Ready::DeviceRead) {
                    lease_->WaitForDeviceRead();
                    lease_->GetBuildType();
                } else {
                    lease_->GetSyncTime();
                }
                return;
            } catch (const client::ServerError& e) {
                if (std::chrono::steady_clock::now() > deadline)
                    throw std::runtime_error("the link server does not answer: " + e.displayText());
                if (ready_ == Ready::DeviceRead) lease_.reset();
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
    }

    // SIGTERM (after SIGCONT, should it be stopped); SIGKILL if it lingers.
    void stopServer() {
        lease_.reset();
        endOnDemandServers(SIGTERM);
        if (!server_) return;
        server_->signal(SIGCONT);
        server_->signal(SIGTERM);
        if (!server_->wait(std::chrono::seconds(10))) server_->signal(SIGKILL);
        server_.reset();
    }
    // SIGKILL, as a crash would end it: connection refused from now on
    // (until a client starts one on demand).
    void killServer() {
        lease_.reset();
        endOnDemandServers(SIGKILL);
        if (!server_) return;
        server_->signal(SIGKILL);
        server_->wait(std::chrono::seconds(10));
        server_.reset();
    }

    // The link servers that a client started on demand under this rig's
    // registry: detached, so not the rig's children; found by their
    // executable and the registry named in their environment.
    std::vector<pid_t> onDemandServers() const {
        std::vector<pid_t> found;
        const std::string mark = "KT64_REGISTRY=" + (dir_.path() / "registry.db").string();
        std::error_code ec;
        for (std::filesystem::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
            const std::filesystem::directory_entry& entry = *it;
            const std::string name = entry.path().filename().string();
            if (name.find_first_not_of("0123456789") != std::string::npos) continue;
            const pid_t pid = std::stoi(name);
            if (server_ && pid == server_->pid()) continue;
            std::error_code linkError;
            if (std::filesystem::read_symlink(entry.path() / "exe", linkError).filename() != "VqSrvKt64") continue;
            // NUL-separated entries: the mark must be one whole entry.
            const std::string entries = std::string(1, '\0') + procFile(entry.path() / "environ");
            if (entries.find(std::string(1, '\0') + mark + std::string(1, '\0')) != std::string::npos && alive(pid))
                found.push_back(pid);
        }
        return found;
    }

    // The server goes silent, as behind a dead network; and wakes up again.
    void stopSignal() { server_->signal(SIGSTOP); }
    void continueSignal() { server_->signal(SIGCONT); }

    // One emulator control line ("set offset -01:00"); throws unless "ok".
    std::string control(const std::string& line) {
        const std::string reply = centre().control(line);
        if (reply.rfind("ok", 0) != 0) throw std::runtime_error(line + ": " + reply);
        return reply.size() > 3 ? reply.substr(3) : std::string();
    }
    // Waits until the link server has read the centre after a change.
    void settle() {
        if (!lease_) return;
        lease_->WaitForDeviceRead();
        lease_->WaitForDeviceRead();
    }

    // The in-process centre.
    sim::CentreEmulator& centre() {
        if (!centre_) throw std::logic_error("the centre runs as kt64sim");
        return *centre_;
    }
    client::ServerProxy& lease() { return *lease_; }
    // The server's address with its port ("127.0.0.1:PORT").
    const std::string& address() const { return address_; }
    std::uint16_t rpcPort() const { return port_; }
    ChildProcess* server() { return server_.get(); }
    pid_t serverPid() const { return server_ ? server_->pid() : -1; }
    const std::filesystem::path& folder() const { return dir_.path(); }

private:
    // A file of /proc; "" once the process has ended.
    static std::string procFile(const std::filesystem::path& file) {
        try {
            return readWholeFile(file, {0, 4 << 20, "more than a process's entry holds"});
        } catch (const FileError&) {
            return {};
        }
    }
    // Running, not a zombie waiting for its new parent to reap it.
    static bool alive(pid_t pid) {
        const std::string text = procFile("/proc/" + std::to_string(pid) + "/stat");
        const auto close = text.rfind(')');
        return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z';
    }
    void endOnDemandServers(int signo) {
        const auto servers = onDemandServers();
        for (pid_t pid : servers) {
            ::kill(pid, SIGCONT);
            ::kill(pid, signo);
        }
        for (pid_t pid : servers)
            if (!eventually([&] { return !alive(pid); }, std::chrono::seconds(10))) ::kill(pid, SIGKILL);
    }

    TempDir dir_;
    ScopedEnv registryEnv_, unitEnv_, logEnv_;
    Ready ready_;
    std::unique_ptr<sim::CentreEmulator> centre_;
    std::unique_ptr<ChildProcess> centreProgram_;
    std::uint16_t port_ = 0;
    std::string address_;
    bool registered_ = false;
    std::unique_ptr<ChildProcess> server_;
    std::unique_ptr<client::ServerProxy> lease_;
};

}  // namespace kt64::test
