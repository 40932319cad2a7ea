// The emulator's control channel: a Unix stream socket at a given path that
// takes control commands, one a line, and answers each with one line. Several
// clients may be connected at once (a test and a person with socat, say). It
// runs inside the emulator's poll loop: addTo() adds its descriptors, service()
// handles what poll() reported. The socket file is removed on destruction.
#pragma once

#include <poll.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "UniqueFd.h"

namespace kt64::sim {

class ControlSocket {
public:
    using Runner = std::function<std::string(std::string_view line)>;

    // Creates and listens on the socket; a stale socket file at the path is
    // replaced, any other file there is an error. Throws EmulatorError.
    explicit ControlSocket(std::string path);
    ~ControlSocket();
    ControlSocket(const ControlSocket&) = delete;
    ControlSocket& operator=(const ControlSocket&) = delete;

    const std::string& path() const { return path_; }

    // Appends the listener's and the clients' pollfd entries to fds.
    void addTo(std::vector<pollfd>& fds) const;
    // Accepts, reads, answers (through run) and writes for the entries that
    // addTo() appended, starting at fds[first].
    void service(const std::vector<pollfd>& fds, std::size_t first, const Runner& run);

private:
    struct Client {
        UniqueFd fd;
        std::string in;
        std::string out;
        bool closing = false;
    };
    void serviceClient(Client& c, short revents, const Runner& run);

    std::string path_;
    UniqueFd listener_;
    std::vector<Client> clients_;
};

// The client side: connects to the control socket at path, sends one command
// line and returns the reply line. Throws EmulatorError when the socket
// cannot be reached or closes without a reply.
std::string sendControlCommand(const std::string& path, std::string_view line);

}  // namespace kt64::sim
