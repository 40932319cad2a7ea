#include "Procedures.h"

#include <algorithm>
#include <array>
#include <chrono>

#include "Requests.h"
#include "StatusFrame.h"

namespace kt64::link {

void stampFrame(DeviceState& state, std::chrono::steady_clock::time_point monotonic,
                std::chrono::system_clock::time_point realtime) {
    using std::chrono::duration_cast;
    using std::chrono::nanoseconds;
    state.FrameMonotonicNs = duration_cast<nanoseconds>(monotonic.time_since_epoch()).count();
    state.FrameRealtimeNs = duration_cast<nanoseconds>(realtime.time_since_epoch()).count();
    ++state.FrameNo;
    state.RequestMonotonicNs = state.PendingRequestMonotonicNs;
}

namespace {

// Every setting is answered by the status frame: read 50 bytes (or what
// arrives within the time-outs) and let the status decoding judge them.
HRESULT readStatus(ByteLink& link, DeviceState& state) {
    std::array<std::uint8_t, kStatusFrameSize> frame{};
    const std::size_t n = link.read(frame);
    // Stamped before decoding, as close to the last byte as the read allows.
    const auto monotonic = std::chrono::steady_clock::now();
    const auto realtime = std::chrono::system_clock::now();
    const HRESULT hr = applyStatusFrame(ByteSpan(frame.data(), std::min(n, frame.size())), state);
    if (hr == S_OK) stampFrame(state, monotonic, realtime);
    return hr;
}

// Every request starts on an empty input: a late answer or stray bytes left
// from an earlier exchange would otherwise be read as this one's answer, and
// every later exchange would read one frame behind.
void send(ByteLink& link, const Bytes& frame) {
    link.discardInput();
    link.write(frame);
}

HRESULT request(ByteLink& link, DeviceState& state, const Bytes& frame) {
    state.PendingRequestMonotonicNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    send(link, frame);
    return readStatus(link, state);
}

// A pending date the calendar cannot take: nothing goes to the centre.
HRESULT refuseBadData(DeviceState& state) {
    state.ErrorCode = E_KT64_FRAME;
    state.ErrorText = text::kBadSetData;
    state.StatusValid = false;
    return E_KT64_FRAME;
}

}  // namespace

HRESULT exchangeStatus(ByteLink& link, DeviceState& state) { return request(link, state, statusRequest()); }

HRESULT setTime(ByteLink& link, DeviceState& state) {
    auto frame = setTimeRequest(state.NewGmtTime);
    return frame ? request(link, state, *frame) : refuseBadData(state);
}

HRESULT switchLines(ByteLink& link, DeviceState& state) {
    return request(link, state, switchLinesRequest(state.NewLineAnalOn, state.NewLineDigitOn));
}

HRESULT setLineTime(ByteLink& link, DeviceState& state) {
    auto frame = lineTimeRequest(state.NewLineTime);
    return frame ? request(link, state, *frame) : refuseBadData(state);
}

HRESULT setSerial(ByteLink& link, DeviceState& state) { return request(link, state, serialRequest(state.NewSerial)); }

HRESULT setType(ByteLink& link, DeviceState& state) { return request(link, state, typeRequest(state.NewBuild)); }

HRESULT setParams(ByteLink& link, DeviceState& state) {
    send(link, paramsRequest(paramValuesOf(state)));
    state.PendingParams = 0;
    return readStatus(link, state);
}

HRESULT setDigitalLineType(ByteLink& link, DeviceState& state) {
    return request(link, state, digitalLineRequest(state.NewLineDigitType));
}

bool uploadRecords(ByteLink& link, std::span<const std::uint8_t> buffer, std::int32_t& sendRemaining,
                   const TransferProgress& progress) {
    std::uint16_t index = 0;
    std::size_t source = 0;
    while (sendRemaining > 0) {
        // The buffer must hold the whole last record (n + 7 bytes for an
        // image of n); a smaller one would be read past its end.
        if (source + kRecordSize > buffer.size()) return false;
        send(link, writeRecordRequest(index++, buffer.subspan(source).first<kRecordSize>()));
        std::array<std::uint8_t, kWriteAckSize> ack{};
        const std::size_t n = link.read(ack);
        if (!isWriteAck(ByteSpan(ack.data(), std::min(n, ack.size())))) return false;
        sendRemaining -= static_cast<std::int32_t>(kRecordSize);
        source += kRecordSize;
        if (progress && !progress(sendRemaining) && sendRemaining > 0) return false;
    }
    return true;
}

bool downloadRecords(ByteLink& link, std::span<std::uint8_t> buffer, std::int32_t& recvCount,
                     const TransferProgress& progress) {
    if (recvCount < 0) return false;
    std::uint16_t index = 0;
    while (recvCount < static_cast<std::int32_t>(kImageSize)) {
        const auto at = static_cast<std::size_t>(recvCount);
        if (at + kRecordSize > buffer.size()) return false;
        send(link, readRecordRequest(index++));
        std::array<std::uint8_t, kReadAnswerSize> answer{};
        const std::size_t n = link.read(answer);
        auto record = parseReadAnswer(ByteSpan(answer.data(), std::min(n, answer.size())));
        if (!record) return false;
        std::copy(record->begin(), record->end(), buffer.begin() + static_cast<std::ptrdiff_t>(at));
        recvCount += static_cast<std::int32_t>(kRecordSize);
        if (progress && !progress(recvCount) && recvCount < static_cast<std::int32_t>(kImageSize)) return false;
    }
    return true;
}

bool uploadCommandList(ByteLink& link, std::vector<std::uint8_t> buffer, std::int32_t& remaining,
                       const TransferProgress& progress) {
    // Whole records only: the last one may carry up to 7 spare bytes.
    const auto needed = static_cast<std::size_t>(std::max(remaining, 0)) + kTransferSpare;
    if (buffer.size() < needed) buffer.resize(needed, 0);
    return uploadRecords(link, buffer, remaining, progress);
}

bool downloadCommandList(ByteLink& link, std::vector<std::uint8_t>& buffer, std::int32_t& count,
                         const TransferProgress& progress) {
    buffer.assign(kReceiveBufferSize, 0);
    count = 0;
    return downloadRecords(link, buffer, count, progress);
}

void endUpload(DeviceState& state, bool ok) {
    state.SendFailed = !ok;
    state.SendRemaining = 0;
}

void endDownload(DeviceState& state, bool ok, std::int32_t count, std::span<const std::uint8_t> buffer) {
    state.RecvFailed = !ok;
    state.RecvCount = count;
    if (ok) state.TransferBuffer.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(kImageSize));
}

}  // namespace kt64::link
