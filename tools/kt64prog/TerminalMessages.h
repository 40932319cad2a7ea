// The relay program core's messages and questions on a terminal: messages
// go to the error stream; a question is answered Yes by --yes, else asked on
// the input when it is a terminal, else answered No. Every message counts as
// a failure of the command (the core shows messages only for failures).
#pragma once

#include <istream>
#include <ostream>

#include "UserMessages.h"

namespace kt64::prog {

class TerminalMessages : public program::UserMessages {
public:
    TerminalMessages(std::ostream& err, std::istream& in, bool interactive, bool yes)
        : err_(err), in_(in), interactive_(interactive), yes_(yes) {}

    void show(std::string_view text, program::MessageIcon icon) override;
    bool ask(std::string_view question, program::MessageIcon icon) override;

    int messagesShown() const { return shown_; }
    int declined() const { return declined_; }

private:
    std::ostream& err_;
    std::istream& in_;
    bool interactive_;
    bool yes_;
    int shown_ = 0;
    int declined_ = 0;
};

}  // namespace kt64::prog
