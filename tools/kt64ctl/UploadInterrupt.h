// What kt64ctl says when its user interrupts an upload (Ctrl+C, or the
// terminal closing). The link server has the whole command list by then and
// sends it to its end whatever happens to the client, so the user must not
// take the interruption for a cut upload: the notice says that it goes on and
// how to follow it. The notice is armed only while kt64ctl follows an upload;
// everywhere else an interruption ends the program as usual.
#pragma once

#include <string>
#include <string_view>

namespace kt64::ctl {

// The notice's text; computerOption is the --computer part of the command
// line that was used ("" for this computer), so the follow-up command given
// reaches the same server.
std::string uploadInterruptedText(std::string_view computerOption);

// While alive, SIGINT, SIGTERM and SIGHUP write text to standard error and
// end the program with 130 (the shell's code for an interrupt).
class UploadInterruptNotice {
public:
    explicit UploadInterruptNotice(std::string text);
    ~UploadInterruptNotice();
    UploadInterruptNotice(const UploadInterruptNotice&) = delete;
    UploadInterruptNotice& operator=(const UploadInterruptNotice&) = delete;

private:
    std::string text_;
};

}  // namespace kt64::ctl
