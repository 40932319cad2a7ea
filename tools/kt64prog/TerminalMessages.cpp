// Messages and questions on a terminal (see TerminalMessages.h).
#include "TerminalMessages.h"

#include <string>

namespace kt64::prog {

void TerminalMessages::show(std::string_view text, program::MessageIcon icon) {
    ++shown_;
    err_ << (icon == program::MessageIcon::Stop ? "Błąd! " : "") << text << "\n";
}

bool TerminalMessages::ask(std::string_view question, program::MessageIcon) {
    err_ << question;
    if (yes_) {
        err_ << " [tak]\n";
        return true;
    }
    if (!interactive_) {
        err_ << " [nie: without --yes no question is answered Yes]\n";
        ++declined_;
        return false;
    }
    err_ << " (t/n) " << std::flush;
    std::string answer;
    std::getline(in_, answer);
    const bool yes = answer == "t" || answer == "T" || answer == "tak" || answer == "y" || answer == "yes";
    if (!yes) ++declined_;
    return yes;
}

}  // namespace kt64::prog
