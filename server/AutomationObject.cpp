// Members of the automation class. Each takes the apartment mutex for its
// whole duration (WaitForDeviceRead only while it registers its wait), reads
// or writes the shared record under its state lock, and queues worker
// commands outside that lock.
#include "AutomationObject.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>

#include "BuildType.h"
#include "Frame.h"
#include "HResult.h"
#include "Kt64SrvIds.h"
#include "Procedures.h"
#include "StatusFrame.h"
#include "WorkerState.h"

namespace kt64::server {

namespace {

// Local offsets are shorter than a day (in days: 24 h = 1.0).
constexpr double kMaxLocalOffset = 1.0;

using Guard = std::lock_guard<std::mutex>;

// UTF-16 units of a UTF-8 text: the characters a client's text has on the
// interface, so a character beyond U+FFFF counts as two (a surrogate pair).
// A byte that starts no valid sequence counts as one character of its own,
// so any input has a definite length.
std::u16string characters(std::string_view text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        char32_t cp = b;
        if ((b & 0xE0) == 0xC0) {
            extra = 1;
            cp = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2;
            cp = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3;
            cp = b & 0x07;
        }
        bool good = i + extra < text.size();
        for (std::size_t k = 1; good && k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            good = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (good) {
            if (cp >= 0x10000) {
                cp -= 0x10000;
                out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
                out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
            } else {
                out.push_back(static_cast<char16_t>(cp));
            }
            i += extra + 1;
        } else {
            out.push_back(b);
            ++i;
        }
    }
    return out;
}

int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return static_cast<int>(c - u'0');
    if (c >= u'a' && c <= u'f') return static_cast<int>(c - u'a' + 10);
    if (c >= u'A' && c <= u'F') return static_cast<int>(c - u'A' + 10);
    return -1;
}

}  // namespace

bool parseSerialText(std::string_view text, std::array<std::uint8_t, 3>& serial) {
    const auto chars = characters(text);
    if (chars.size() != 7 || chars[2] != u'/') return false;
    // Groups at characters 1-2, 4-5 and 6-7.
    constexpr std::array<std::size_t, 3> starts{0, 3, 5};
    for (std::size_t g = 0; g < 3; ++g) {
        int high = hexValue(chars[starts[g]]);
        if (high < 0) continue;
        int low = hexValue(chars[starts[g] + 1]);
        serial[g] = static_cast<std::uint8_t>(low < 0 ? high : high * 16 + low);
    }
    return true;
}

AutomationObject::AutomationObject(SharedDevice& device, DeviceReadEvent& readEvent, ServerConfig& config)
    : device_(device), readEvent_(readEvent), config_(config) {}

CallStatus AutomationObject::validity(const link::DeviceState& dev) {
    if (dev.StatusValid) return CallStatus::success();
    return {dev.ErrorCode, dev.ErrorText};
}

CallStatus AutomationObject::refuseLocked(DeviceRecord& r, HRESULT hr, std::string_view text) {
    r.device.ErrorCode = hr;
    r.device.ErrorText = std::string(text);
    return CallStatus::failure(hr, text);
}

CallStatus AutomationObject::refuse(HRESULT hr, std::string_view text) {
    return device_.access([&](DeviceRecord& r) { return refuseLocked(r, hr, text); });
}

template <class T, class Read>
CallResult<T> AutomationObject::statusGetter(Read read) {
    Guard apartment(apartment_);
    return device_.access([&](const DeviceRecord& r) {
        return CallResult<T>{static_cast<T>(read(r.device)), validity(r.device)};
    });
}

template <class Store>
CallStatus AutomationObject::putParam(std::uint32_t bit, Store store) {
    Guard apartment(apartment_);
    device_.access([&](DeviceRecord& r) {
        store(r.device);
        r.device.PendingParams |= bit;
    });
    device_.enqueue(W_SETPARAMS);
    return CallStatus::success();
}

// ---------------------------------------------------------------------------
// Methods.

CallResult<DATE> AutomationObject::GetSyncTime() {
    Guard apartment(apartment_);
    return device_.access([](const DeviceRecord& r) {
        // The readiness refusals are answered, not recorded.
        auto readiness = link::syncReadiness(r.device);
        return CallResult<DATE>{r.device.LocTime, {readiness.code, std::move(readiness.text)}};
    });
}

CallResult<StampedSyncTime> AutomationObject::GetSyncTimeStamped() {
    Guard apartment(apartment_);
    return device_.access([](const DeviceRecord& r) {
        auto readiness = link::syncReadiness(r.device);
        const StampedSyncTime value{
            r.device.LocTime,
            r.device.FrameMonotonicNs,
            r.device.FrameRealtimeNs,
            r.device.FrameNo,
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count(),
            r.device.RequestMonotonicNs,
            r.device.GmtTime};
        return CallResult<StampedSyncTime>{value, {readiness.code, std::move(readiness.text)}};
    });
}

CallStatus AutomationObject::SetComPort(std::uint32_t PortNo) {
    Guard apartment(apartment_);
    if (!config_.writePort(PortNo)) return CallStatus::failure(E_KT64_REGISTRY, text::kRegistryOpen);
    device_.enqueue(W_OPEN);
    return CallStatus::success();
}

CallResult<std::uint32_t> AutomationObject::GetComPort() {
    Guard apartment(apartment_);
    auto port = config_.readPort();
    if (!port) return {0, CallStatus::failure(E_KT64_PORT, text::kRegistryRead)};
    return {*port, CallStatus::success()};
}

void AutomationObject::WaitForDeviceRead(std::function<void(CallStatus)> done) {
    Guard apartment(apartment_);
    readEvent_.waitAsync(kDeviceReadTimeout, [done = std::move(done)](bool signalled) {
        done(signalled ? CallStatus::success() : CallStatus::failure(E_KT64_REGISTRY, text::kWaitFailed));
    });
}

CallStatus AutomationObject::WaitForDeviceRead() {
    {
        // Serialised with the other calls up to the start of the wait only.
        Guard apartment(apartment_);
    }
    if (readEvent_.wait(kDeviceReadTimeout)) return CallStatus::success();
    return CallStatus::failure(E_KT64_REGISTRY, text::kWaitFailed);
}

CallStatus AutomationObject::ComunicationEnable(std::uint32_t Enabled) {
    Guard apartment(apartment_);
    if (Enabled != 0) {
        if (device_.enqueue(W_POLL)) return CallStatus::success();
        return refuse(E_KT64_BUSY, text::kBusy);
    }
    if (!device_.enqueue(W_PAUSE)) return refuse(E_KT64_BUSY, text::kBusyDot);
    // While communication is off every getter fails with this text.
    refuse(E_KT64_PAUSED, text::kPaused);
    return CallStatus::success();
}

// ---------------------------------------------------------------------------
// Status properties.

CallResult<DATE> AutomationObject::GetGmtTime() {
    return statusGetter<DATE>([](const link::DeviceState& d) { return d.GmtTime; });
}

CallStatus AutomationObject::PutGmtTime(DATE newVal) {
    Guard apartment(apartment_);
    auto fields = fromVariantTime(newVal);
    const int year = fields ? fields->year : -1;
    // The value is stored only when it can be sent: storing a refused value
    // would make an already waiting set-time command (queued by an earlier,
    // accepted call) send nothing at all.
    if (year < 2000 || year >= 2100) return refuse(E_KT64_FRAME, text::kBadSetData);
    device_.access([&](DeviceRecord& r) { r.device.NewGmtTime = newVal; });
    if (device_.enqueue(W_SETTIME)) return CallStatus::success();
    return refuse(E_KT64_BUSY, text::kBusyDot);
}

CallResult<DATE> AutomationObject::GetLocTime() {
    return statusGetter<DATE>([](const link::DeviceState& d) { return d.LocTime; });
}

CallStatus AutomationObject::PutLocTime(DATE) {
    Guard apartment(apartment_);
    return CallStatus::success();
}

CallResult<DATE> AutomationObject::GetLineTime() {
    return statusGetter<DATE>([](const link::DeviceState& d) { return d.LineTime; });
}

CallStatus AutomationObject::PutLineTime(DATE newVal) {
    Guard apartment(apartment_);
    auto refused = device_.access([&](DeviceRecord& r) -> std::optional<CallStatus> {
        // The analogue line must be stopped before its time is set.
        if (r.device.StatusValid && r.device.SetLine1AnalOn) return refuseLocked(r, E_KT64_LINEON, text::kLineOn);
        r.device.NewLineTime = newVal;
        return std::nullopt;
    });
    if (refused) return *refused;
    if (device_.enqueue(W_SETLINETIME)) return CallStatus::success();
    return refuse(E_KT64_BUSY, text::kBusyDot);
}

CallResult<std::uint32_t> AutomationObject::GetAlarmFlag() {
    return statusGetter<std::uint32_t>([](const link::DeviceState& d) {
        std::uint32_t bits = 0;
        if (d.AlarmSyncTran) bits |= ids::A_SYNCTRAN;
        if (d.AlarmSet) bits |= ids::A_SET;
        if (d.AlarmAku36) bits |= ids::A_AKU36;
        if (d.AlarmPower) bits |= ids::A_POWER;
        if (d.AlarmSync) bits |= ids::A_SYNC;
        if (d.AlarmAntena) bits |= ids::A_ANTENA;
        if (d.AlarmManSet) bits |= ids::A_MANSET;
        if (d.AlarmLine1) bits |= ids::A_LINE1;
        return bits;
    });
}

CallResult<std::uint32_t> AutomationObject::GetSetFlag() {
    Guard apartment(apartment_);
    // Answers S_OK always, without the validity rule.
    return device_.access([](const DeviceRecord& r) {
        const auto& d = r.device;
        std::uint32_t bits = 0;
        if (d.SetChangeTimeOn) bits |= ids::S_CHANGETIMEON;
        if (d.SetWinterTime) bits |= ids::S_WINTERTIME;
        if (d.SetLine1AnalOn) bits |= ids::S_LINE1ANALON;
        if (d.SetLine1DigitOn) bits |= ids::S_LINE1DIGITON;
        return CallResult<std::uint32_t>{bits, CallStatus::success()};
    });
}

CallStatus AutomationObject::PutSetFlag(std::uint32_t newVal) {
    Guard apartment(apartment_);
    // S_CHANGETIMEON is written through ChangeTimeOn; S_WINTERTIME is only
    // reported: both are ignored here.
    device_.access([&](DeviceRecord& r) {
        r.device.NewLineAnalOn = (newVal & ids::S_LINE1ANALON) != 0;
        r.device.NewLineDigitOn = (newVal & ids::S_LINE1DIGITON) != 0;
    });
    // A frame already waiting takes the values just stored: a client calling
    // this in a loop must not queue frames faster than the line sends them,
    // or every other client's setting waits behind hours of backlog.
    device_.enqueue(W_SETLINES);
    return CallStatus::success();
}

CallResult<double> AutomationObject::GetLocalOffset() {
    return statusGetter<double>([](const link::DeviceState& d) { return d.LocalOffset; });
}

CallStatus AutomationObject::PutLocalOffset(double newVal) {
    // No offset is a day or more, and NaN or infinity is none at all: such a
    // value would reach the centre as some unrelated offset.
    if (!std::isfinite(newVal) || std::fabs(newVal) >= kMaxLocalOffset) {
        Guard apartment(apartment_);
        return refuse(E_KT64_FRAME, text::kBadSetData);
    }
    return putParam(link::P_LOCALOFFSET, [&](link::DeviceState& d) { d.NewLocalOffset = newVal; });
}

CallResult<std::int32_t> AutomationObject::GetKeyTimeZL() {
    return statusGetter<std::int32_t>([](const link::DeviceState& d) { return d.KeyTimeZL; });
}

CallStatus AutomationObject::PutKeyTimeZL(std::int32_t newVal) {
    return putParam(link::P_KEYTIMEZL, [&](link::DeviceState& d) { d.NewKeyTimeZL = newVal; });
}

CallResult<DATE> AutomationObject::GetChangeTimeZL() {
    return statusGetter<DATE>([](const link::DeviceState& d) { return d.ChangeTimeZL; });
}

CallStatus AutomationObject::PutChangeTimeZL(DATE newVal) {
    return putParam(link::P_CHANGETIMEZL, [&](link::DeviceState& d) { d.NewChangeTimeZL = newVal; });
}

CallResult<std::int32_t> AutomationObject::GetKeyTimeLZ() {
    return statusGetter<std::int32_t>([](const link::DeviceState& d) { return d.KeyTimeLZ; });
}

CallStatus AutomationObject::PutKeyTimeLZ(std::int32_t newVal) {
    return putParam(link::P_KEYTIMELZ, [&](link::DeviceState& d) { d.NewKeyTimeLZ = newVal; });
}

CallResult<DATE> AutomationObject::GetChangeTimeLZ() {
    return statusGetter<DATE>([](const link::DeviceState& d) { return d.ChangeTimeLZ; });
}

CallStatus AutomationObject::PutChangeTimeLZ(DATE newVal) {
    return putParam(link::P_CHANGETIMELZ, [&](link::DeviceState& d) { d.NewChangeTimeLZ = newVal; });
}

CallStatus AutomationObject::PutChangeTimeOn(std::uint32_t newVal) {
    return putParam(link::P_CHANGETIMEON, [&](link::DeviceState& d) { d.NewChangeTimeOn = newVal != 0; });
}

CallResult<std::string> AutomationObject::GetSerialNum() {
    return statusGetter<std::string>([](const link::DeviceState& d) { return d.SerialNum; });
}

CallStatus AutomationObject::PutSerialNum(std::string_view newVal) {
    Guard apartment(apartment_);
    auto refused = device_.access([&](DeviceRecord& r) -> std::optional<CallStatus> {
        auto serial = r.device.NewSerial;
        if (!parseSerialText(newVal, serial)) return refuseLocked(r, E_KT64_FRAME, text::kBadDataDot);
        r.device.NewSerial = serial;
        return std::nullopt;
    });
    if (refused) return *refused;
    if (device_.enqueue(W_SETSERIAL)) return CallStatus::success();
    return refuse(E_KT64_BUSY, text::kBusyDot);
}

CallResult<std::string> AutomationObject::GetBuildType() {
    return statusGetter<std::string>([](const link::DeviceState& d) { return d.BuildType; });
}

CallStatus AutomationObject::PutBuildType(std::string_view newVal) {
    Guard apartment(apartment_);
    auto refused = device_.access([&](DeviceRecord& r) -> std::optional<CallStatus> {
        // Fields the text leaves out keep the centre's current codes.
        auto build = r.device.NewBuild;
        link::codesOfReport(r.device.BuildType, build);
        if (!link::codesOfTextToSet(newVal, build)) return refuseLocked(r, E_KT64_FRAME, text::kBadDataDot);
        r.device.NewBuild = build;
        return std::nullopt;
    });
    if (refused) return *refused;
    device_.enqueue(W_SETBUILD);
    return CallStatus::success();
}

CallResult<std::int32_t> AutomationObject::GetLineDigitType() {
    return statusGetter<std::int32_t>([](const link::DeviceState& d) { return d.LineDigitType; });
}

CallStatus AutomationObject::PutLineDigitType(std::int32_t newVal) {
    Guard apartment(apartment_);
    device_.access([&](DeviceRecord& r) { r.device.NewLineDigitType = newVal; });
    device_.enqueue(W_SETDIGLINE);
    return CallStatus::success();
}

// ---------------------------------------------------------------------------
// Command list.

CallResult<std::vector<std::uint8_t>> AutomationObject::GetRozkazy() {
    Guard apartment(apartment_);
    return device_.access([&](DeviceRecord& r) -> CallResult<std::vector<std::uint8_t>> {
        const auto& d = r.device;
        if (d.RecvCount != static_cast<std::int32_t>(link::kImageSize))
            return {{}, refuseLocked(r, E_KT64_BUSY, text::kBusyDot)};
        if (d.RecvFailed) return {{}, refuseLocked(r, E_KT64_CHECKSUM, text::kTransferChecksum)};
        // The image stays readable until the next download is queued.
        std::vector<std::uint8_t> image(d.TransferBuffer.begin(),
                                        d.TransferBuffer.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                                       d.TransferBuffer.size(), link::kImageSize)));
        image.resize(link::kImageSize, 0);
        return {std::move(image), CallStatus::success()};
    });
}

CallStatus AutomationObject::PutRozkazy(std::uint32_t vt, std::span<const std::uint8_t> bytes) {
    Guard apartment(apartment_);
    if (vt != kVtArrayOfBytes) return refuse(E_KT64_FRAME, text::kBadData);
    // The centre holds exactly one list of 415 records: anything else would
    // leave it with part of a program, or with bytes past its end; refused
    // before the centre is touched.
    if (bytes.size() != link::kImageSize)
        return refuse(E_INVALIDARG, "Lista rozkazów musi mieć " + std::to_string(link::kImageSize) +
                                        " bajtów, otrzymano " + std::to_string(bytes.size()) +
                                        "; centrali nic nie wysłano.");
    auto refused = device_.access([&](DeviceRecord& r) -> std::optional<CallStatus> {
        if (r.device.SendRemaining != 0) return refuseLocked(r, E_KT64_BUSY, text::kBusyDot);
        r.device.SendFailed = false;
        // Its own buffer: a download never touches it. 7 spare bytes (zero)
        // fill the last record of an image that is not whole records.
        r.SendBuffer.assign(bytes.begin(), bytes.end());
        r.SendBuffer.resize(bytes.size() + link::kTransferSpare, 0);
        r.device.SendRemaining = static_cast<std::int32_t>(bytes.size());
        return std::nullopt;
    });
    if (refused) return *refused;
    device_.enqueue(W_SENDROZK);
    return CallStatus::success();
}

CallResult<std::uint32_t> AutomationObject::GetRozkazPos() {
    Guard apartment(apartment_);
    return device_.access([&](DeviceRecord& r) -> CallResult<std::uint32_t> {
        if (r.device.SendFailed) return {0, refuseLocked(r, E_KT64_CHECKSUM, text::kTransferChecksum)};
        return {static_cast<std::uint32_t>(std::max(r.device.SendRemaining, 0)), CallStatus::success()};
    });
}

CallStatus AutomationObject::StartGetRozkazy() {
    Guard apartment(apartment_);
    auto refused = device_.access([&](DeviceRecord& r) -> std::optional<CallStatus> {
        // Refused while a download is queued or running, whatever its count.
        if (r.DownloadBusy) return refuseLocked(r, E_KT64_BUSY, text::kTransferBusy);
        r.device.RecvFailed = false;
        // Reset now, so a client polling at once does not see the old 2905.
        r.device.RecvCount = 0;
        r.device.TransferBuffer.clear();
        r.DownloadBusy = true;
        return std::nullopt;
    });
    if (refused) return *refused;
    device_.enqueue(W_GETROZK);
    return CallStatus::success();
}

CallResult<std::uint32_t> AutomationObject::GetRozkazRxPos() {
    Guard apartment(apartment_);
    return device_.access([&](DeviceRecord& r) -> CallResult<std::uint32_t> {
        if (r.device.RecvFailed) return {0, refuseLocked(r, E_KT64_CHECKSUM, text::kTransferChecksum)};
        return {static_cast<std::uint32_t>(std::max(r.device.RecvCount, 0)), CallStatus::success()};
    });
}

}  // namespace kt64::server
