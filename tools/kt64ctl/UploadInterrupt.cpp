// The interrupt notice; see the header. The handler may only use
// async-signal-safe calls, so the text is prepared beforehand and handed over
// through two plain globals set before the handlers are installed.
#include "UploadInterrupt.h"

#include <signal.h>
#include <unistd.h>

#include <array>

namespace kt64::ctl {

namespace {

constexpr std::array kSignals{SIGINT, SIGTERM, SIGHUP};

const char* volatile gText = nullptr;
volatile std::size_t gLength = 0;
std::array<struct sigaction, kSignals.size()> gPrevious{};

extern "C" void onInterrupt(int) {
    const char* text = gText;
    std::size_t left = gLength;
    while (text != nullptr && left > 0) {
        const ssize_t n = ::write(STDERR_FILENO, text, left);
        if (n <= 0) break;
        text += n;
        left -= static_cast<std::size_t>(n);
    }
    ::_exit(130);
}

}  // namespace

std::string uploadInterruptedText(std::string_view computerOption) {
    std::string follow = "kt64ctl ";
    if (!computerOption.empty()) follow += std::string(computerOption) + " ";
    follow += "watch";
    return "\nkt64ctl: interrupted; the upload goes on in the link server until the whole command list "
           "has reached the centre (about 17 s in all).\n"
           "Follow it with: " +
           follow +
           " (the Upload line counts the bytes still to send; "
           "0 when it is over)\n";
}

UploadInterruptNotice::UploadInterruptNotice(std::string text) : text_(std::move(text)) {
    gText = text_.c_str();
    gLength = text_.size();
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    ::sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &action, &gPrevious[i]);
}

UploadInterruptNotice::~UploadInterruptNotice() {
    for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &gPrevious[i], nullptr);
    gText = nullptr;
    gLength = 0;
}

}  // namespace kt64::ctl
