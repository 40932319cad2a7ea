// A recording stand-in for the user's message boxes, shared by the program
// and console tests: every message and question is kept in order with its
// caption (empty for the program's own), and questions are answered from a
// queue (Yes when it runs out).
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "UserMessages.h"

namespace kt64::test {
using namespace kt64::program;

class RecordedMessages : public UserMessages {
public:
    struct Entry {
        std::string text;
        MessageIcon icon;
        bool question;
        std::string caption;
    };
    void show(std::string_view text, MessageIcon icon) override {
        entries.push_back({std::string(text), icon, false, {}});
    }
    void showCaptioned(std::string_view caption, std::string_view text, MessageIcon icon) override {
        entries.push_back({std::string(text), icon, false, std::string(caption)});
    }
    bool ask(std::string_view text, MessageIcon icon) override {
        entries.push_back({std::string(text), icon, true, {}});
        if (answers.empty()) return true;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& e : entries) out.push_back(e.text);
        return out;
    }
    std::vector<Entry> entries;
    std::deque<bool> answers;
};

}  // namespace kt64::test
