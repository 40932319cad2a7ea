#include "Requests.h"

#include <cmath>

namespace kt64::link {

namespace {

std::uint8_t low(std::int32_t v) { return static_cast<std::uint8_t>(v & 0xFF); }

}  // namespace

ParamValues paramValuesOf(const DeviceState& s) {
    const std::uint32_t p = s.PendingParams;
    ParamValues v;
    v.localOffset = (p & P_LOCALOFFSET) ? s.NewLocalOffset : s.LocalOffset;
    v.keyTimeZL = (p & P_KEYTIMEZL) ? s.NewKeyTimeZL : s.KeyTimeZL;
    v.changeTimeZL = (p & P_CHANGETIMEZL) ? s.NewChangeTimeZL : s.ChangeTimeZL;
    v.keyTimeLZ = (p & P_KEYTIMELZ) ? s.NewKeyTimeLZ : s.KeyTimeLZ;
    v.changeTimeLZ = (p & P_CHANGETIMELZ) ? s.NewChangeTimeLZ : s.ChangeTimeLZ;
    v.changeTimeOn = (p & P_CHANGETIMEON) ? s.NewChangeTimeOn : s.SetChangeTimeOn;
    return v;
}

OffsetParts offsetParts(double offsetDays) {
    if (!std::isfinite(offsetDays)) return {};
    // Half a second with the offset's sign, so that 0.999... s rounds to the
    // whole second away from zero, as a time span built from the days does.
    const double half = std::copysign(0.5 / 86400.0, offsetDays);
    const double d = offsetDays + half;
    const double minutes = std::trunc(d * 1440.0), hours = std::trunc(d * 24.0);
    // An offset so large that its minutes overflow has no parts to send.
    if (!std::isfinite(minutes) || !std::isfinite(hours)) return {};
    // fmod keeps the sign and stays within int whatever the magnitude.
    OffsetParts parts;
    parts.minutes = static_cast<int>(std::fmod(minutes, 60.0));
    parts.hours = static_cast<int>(std::fmod(hours, 24.0));
    return parts;
}

Bytes statusRequest() { return buildFrame(Command::Status, {}); }

std::optional<Bytes> setTimeRequest(DATE gmt) {
    auto st = fromVariantTime(gmt);
    if (!st || st->year < 2000 || st->year > 2099) return std::nullopt;
    const std::uint8_t data[] = {bcdEncode(st->second), bcdEncode(st->minute), bcdEncode(st->hour),
                                 bcdEncode(st->day),    bcdEncode(st->month),  bcdEncode(st->year - 2000)};
    return buildFrame(Command::SetTime, data);
}

Bytes switchLinesRequest(bool analogueOn, bool digitalOn) {
    const std::uint8_t data[] = {std::uint8_t{analogueOn}, std::uint8_t{digitalOn}};
    return buildFrame(Command::SwitchLines, data);
}

std::optional<Bytes> lineTimeRequest(DATE lineTime) {
    auto st = fromVariantTime(lineTime);
    if (!st) return std::nullopt;
    const std::uint8_t data[] = {0x11, bcdEncode(st->minute), bcdEncode(st->hour)};
    return buildFrame(Command::SetLineTime, data);
}

Bytes serialRequest(const std::array<std::uint8_t, 3>& serial) { return buildFrame(Command::SetSerial, serial); }

Bytes typeRequest(const std::array<std::uint8_t, 3>& build) { return buildFrame(Command::SetType, build); }

Bytes paramsRequest(const ParamValues& v) {
    const OffsetParts off = offsetParts(v.localOffset);
    auto zl = fromVariantTime(v.changeTimeZL);
    auto lz = fromVariantTime(v.changeTimeLZ);
    // One digit per hour: only hours 0..9 fit; higher ones keep their low
    // four bits (the frame has no room for them).
    const int hourZL = zl ? zl->hour & 0x0F : 0;
    const int hourLZ = lz ? lz->hour & 0x0F : 0;
    const std::uint8_t data[] = {
        0x11,
        bcdEncode(std::abs(off.minutes)),
        bcdEncode(std::abs(off.hours)),
        std::uint8_t{v.localOffset <= 0 ? std::uint8_t{0x01} : std::uint8_t{0x00}},
        bcdEncode(v.keyTimeZL),
        bcdEncode(zl ? zl->month : 0),
        bcdEncode(v.keyTimeLZ),
        bcdEncode(lz ? lz->month : 0),
        static_cast<std::uint8_t>((hourZL << 4) | hourLZ),
        std::uint8_t{v.changeTimeOn},
    };
    return buildFrame(Command::SetParams, data);
}

Bytes digitalLineRequest(std::int32_t lineType) {
    const std::uint8_t data[] = {0x11, low(lineType)};
    return buildFrame(Command::SetDigitalLine, data);
}

Bytes writeRecordRequest(std::uint16_t index, std::span<const std::uint8_t, kRecordSize> record) {
    std::uint8_t data[2 + kRecordSize] = {static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index)};
    std::copy(record.begin(), record.end(), data + 2);
    return buildFrame(Command::WriteRecord, data);
}

Bytes readRecordRequest(std::uint16_t index) {
    const std::uint8_t data[] = {static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index)};
    return buildFrame(Command::ReadRecord, data);
}

bool isWriteAck(ByteSpan answer) {
    if (answer.size() < kWriteAckSize) return false;
    ByteSpan a = answer.first(kWriteAckSize);
    return xorOf(a) == 0 && a[0] == kEsc && a[1] == 0xDD && a[2] == 0x02;
}

std::optional<Record> parseReadAnswer(ByteSpan answer) {
    if (answer.size() < kReadAnswerSize) return std::nullopt;
    ByteSpan a = answer.first(kReadAnswerSize);
    if (xorOf(a) != 0 || a[0] != kEsc || a[1] != 0xEE || a[2] != 0x09) return std::nullopt;
    Record r;
    std::copy(a.begin() + 5, a.begin() + 12, r.begin());
    return r;
}

}  // namespace kt64::link
