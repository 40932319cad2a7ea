#include "ControlSocket.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "EmulatorError.h"

namespace kt64::sim {

namespace {
// A command line longer than this is not a command; the client is dropped.
constexpr std::size_t kMaxLine = 4096;

sockaddr_un socketAddress(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) throw EmulatorError("control socket path too long: " + path, ENAMETOOLONG);
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return addr;
}
}  // namespace

ControlSocket::ControlSocket(std::string path) : path_(std::move(path)) {
    const sockaddr_un addr = socketAddress(path_);

    struct stat st {};
    if (::lstat(path_.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) throw EmulatorError("not a socket, left in place: " + path_, EEXIST);
        ::unlink(path_.c_str());
    }
    listener_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!listener_) throw EmulatorError("cannot create the control socket", errno);
    if (::bind(listener_.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener_.get(), 8) != 0) {
        const int err = errno;
        throw EmulatorError("cannot listen on " + path_, err);
    }
}

ControlSocket::~ControlSocket() {
    // Closed before the file goes, so nobody connects to a path being removed.
    clients_.clear();
    listener_.reset();
    ::unlink(path_.c_str());
}

void ControlSocket::addTo(std::vector<pollfd>& fds) const {
    fds.push_back({listener_.get(), POLLIN, 0});
    for (const auto& c : clients_)
        fds.push_back({c.fd.get(), static_cast<short>((c.closing ? 0 : POLLIN) | (c.out.empty() ? 0 : POLLOUT)), 0});
}

void ControlSocket::service(const std::vector<pollfd>& fds, std::size_t first, const Runner& run) {
    const std::size_t known = clients_.size();
    for (std::size_t i = 0; i < known && first + 1 + i < fds.size(); ++i)
        if (fds[first + 1 + i].revents) serviceClient(clients_[i], fds[first + 1 + i].revents, run);
    // A client done with (closing, all answered) goes, its descriptor with it.
    std::erase_if(clients_, [](const Client& c) { return !c.fd || (c.closing && c.out.empty()); });
    if (fds[first].revents & POLLIN) {
        while (true) {
            UniqueFd fd(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
            if (!fd) break;
            clients_.push_back({std::move(fd), {}, {}, false});
        }
    }
}

void ControlSocket::serviceClient(Client& c, short revents, const Runner& run) {
    if (revents & (POLLIN | POLLHUP | POLLERR)) {
        char buf[1024];
        while (!c.closing) {
            const ssize_t n = ::read(c.fd.get(), buf, sizeof buf);
            if (n > 0) {
                c.in.append(buf, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) break;
            c.closing = true;  // end of input or a failure: answer what came, then close
        }
        std::size_t nl;
        while ((nl = c.in.find('\n')) != std::string::npos) {
            const std::string line = c.in.substr(0, nl);
            c.in.erase(0, nl + 1);
            c.out += run(line) + "\n";
        }
        if (c.closing && !c.in.empty() && c.in.size() <= kMaxLine) {
            c.out += run(c.in) + "\n";  // a last line without its line feed
            c.in.clear();
        }
        if (c.in.size() > kMaxLine) {
            c.out += "error: line too long\n";
            c.in.clear();
            c.closing = true;
        }
    }
    while (!c.out.empty()) {
        const ssize_t n = ::send(c.fd.get(), c.out.data(), c.out.size(), MSG_NOSIGNAL);
        if (n > 0) {
            c.out.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EINTR)) continue;
        if (n < 0 && errno == EAGAIN) break;
        c.out.clear();  // the client has gone
        c.closing = true;
    }
}

std::string sendControlCommand(const std::string& path, std::string_view line) {
    const sockaddr_un addr = socketAddress(path);
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) throw EmulatorError("cannot create a socket", errno);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        const int err = errno;
        throw EmulatorError("cannot reach " + path, err);
    }
    std::string out(line);
    out += '\n';
    std::string reply;
    bool complete = false;
    if (::send(fd.get(), out.data(), out.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(out.size())) {
        char buf[4096];
        ssize_t n;
        while (!complete && (n = ::read(fd.get(), buf, sizeof buf)) > 0) {
            reply.append(buf, static_cast<std::size_t>(n));
            complete = reply.find('\n') != std::string::npos;
        }
    }
    const int err = errno;
    if (!complete) throw EmulatorError("no reply from " + path, err ? err : EPIPE);
    reply.erase(reply.find('\n'));
    return reply;
}

}  // namespace kt64::sim
