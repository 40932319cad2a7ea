// A stand-in for systemd on a private message bus: a dbus-daemon of the
// test's own (listening on <dir>/bus, no service activation) and, unless
// asked not to, a connection owning org.freedesktop.systemd1 that serves
// Manager.StartUnit at /org/freedesktop/systemd1. Clients reach it through
// DBUS_SYSTEM_BUS_ADDRESS = address(). Each StartUnit is recorded and then
// answered as configured: a job path after running onStart, a D-Bus error,
// or a reply held back for a while (a manager that hangs).
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kt64::test {

class FakeServiceManager {
public:
    struct Answer {
        std::string errorName;               // non-empty: reply with this D-Bus error
        std::chrono::milliseconds delay{0};  // before answering
        std::function<void()> onStart;       // run before a job path is returned

        static Answer job(std::function<void()> onStart = {}) { return {"", std::chrono::milliseconds(0), onStart}; }
        static Answer error(std::string name) { return {std::move(name), std::chrono::milliseconds(0), {}}; }
        static Answer late(std::chrono::milliseconds delay) { return {"", delay, {}}; }
    };

    // Whether this machine has the bus daemon the fake needs.
    static bool available();

    // withManager = false: the bus only, nobody owns org.freedesktop.systemd1.
    FakeServiceManager(const std::filesystem::path& dir, bool withManager = true);
    ~FakeServiceManager();
    FakeServiceManager(const FakeServiceManager&) = delete;
    FakeServiceManager& operator=(const FakeServiceManager&) = delete;

    std::string address() const;
    void answer(Answer answer);
    // (unit, mode) of every StartUnit received so far.
    std::vector<std::pair<std::string, std::string>> calls() const;

private:
    void serve(std::function<void(bool)> ready);

    std::filesystem::path socket_;
    pid_t daemon_ = -1;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    Answer answer_;
    std::vector<std::pair<std::string, std::string>> calls_;

    friend struct FakeManagerCalls;
};

}  // namespace kt64::test
