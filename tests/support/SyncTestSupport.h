// Shared pieces of the synchronisation tests: a temporary folder, pointing
// the registry and the log at it, reading files, and a speaker that counts.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Speaker.h"
#include "TestEnvironment.h"

namespace kt64::test {
using namespace kt64::sync;

using TempFolder = kt64::test::TempDir;
using kt64::test::ScopedEnv;

inline void writeFile(const std::filesystem::path& path, const std::string& text, bool append = false) {
    std::ofstream out(path, std::ios::binary | (append ? std::ios::app : std::ios::trunc));
    out << text;
}

// The messages of a log file without their 20-byte time stamps and line ends.
inline std::vector<std::string> logMessages(const std::filesystem::path& path) {
    std::vector<std::string> messages;
    const std::string text = fileText(path);
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        messages.push_back(line.size() >= 20 ? line.substr(20) : line);
        start = end + 2;
    }
    return messages;
}

class CountingSpeaker final : public Speaker {
public:
    void tone(unsigned hz, unsigned ms) override { tones.emplace_back(hz, ms); }
    std::vector<std::pair<unsigned, unsigned>> tones;
};

}  // namespace kt64::test
