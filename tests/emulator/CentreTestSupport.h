// Shared pieces of the emulator's tests: hex <-> bytes, and a centre on a
// manual clock standing at 17 May 2024 12:34:56 GMT.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "Centre.h"
#include "CentreCalendar.h"

namespace kt64::test {
using namespace kt64::sim;

inline link::Bytes hexBytes(std::string_view hex) {
    link::Bytes out;
    unsigned v = 0;
    int digits = 0;
    for (char c : hex) {
        if (c == ' ') continue;
        v = v << 4 | static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
        if (++digits == 2) {
            out.push_back(static_cast<std::uint8_t>(v));
            v = 0;
            digits = 0;
        }
    }
    return out;
}

inline std::string hexOf(link::ByteSpan bytes) {
    std::string out;
    char buf[4];
    for (auto b : bytes) {
        std::snprintf(buf, sizeof buf, out.empty() ? "%02X" : " %02X", b);
        out += buf;
    }
    return out;
}

struct CentreOnManualClock {
    explicit CentreOnManualClock(CentreSettings settings = {}, TimePoint start = utcTime(2024, 5, 17, 12, 34, 56))
        : clock(std::make_shared<ManualTimeSource>(start)), centre(withStart(settings, start), clock) {}

    static CentreSettings withStart(CentreSettings s, TimePoint start) {
        if (!s.startGmt) s.startGmt = start;
        return s;
    }

    // Sends one request (hex) and returns the answers' bytes, concatenated.
    link::Bytes exchange(std::string_view request) {
        link::Bytes out;
        for (const auto& a : centre.receive(hexBytes(request))) out.insert(out.end(), a.bytes.begin(), a.bytes.end());
        return out;
    }

    link::Bytes status() { return exchange("1B 11 00 0A"); }

    std::shared_ptr<ManualTimeSource> clock;
    Centre centre;
};

}  // namespace kt64::test
