// A scripted byte link: every read hands out the next scripted answer (cut to
// the size asked for, the rest dropped, as a real read returns at most that
// many), an empty script reads as a silent line; writes are recorded.
#pragma once

#include <cerrno>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "ByteLink.h"
#include "SerialPortError.h"

namespace kt64::test {

class FakeLink : public serial::ByteLink {
public:
    using Bytes = std::vector<std::uint8_t>;

    void answer(Bytes bytes) { answers_.push_back(std::move(bytes)); }
    // The read after this many further reads throws the device-gone error.
    void failAfterReads(int count) { failAfter_ = count; }

    std::size_t read(std::span<std::uint8_t> buffer) override {
        ++reads;
        if (failAfter_ && (*failAfter_)-- == 0) throw serial::SerialPortError(EIO);
        if (answers_.empty()) return 0;
        Bytes a = std::move(answers_.front());
        answers_.pop_front();
        std::size_t n = std::min(a.size(), buffer.size());
        std::copy_n(a.begin(), n, buffer.begin());
        return n;
    }

    std::size_t write(std::span<const std::uint8_t> bytes) override {
        written.emplace_back(bytes.begin(), bytes.end());
        return bytes.size();
    }

    // The scripted answers stand for what the next reads will find, not for
    // bytes already waiting, so a discard only counts.
    void discardInput() override { ++discards; }

    std::vector<Bytes> written;
    int reads = 0;
    int discards = 0;

private:
    std::deque<Bytes> answers_;
    std::optional<int> failAfter_;
};

}  // namespace kt64::test
