// The private bus daemon and the fake Manager object on it.
#include "FakeServiceManager.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>
#include <stdexcept>

#include "TestEnvironment.h"

namespace kt64::test {

namespace {

std::filesystem::path daemonProgram() {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        auto candidate = std::filesystem::path(dir) / "dbus-daemon";
        if (!dir.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

// A session-type bus that lets anyone own any name and call anything, and
// has no service directories: a name nobody owns is simply unknown.
void writeConfig(const std::filesystem::path& file, const std::filesystem::path& socket) {
    std::ofstream(file) << R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=)" << socket.string()
                        << R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
}

}  // namespace

struct FakeManagerCalls {
    static int startUnit(sd_bus_message* m, void* userdata, sd_bus_error* error) {
        auto* self = static_cast<FakeServiceManager*>(userdata);
        const char* unit = nullptr;
        const char* mode = nullptr;
        if (int r = sd_bus_message_read(m, "ss", &unit, &mode); r < 0) return r;
        FakeServiceManager::Answer answer;
        {
            std::lock_guard lock(self->mutex_);
            self->calls_.emplace_back(unit, mode);
            answer = self->answer_;
        }
        if (answer.delay.count() > 0) std::this_thread::sleep_for(answer.delay);
        if (!answer.errorName.empty())
            return sd_bus_error_setf(error, answer.errorName.c_str(), "Unit %s cannot be started.", unit);
        if (answer.onStart) answer.onStart();
        return sd_bus_reply_method_return(m, "o", "/org/freedesktop/systemd1/job/1");
    }
};

namespace {
const sd_bus_vtable kManagerVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("StartUnit", "ss", "o", &FakeManagerCalls::startUnit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};
}  // namespace

bool FakeServiceManager::available() { return !daemonProgram().empty(); }

FakeServiceManager::FakeServiceManager(const std::filesystem::path& dir, bool withManager) : socket_(dir / "bus") {
    const auto program = daemonProgram();
    if (program.empty()) throw std::runtime_error("dbus-daemon is not installed");
    const auto config = dir / "bus.conf";
    writeConfig(config, socket_);
    const std::string configArg = "--config-file=" + config.string();
    const char* argv[] = {program.c_str(), "--nofork", "--nopidfile", configArg.c_str(), nullptr};
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    daemon_ = ::fork();
    if (daemon_ == 0) {
        if (null >= 0) {
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        ::execv(argv[0], const_cast<char* const*>(argv));
        ::_exit(127);
    }
    if (null >= 0) ::close(null);
    if (daemon_ < 0) throw std::runtime_error("cannot start dbus-daemon");
    if (!kt64::test::eventually([&] { return std::filesystem::exists(socket_); }, std::chrono::seconds(10))) {
        ::kill(daemon_, SIGTERM);
        ::waitpid(daemon_, nullptr, 0);
        throw std::runtime_error("dbus-daemon did not come up");
    }
    if (!withManager) return;
    std::promise<bool> ready;
    auto readyFuture = ready.get_future();
    thread_ = std::thread([this, &ready] { serve([&ready](bool ok) { ready.set_value(ok); }); });
    if (!readyFuture.get()) {
        stop_ = true;
        thread_.join();
        ::kill(daemon_, SIGTERM);
        ::waitpid(daemon_, nullptr, 0);
        throw std::runtime_error("the fake service manager could not take its name on the bus");
    }
}

FakeServiceManager::~FakeServiceManager() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (daemon_ > 0) {
        ::kill(daemon_, SIGTERM);
        ::waitpid(daemon_, nullptr, 0);
    }
}

std::string FakeServiceManager::address() const { return "unix:path=" + socket_.string(); }

void FakeServiceManager::answer(Answer answer) {
    std::lock_guard lock(mutex_);
    answer_ = std::move(answer);
}

std::vector<std::pair<std::string, std::string>> FakeServiceManager::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

void FakeServiceManager::serve(std::function<void(bool)> ready) {
    sd_bus* bus = nullptr;
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_new(&bus);
    if (r >= 0) r = sd_bus_set_address(bus, address().c_str());
    if (r >= 0) r = sd_bus_set_bus_client(bus, 1);
    if (r >= 0) r = sd_bus_start(bus);
    if (r >= 0)
        r = sd_bus_add_object_vtable(bus, &slot, "/org/freedesktop/systemd1", "org.freedesktop.systemd1.Manager",
                                     kManagerVtable, this);
    if (r >= 0) r = sd_bus_request_name(bus, "org.freedesktop.systemd1", 0);
    ready(r >= 0);
    while (r >= 0 && !stop_) {
        r = sd_bus_process(bus, nullptr);
        if (r == 0) r = sd_bus_wait(bus, 100'000);
    }
    sd_bus_slot_unref(slot);
    sd_bus_flush_close_unref(bus);
}

}  // namespace kt64::test
