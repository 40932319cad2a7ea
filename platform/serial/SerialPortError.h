// SerialPortError: the one error of the serial layer. It carries the errno
// of the failing system call and the system's own text for it (strerror), so
// that the link server can show an operator exactly what the operating system
// said about the port ("No such file or directory", "Device or resource
// busy", "Input/output error").
#pragma once

#include <exception>
#include <string>

namespace kt64::serial {

class SerialPortError : public std::exception {
public:
    // error = an errno value; the message is the system's text for it.
    explicit SerialPortError(int error);
    // A failure that has its own text (the port's registry entry could not
    // be read); error is the errno that best classifies it.
    SerialPortError(int error, std::string message);

    int error() const noexcept { return error_; }
    const std::string& message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    int error_;
    std::string message_;
};

// The system's text for an errno value (thread-safe strerror).
std::string systemText(int error);

}  // namespace kt64::serial
