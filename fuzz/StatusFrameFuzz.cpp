// Status decoding on arbitrary bytes: two frames in a row through one record
// (so that "keep the previous value" paths run), then the readiness rule. A
// decoding that reports success without a sound record traps.
#include <cstddef>
#include <cstdint>

#include "StatusFrame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kt64;
    link::DeviceState state;
    link::ByteSpan all(data, size);
    const std::size_t cut = size > link::kStatusFrameSize ? link::kStatusFrameSize : size;
    for (link::ByteSpan frame : {all.first(cut), all.subspan(cut)}) {
        const HRESULT hr = link::applyStatusFrame(frame, state);
        if ((hr == S_OK) != state.StatusValid) __builtin_trap();
        if (hr == S_OK && (state.BuildType.rfind("KT-", 0) != 0 || state.SerialNum.size() != 7)) __builtin_trap();
        if (hr != S_OK && state.ErrorCode != hr) __builtin_trap();
        link::SyncReadiness ready = link::syncReadiness(state);
        if (ready.code != S_OK && ready.text.empty()) __builtin_trap();
    }
    return 0;
}
