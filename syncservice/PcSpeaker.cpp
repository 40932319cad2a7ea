// PC speaker tones through the Linux input layer or the console.
#include "PcSpeaker.h"

#include <fcntl.h>
#include <linux/input.h>
#include <linux/kd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <system_error>
#include <thread>

#include "UniqueFd.h"

namespace kt64::sync {
namespace {

bool hasToneCapability(int fd) {
    unsigned long bits = 0;
    if (::ioctl(fd, EVIOCGBIT(EV_SND, sizeof bits), &bits) < 0) return false;
    return (bits >> SND_TONE) & 1u;
}

bool sendTone(int fd, unsigned hz) {
    input_event ev{};
    ev.type = EV_SND;
    ev.code = SND_TONE;
    ev.value = static_cast<int>(hz);
    return ::write(fd, &ev, sizeof ev) == static_cast<ssize_t>(sizeof ev);
}

UniqueFd openConsole() {
    for (const char* path : {"/dev/tty0", "/dev/console"}) {
        UniqueFd fd(::open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC));
        if (fd && ::ioctl(fd.get(), KIOCSOUND, 0) == 0) return fd;
    }
    return UniqueFd();
}

// KIOCSOUND takes the timer divisor; 0 silences.
void consoleTone(unsigned divisor, unsigned ms) {
    UniqueFd console = openConsole();
    if (!console) return;
    if (::ioctl(console.get(), KIOCSOUND, divisor) != 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    ::ioctl(console.get(), KIOCSOUND, 0);
}

}  // namespace

std::filesystem::path speakerEventDevice() {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/dev/input/by-path", ec)) {
        if (entry.path().filename().string().find("spkr") != std::string::npos) return entry.path();
    }
    for (const auto& entry : fs::directory_iterator("/dev/input", ec)) {
        if (entry.path().filename().string().rfind("event", 0) != 0) continue;
        UniqueFd fd(::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC));
        if (fd && hasToneCapability(fd.get())) return entry.path();
    }
    return {};
}

void PcSpeaker::tone(unsigned hz, unsigned ms) {
    if (hz == 0 || ms == 0) return;
    const auto device = speakerEventDevice();
    if (!device.empty()) {
        UniqueFd fd(::open(device.c_str(), O_WRONLY | O_CLOEXEC));
        if (fd && sendTone(fd.get(), hz)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            sendTone(fd.get(), 0);
            return;
        }
    }
    consoleTone(1193180u / hz, ms);
}

unsigned timerChannelDivisor(unsigned hz) {
    if (hz == 0) return 0;
    return (1193181u / hz) & 0xFFFFu;
}

void TimerChannelSpeaker::tone(unsigned hz, unsigned ms) {
    if (ms < kShortestTimerChannelTone) return;
    const unsigned divisor = timerChannelDivisor(hz);
    if (divisor == 0) return;
    consoleTone(divisor, ms);
}

}  // namespace kt64::sync
