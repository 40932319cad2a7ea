// The one error type of the emulator's set-up (pty, symlink, control
// socket): the system's errno and its text, prefixed with what was being done.
#pragma once

#include <stdexcept>
#include <string>

namespace kt64::sim {

class EmulatorError : public std::runtime_error {
public:
    // what: e.g. "cannot create the link /tmp/kt64": the system's text follows.
    EmulatorError(const std::string& what, int error);
    int error() const noexcept { return error_; }

private:
    int error_;
};

}  // namespace kt64::sim
