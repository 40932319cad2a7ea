// How the relay program core talks to its user: messages and yes/no
// questions that the console shows as message boxes and the command line
// writes to the terminal. The icon is part of what the user sees, so it
// travels with the text.
#pragma once

#include <string_view>

namespace kt64::program {

enum class MessageIcon { None, Stop, Question, Exclamation };

class UserMessages {
public:
    virtual ~UserMessages() = default;
    virtual void show(std::string_view text, MessageIcon icon) = 0;
    // A message whose box has a caption of its own (the console's boxes
    // otherwise carry the program's name). Where there is no box, as on a
    // terminal, only the text counts.
    virtual void showCaptioned(std::string_view caption, std::string_view text, MessageIcon icon) {
        (void)caption;
        show(text, icon);
    }
    // true when the user answers Yes.
    virtual bool ask(std::string_view question, MessageIcon icon) = 0;
};

}  // namespace kt64::program
