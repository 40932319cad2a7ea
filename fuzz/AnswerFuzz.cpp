// The answer parsers and the procedures fed with arbitrary answers. The input
// is cut into successive reads: each read takes a length byte, then that many
// bytes (fewer when the input ends), so one input plays a whole conversation
// of short, broken and good answers. The first byte picks the procedure.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Procedures.h"
#include "Requests.h"

namespace {

class ScriptedLink : public kt64::serial::ByteLink {
public:
    explicit ScriptedLink(kt64::link::ByteSpan script) : script_(script) {}

    std::size_t read(std::span<std::uint8_t> buffer) override {
        if (script_.empty()) return 0;
        std::size_t n = std::min<std::size_t>(script_[0], script_.size() - 1);
        n = std::min(n, buffer.size());
        std::copy_n(script_.begin() + 1, n, buffer.begin());
        script_ = script_.subspan(1 + n);
        return n;
    }
    std::size_t write(std::span<const std::uint8_t> bytes) override {
        // Every request the procedures send is a well-formed frame.
        if (bytes.size() < 4 || bytes[0] != 0x1B || bytes[2] + 4u != bytes.size() || kt64::link::xorOf(bytes) != 0)
            __builtin_trap();
        return bytes.size();
    }

    // The script is what the reads find, whatever came before.
    void discardInput() override {}

private:
    kt64::link::ByteSpan script_;
};

double doubleAt(kt64::link::ByteSpan s, std::size_t at) {
    double d = 0;
    if (s.size() >= at + sizeof d) std::memcpy(&d, s.data() + at, sizeof d);
    return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kt64::link;
    if (size == 0) return 0;
    ByteSpan input(data + 1, size - 1);

    // The parsers on the raw bytes.
    if (isWriteAck(input) && (input.size() < kWriteAckSize || input[1] != 0xDD)) __builtin_trap();
    if (auto r = parseReadAnswer(input); r && !std::equal(r->begin(), r->end(), input.begin() + 5)) __builtin_trap();

    ScriptedLink link(input);
    DeviceState state;
    switch (data[0] % 6) {
    case 0: {
        std::int32_t remaining = static_cast<std::int32_t>(kImageSize);
        std::vector<std::uint8_t> buffer(kImageSize + kTransferSpare, 0x5A);
        uploadRecords(link, buffer, remaining);
        if (remaining < 0 || remaining > static_cast<std::int32_t>(kImageSize) || remaining % 7 != 0) __builtin_trap();
        break;
    }
    case 1: {
        std::vector<std::uint8_t> buffer;
        std::int32_t count = 0;
        const bool ok = downloadCommandList(link, buffer, count);
        endDownload(state, ok, count, buffer);
        exchangeStatus(link, state);
        if (state.RecvCount < 0 || state.RecvCount > static_cast<std::int32_t>(kImageSize)) __builtin_trap();
        if (state.RecvFailed == (state.RecvCount == static_cast<std::int32_t>(kImageSize))) __builtin_trap();
        break;
    }
    case 2: {
        state.SendRemaining = static_cast<std::int32_t>(data[size - 1]) * 11;
        std::int32_t remaining = state.SendRemaining;
        endUpload(state, uploadCommandList(link, std::vector<std::uint8_t>(kImageSize, 0), remaining));
        exchangeStatus(link, state);
        // An image that is not whole records ends with the last record's
        // spare bytes counted: below 0, but by less than one record.
        if (state.SendRemaining != 0 || remaining <= -static_cast<std::int32_t>(kRecordSize)) __builtin_trap();
        break;
    }
    case 3:
        // Pending values from the input bytes: offsets and dates of any value.
        state.NewLocalOffset = doubleAt(input, 0);
        state.NewChangeTimeZL = doubleAt(input, 8);
        state.LocalOffset = doubleAt(input, 16);
        state.ChangeTimeLZ = doubleAt(input, 24);
        state.PendingParams = input.empty() ? 0 : input[0];
        setParams(link, state);
        break;
    case 4:
        state.NewGmtTime = doubleAt(input, 0);
        state.NewLineTime = doubleAt(input, 8);
        setTime(link, state);
        setLineTime(link, state);
        break;
    default:
        exchangeStatus(link, state);
        exchangeStatus(link, state);
        break;
    }
    return 0;
}
