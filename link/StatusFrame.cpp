#include "StatusFrame.h"

#include <cstdio>
#include <optional>

#include "OleDate.h"

namespace kt64::link {

namespace {

// Offsets in the status frame.
enum : std::size_t {
    kGmt = 3,   // ss mm hh DD MM YY
    kLoc = 10,  // ss mm hh DD MM YY
    kLineMin = 17,
    kLineHour = 18,
    kAlarms = 19,
    kAlarmManSet = 20,
    kAlarmLine = 21,
    kModel = 22,
    kSerial = 23,  // three bytes
    kOffsetMin = 30,
    kOffsetHour = 31,
    kOffsetSign = 32,
    kKeyZL = 33,
    kDayZL = 34,
    kMonthZL = 35,
    kKeyLZ = 36,
    kDayLZ = 37,
    kMonthLZ = 38,
    kChangeHours = 39,
    kChangeOn = 40,
    kWinter = 41,
    kAnalOn = 42,
    kDigitOn = 43,
    kSource = 44,
    kRelays = 45,
    kInterface = 46,
    kDigitType = 47,
    kVersion = 48,
};

bool bit(std::uint8_t b, int n) { return (b >> n) & 1; }

// DATE of a BCD date and time at f[0..5] = ss mm hh DD MM YY (year - 2000);
// nullopt when a digit is invalid or the calendar rejects the fields.
std::optional<DATE> bcdDateTime(ByteSpan f) {
    int v[6];
    for (int i = 0; i < 6; ++i) {
        v[i] = bcdDecode(f[i]);
        if (v[i] < 0) return std::nullopt;
    }
    return makeDate(2000 + v[5], v[4], v[3], v[2], v[1], v[0]);
}

std::optional<DATE> changeDate(std::uint8_t dayByte, std::uint8_t monthByte, std::uint8_t hourDigit) {
    int day = bcdDecode(dayByte), month = bcdDecode(monthByte), hour = bcdDigit(hourDigit);
    if (day < 0 || month < 0 || hour < 0) return std::nullopt;
    return makeDate(1900, month, day, hour);
}

// Each field is recomputed from the frame; a field whose BCD digits are
// invalid (or whose date the calendar rejects) keeps its previous value, so a
// reader never sees a date built from garbage.
void decode(ByteSpan f, DeviceState& s) {
    if (auto d = bcdDateTime(f.subspan(kGmt, 6))) s.GmtTime = *d;
    if (auto d = bcdDateTime(f.subspan(kLoc, 6))) s.LocTime = *d;

    int lineMin = bcdDecode(f[kLineMin]), lineHour = bcdDecode(f[kLineHour]);
    if (lineMin >= 0 && lineHour >= 0) s.LineTime = 2.0 + lineMin / 1440.0 + lineHour / 24.0;

    const std::uint8_t a = f[kAlarms];
    s.AlarmSyncTran = !bit(a, 7);
    s.AlarmSet = bit(a, 6);
    s.AlarmAku36 = bit(a, 3);
    s.AlarmPower = bit(a, 2);
    s.AlarmSync = bit(a, 1);
    s.AlarmAntena = !bit(a, 0);
    s.AlarmManSet = bit(f[kAlarmManSet], 6);
    s.AlarmLine1 = bit(f[kAlarmLine], 0);

    s.SerialNum = serialNumText(f[kSerial], f[kSerial + 1], f[kSerial + 2]);

    int offMin = bcdDecode(f[kOffsetMin]), offHour = bcdDecode(f[kOffsetHour]);
    if (offMin >= 0 && offHour >= 0) {
        double offset = offMin / 1440.0 + offHour / 24.0;
        s.LocalOffset = bit(f[kOffsetSign], 0) ? -offset : offset;
    }

    s.KeyTimeZL = f[kKeyZL];
    s.KeyTimeLZ = f[kKeyLZ];
    const std::uint8_t hours = f[kChangeHours];
    if (auto d = changeDate(f[kDayZL], f[kMonthZL], hours >> 4)) s.ChangeTimeZL = *d;
    if (auto d = changeDate(f[kDayLZ], f[kMonthLZ], hours & 0x0F)) s.ChangeTimeLZ = *d;

    s.SetChangeTimeOn = bit(f[kChangeOn], 0);
    s.SetWinterTime = bit(f[kWinter], 0);
    s.SetLine1AnalOn = bit(f[kAnalOn], 0);
    s.SetLine1DigitOn = bit(f[kDigitOn], 0);

    s.BuildType = buildTypeText(f[kModel], f[kSource], f[kRelays], f[kInterface], f[kVersion]);
    s.NoSyncSource = f[kSource] == 0x00;
    s.LineDigitType = f[kDigitType];
}

void fail(DeviceState& s, HRESULT code, std::string_view text) {
    s.ErrorCode = code;
    s.ErrorText = text;
    s.StatusValid = false;
}

}  // namespace

std::string serialNumText(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.2X/%.2X%.2X", b1, b2, b3);
    return buf;
}

HRESULT applyStatusFrame(ByteSpan received, DeviceState& state) {
    if (received.size() < kStatusFrameSize) {
        fail(state, E_KT64_NOANSWER, text::kNoAnswer);
        return E_KT64_NOANSWER;
    }
    ByteSpan f = received.first(kStatusFrameSize);
    if (xorOf(f) != 0) {
        fail(state, E_KT64_CHECKSUM, text::kChecksum);
        return E_KT64_CHECKSUM;
    }
    if (f[0] != kEsc || f[1] != 0x44 || f[27] != kEsc || f[28] != 0x55) {
        fail(state, E_KT64_FRAME, text::kBadFrame);
        return E_KT64_FRAME;
    }
    decode(f, state);
    state.StatusValid = true;
    return S_OK;
}

SyncReadiness syncReadiness(const DeviceState& s) {
    if (!s.StatusValid) return {s.ErrorCode, s.ErrorText};
    if (s.AlarmSet && !s.NoSyncSource) return {E_KT64_NOTREADY, std::string(text::kNeedsSetting)};
    if (s.AlarmSync && !s.NoSyncSource) return {E_KT64_NOTREADY, std::string(text::kNotSynced240h)};
    if (s.AlarmManSet) return {E_KT64_NOTREADY, std::string(text::kManualSetting)};
    return {S_OK, {}};
}

}  // namespace kt64::link
