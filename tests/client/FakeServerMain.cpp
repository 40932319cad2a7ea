// kt64_fake_server: a link-server stand-in that the activation test
// registers as the local server. It serves the fake on the registered
// RpcPort, reports its pid as the serial port number, writes its pid to
// $KT64_FAKE_SERVER_PIDFILE, and ends (removing that file) 1 s after its
// last lease, or after 60 s without any.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "FakeKt64Srv.h"
#include "ServerAddress.h"

int main() {
    using namespace std::chrono_literals;
    kt64::test::FakeKt64Srv service;
    service.edit([](kt64::test::FakeState& s) {
        s.value<kt64::members::GetComPort>() = static_cast<std::uint32_t>(::getpid());
    });
    kt64::test::FakeServerHost host(service, "127.0.0.1:" + std::to_string(kt64::client::registeredRpcPort()));
    if (host.port() == 0) return 1;
    const char* pidFile = std::getenv("KT64_FAKE_SERVER_PIDFILE");
    if (pidFile) std::ofstream(pidFile) << ::getpid() << "\n";

    auto start = std::chrono::steady_clock::now();
    auto idleSince = start;
    while (true) {
        std::this_thread::sleep_for(50ms);
        auto now = std::chrono::steady_clock::now();
        if (service.liveLeases() > 0) idleSince = now;
        bool hadClient = service.grantedLeases() > 0;
        if ((hadClient && now - idleSince > 1s) || (!hadClient && now - start > 60s)) break;
    }
    host.shutdown();
    if (pidFile) std::filesystem::remove(pidFile);
    return 0;
}
