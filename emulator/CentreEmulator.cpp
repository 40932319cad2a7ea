#include "CentreEmulator.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <deque>
#include <optional>

#include "ControlCommand.h"
#include "ControlSocket.h"
#include "PseudoTerminal.h"
#include "SerialPortError.h"
#include "UniqueFd.h"

namespace kt64::sim {

namespace {

using Steady = std::chrono::steady_clock;

// One character on the line: 10 bits at 4800 baud.
constexpr std::chrono::nanoseconds kCharTime{10'000'000'000LL / 4800};
// While no client holds the pty open, the master reports a hang-up on every
// poll; the loop then looks again at this interval.
constexpr std::chrono::milliseconds kHangUpRecheck{10};

}  // namespace

// Everything the serving thread owns: the pty, the wake-up descriptor, the
// control socket and the answers waiting for the line.
struct CentreEmulator::Line {
    struct Outgoing {
        link::Bytes bytes;
        std::size_t sent = 0;
        Steady::time_point due;
    };
    // Bytes read from the pty that a wire would still be delivering.
    struct Incoming {
        link::Bytes bytes;
        Steady::time_point arrives;  // when the last of them would be in
    };

    explicit Line(bool paced) : pacing(paced) {}

    // The time the next byte of the front answer may be written.
    Steady::time_point nextWrite() const {
        const auto& o = out.front();
        return pacing ? std::max(o.due, lineFreeAt) + kCharTime : o.due;
    }

    bool pacing;
    std::optional<serial::PseudoTerminal> pty;
    UniqueFd wake;
    std::unique_ptr<ControlSocket> control;
    std::string link;  // symlink made at start, removed at stop
    std::deque<Outgoing> out;
    std::deque<Incoming> in;          // with pacing only
    Steady::time_point lineFreeAt{};  // end of the last byte put on the line
    Steady::time_point lastByteAt{};  // when the last request byte came
    bool hungUp = false;
    bool blocked = false;  // the pty refused a write (buffer full)
};

CentreEmulator::CentreEmulator(EmulatorOptions options, std::shared_ptr<const TimeSource> clock)
    : options_(std::move(options)), clock_(std::move(clock)), centre_(options_.settings, clock_) {
    centre_.setFault(options_.fault);
}

CentreEmulator::~CentreEmulator() { stop(); }

void CentreEmulator::start() {
    if (thread_.joinable()) return;
    auto line = std::make_unique<Line>(options_.pacing);
    try {
        line->pty.emplace(false);
    } catch (const serial::SerialPortError& e) {
        throw EmulatorError("cannot create a pseudo-terminal", e.error());
    }
    line->wake.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!line->wake) throw EmulatorError("cannot create an event descriptor", errno);

    const std::string device = line->pty->slavePath();
    if (options_.ptyGroup && ::chown(device.c_str(), static_cast<uid_t>(-1), *options_.ptyGroup) != 0)
        throw EmulatorError("cannot give " + device + " to its group", errno);
    if ((options_.ptyGroup || options_.ptyMode) && ::chmod(device.c_str(), options_.ptyMode.value_or(0660)) != 0)
        throw EmulatorError("cannot set the mode of " + device, errno);

    if (!options_.linkPath.empty()) {
        const std::string& path = options_.linkPath;
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) throw EmulatorError("not a symlink, left in place: " + path, EEXIST);
            ::unlink(path.c_str());
        }
        if (::symlink(line->pty->slavePath().c_str(), path.c_str()) != 0)
            throw EmulatorError("cannot create the link " + path, errno);
        line->link = path;
    }
    try {
        if (!options_.controlPath.empty()) line->control = std::make_unique<ControlSocket>(options_.controlPath);
    } catch (...) {
        if (!line->link.empty()) ::unlink(line->link.c_str());
        throw;
    }
    line_ = std::move(line);
    thread_ = std::thread([this] { serve(); });
}

void CentreEmulator::stop() noexcept {
    if (!thread_.joinable()) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(line_->wake.get(), &one, sizeof one);
    thread_.join();
    if (!line_->link.empty()) {
        // Remove the link only while it still points at this pty: another
        // emulator may have taken the path over.
        char target[PATH_MAX];
        const ssize_t len = ::readlink(line_->link.c_str(), target, sizeof target - 1);
        if (len > 0 && std::string(target, static_cast<std::size_t>(len)) == line_->pty->slavePath())
            ::unlink(line_->link.c_str());
    }
    line_.reset();
}

bool CentreEmulator::running() const { return thread_.joinable(); }

std::string CentreEmulator::ptyPath() const { return line_ ? line_->pty->slavePath() : std::string{}; }

std::string CentreEmulator::devicePath() const {
    if (!line_) return {};
    return line_->link.empty() ? line_->pty->slavePath() : line_->link;
}

link::Bytes CentreEmulator::statusFrame() const {
    std::lock_guard lock(mutex_);
    return centre_.statusFrame();
}

CentreView CentreEmulator::view() const {
    std::lock_guard lock(mutex_);
    return centre_.view();
}

CentreCounters CentreEmulator::counters() const {
    std::lock_guard lock(mutex_);
    return centre_.counters();
}

link::Bytes CentreEmulator::image() const {
    std::lock_guard lock(mutex_);
    return centre_.image();
}

void CentreEmulator::setImage(link::ByteSpan bytes) {
    std::lock_guard lock(mutex_);
    centre_.setImage(bytes);
}

Fault CentreEmulator::fault() const {
    std::lock_guard lock(mutex_);
    return centre_.fault();
}

void CentreEmulator::setFault(const Fault& fault) {
    std::lock_guard lock(mutex_);
    centre_.setFault(fault);
}

void CentreEmulator::setGmt(TimePoint gmt) {
    std::lock_guard lock(mutex_);
    centre_.setGmt(gmt);
}

void CentreEmulator::setAlarms(const std::array<std::uint8_t, 3>& alarms) {
    std::lock_guard lock(mutex_);
    centre_.setAlarms(alarms);
}

std::string CentreEmulator::control(std::string_view line) {
    std::lock_guard lock(mutex_);
    return runControl(centre_, line, *clock_);
}

// The serving loop: reads requests from the pty master, hands them to the
// centre, writes the answers when they are due (paced or not), answers the
// control socket, and ends when stop() signals the wake descriptor. A client
// closing the pty shows as a hang-up: the loop then drops the half-received
// request and the unsent answers, empties the pty's input queue (a closed
// serial port keeps nothing either) and waits for the next open.
void CentreEmulator::serve() {
    Line& l = *line_;
    const int master = l.pty->masterFd();
    std::vector<pollfd> fds;

    auto schedule = [&](std::vector<Answer> answers, Steady::time_point arrived) {
        for (auto& a : answers) {
            Steady::time_point due = arrived + a.delay;
            if (!l.out.empty()) due = std::max(due, l.out.back().due);  // answers never overtake
            l.out.push_back({std::move(a.bytes), 0, due});
        }
    };

    // Hands the centre what has arrived by now: it reads its clock for a
    // request only then, as a centre on a wire can, and its answers are
    // due from the request's arrival.
    auto receive = [&](link::ByteSpan bytes, Steady::time_point arrived) {
        std::vector<Answer> answers;
        {
            std::lock_guard lock(mutex_);
            answers = centre_.receive(bytes);
        }
        l.lastByteAt = arrived;
        schedule(std::move(answers), arrived);
    };
    auto receiveArrived = [&](Steady::time_point now) {
        while (!l.in.empty() && l.in.front().arrives <= now) {
            const Line::Incoming chunk = std::move(l.in.front());
            l.in.pop_front();
            receive(chunk.bytes, chunk.arrives);
        }
    };

    auto hangUp = [&] {
        l.hungUp = true;
        l.out.clear();
        l.in.clear();
        l.blocked = false;
        {
            std::lock_guard lock(mutex_);
            centre_.resetLine();
        }
        if (const UniqueFd fd{::open(l.pty->slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)})
            ::tcflush(fd.get(), TCIFLUSH);
    };

    auto writeDue = [&](Steady::time_point now) {
        while (!l.out.empty() && !l.hungUp) {
            auto& o = l.out.front();
            std::size_t count = o.bytes.size() - o.sent;
            Steady::time_point start{};
            if (l.pacing) {
                start = std::max(o.due, l.lineFreeAt);
                if (now < start + kCharTime) return;
                count = std::min<std::size_t>(count, static_cast<std::size_t>((now - start) / kCharTime));
            } else if (now < o.due) {
                return;
            }
            const ssize_t n = ::write(master, o.bytes.data() + o.sent, count);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) {
                l.blocked = true;
                return;
            }
            if (n <= 0) {
                hangUp();
                return;
            }
            l.blocked = false;
            o.sent += static_cast<std::size_t>(n);
            if (l.pacing) l.lineFreeAt = start + kCharTime * n;
            if (o.sent == o.bytes.size()) l.out.pop_front();
        }
    };

    std::uint8_t buf[512];
    while (true) {
        const auto now = Steady::now();
        std::optional<Steady::time_point> wakeAt;
        auto wakeBy = [&](Steady::time_point t) { wakeAt = wakeAt ? std::min(*wakeAt, t) : t; };
        if (!l.out.empty() && !l.blocked) wakeBy(l.nextWrite());
        bool partial;
        {
            std::lock_guard lock(mutex_);
            partial = centre_.hasPartialRequest();
        }
        if (partial && l.in.empty()) wakeBy(l.lastByteAt + Centre::kQuietLine);
        if (!l.in.empty()) wakeBy(l.in.front().arrives);
        if (l.hungUp) wakeBy(now + kHangUpRecheck);

        fds.clear();
        fds.push_back({l.wake.get(), POLLIN, 0});
        fds.push_back({l.hungUp ? -1 : master, static_cast<short>(POLLIN | (l.blocked ? POLLOUT : 0)), 0});
        if (l.control) l.control->addTo(fds);

        timespec ts{};
        timespec* timeout = nullptr;
        if (wakeAt) {
            const auto wait = std::max(*wakeAt - now, Steady::duration::zero());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            ts.tv_sec = ns / 1'000'000'000;
            ts.tv_nsec = ns % 1'000'000'000;
            timeout = &ts;
        }
        if (::ppoll(fds.data(), fds.size(), timeout, nullptr) < 0 && errno != EINTR) break;
        if (fds[0].revents & POLLIN) break;

        const auto t = Steady::now();
        if (l.hungUp) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP)) l.hungUp = false;
        } else if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) {
                const link::ByteSpan bytes(buf, static_cast<std::size_t>(n));
                if (l.pacing) {
                    // A real line delivers the request one character at a
                    // time, after what it is still delivering.
                    const auto from = l.in.empty() ? t : std::max(t, l.in.back().arrives);
                    l.in.push_back({link::Bytes(bytes.begin(), bytes.end()), from + kCharTime * n});
                } else {
                    receive(bytes, t);
                }
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                hangUp();
            }
        }
        receiveArrived(Steady::now());
        if (partial && l.in.empty() && t >= l.lastByteAt + Centre::kQuietLine) {
            std::vector<Answer> answers;
            {
                std::lock_guard lock(mutex_);
                answers = centre_.lineQuiet();
            }
            schedule(std::move(answers), t);
        }
        if (fds[1].revents & POLLOUT) l.blocked = false;
        writeDue(Steady::now());
        if (l.control) l.control->service(fds, 2, [this](std::string_view line) { return control(line); });
    }
}

}  // namespace kt64::sim
