#include "Centre.h"

#include <algorithm>
#include <cstdlib>

#include "CentreCalendar.h"
#include "ChangeOfTime.h"

namespace kt64::sim {

using link::bcdDecode;
using link::bcdEncode;
using link::Bytes;
using link::ByteSpan;
using link::Command;
using link::kEsc;

namespace {

constexpr std::int64_t kDaySeconds = calendar::kSecondsPerDay;

using calendar::floorDiv;

// Data length of each request the centre knows; -1 for an unknown code.
int requestLength(std::uint8_t code) {
    switch (static_cast<Command>(code)) {
    case Command::Status:
        return 0;
    case Command::SetTime:
        return 6;
    case Command::SwitchLines:
        return 2;
    case Command::SetLineTime:
        return 3;
    case Command::SetSerial:
        return 3;
    case Command::SetType:
        return 3;
    case Command::SetParams:
        return 10;
    case Command::SetDigitalLine:
        return 2;
    case Command::WriteRecord:
        return 9;
    case Command::ReadRecord:
        return 2;
    }
    return -1;
}

bool isRecordRequest(std::uint8_t code) {
    return code == static_cast<std::uint8_t>(Command::WriteRecord) ||
           code == static_cast<std::uint8_t>(Command::ReadRecord);
}

std::int64_t positiveMod(std::int64_t a, std::int64_t m) { return a - floorDiv(a, m) * m; }

// BCD of the value within 0..max, or nullopt.
std::optional<int> bcdIn(std::uint8_t b, int min, int max) {
    const int v = bcdDecode(b);
    if (v < min || v > max) return std::nullopt;
    return v;
}

}  // namespace

Centre::Centre(const CentreSettings& settings, std::shared_ptr<const TimeSource> clock)
    : clock_(std::move(clock)), params_(settings) {
    params_.startGmt.reset();
    const std::int64_t now = nowMs();
    if (settings.startGmt)
        gmtCorrectionMs_ =
            std::chrono::floor<std::chrono::milliseconds>(*settings.startGmt).time_since_epoch().count() - now;
    lineAnchorMs_ = now;
    if (settings.lineMinutes) {
        lineBaseSeconds_ = static_cast<int>(positiveMod(*settings.lineMinutes, 1440) * 60);
    } else {
        lineBaseSeconds_ = static_cast<int>(positiveMod(view().localSeconds, kDaySeconds));
    }
}

std::int64_t Centre::nowMs() const {
    return std::chrono::floor<std::chrono::milliseconds>(clock_->now()).time_since_epoch().count();
}

std::int64_t Centre::gmtMs() const { return nowMs() + gmtCorrectionMs_; }

int Centre::lineSecondsNow() const {
    if (!params_.analogOn) return lineBaseSeconds_;
    const std::int64_t elapsed = floorDiv(nowMs() - lineAnchorMs_, 1000);
    return static_cast<int>(positiveMod(lineBaseSeconds_ + elapsed, kDaySeconds));
}

CentreView Centre::view() const {
    CentreView v;
    v.gmtSeconds = floorDiv(gmtMs(), 1000);
    const auto& p = params_;
    v.summer = p.changeOn && isSummerAt(v.gmtSeconds, p.winterToSummer, p.summerToWinter, p.offsetMinutes);
    v.localSeconds = v.gmtSeconds + std::int64_t{p.offsetMinutes} * 60 + (v.summer ? 3600 : 0);
    v.lineMinutes = lineSecondsNow() / 60;
    const auto year = changes(v.gmtSeconds);
    v.dayToSummer = year.dayToSummer;
    v.dayToWinter = year.dayToWinter;
    v.settings = p;
    v.fault = fault_;
    return v;
}

ChangeYear Centre::changes(std::int64_t gmtSeconds) const {
    const auto& p = params_;
    return changesOf(changeYearAt(gmtSeconds, p.offsetMinutes), p.winterToSummer, p.summerToWinter, p.offsetMinutes);
}

// Status frame, 50 bytes, two blocks. Bytes 2, 9, 16, 26 and 29 are not read
// by the link server; the centre puts in them the block lengths (0x17, 0x13),
// the weekdays of its GMT and local dates (1 Monday .. 7 Sunday) and the XOR of
// the first block, so that each block XORs to 0 on its own and the whole frame
// does too. Example, 17 May 2024 12:34:56 GMT, +1 h, summer:
//   1B 44 17 56 34 12 17 05 24 05 56 34 14 17 05 24 05 34 14 81 00 00 64 01 23 45 EC
//   1B 55 13 00 01 00 00 31 03 00 27 10 23 01 00 01 01 11 22 11 22 12 69
Bytes Centre::statusFrame() const {
    const CentreView v = view();
    const auto& p = params_;
    const CivilTime g = civilFromSeconds(v.gmtSeconds);
    const CivilTime l = civilFromSeconds(v.localSeconds);
    const int offset = std::abs(p.offsetMinutes);
    const bool negative = p.offsetMinutes < 0 || (p.offsetMinutes == 0 && zeroOffsetSign_);

    Bytes b(link::kStatusFrameSize, 0);
    b[0] = kEsc;
    b[1] = 0x44;
    b[2] = 0x17;
    b[3] = bcdEncode(g.second);
    b[4] = bcdEncode(g.minute);
    b[5] = bcdEncode(g.hour);
    b[6] = bcdEncode(g.day);
    b[7] = bcdEncode(g.month);
    b[8] = bcdEncode(g.year % 100);
    b[9] = static_cast<std::uint8_t>(g.weekday);
    b[10] = bcdEncode(l.second);
    b[11] = bcdEncode(l.minute);
    b[12] = bcdEncode(l.hour);
    b[13] = bcdEncode(l.day);
    b[14] = bcdEncode(l.month);
    b[15] = bcdEncode(l.year % 100);
    b[16] = static_cast<std::uint8_t>(l.weekday);
    b[17] = bcdEncode(v.lineMinutes % 60);
    b[18] = bcdEncode(v.lineMinutes / 60);
    b[19] = p.alarms[0];
    b[20] = p.alarms[1];
    b[21] = p.alarms[2];
    b[22] = p.model;
    b[23] = p.serial[0];
    b[24] = p.serial[1];
    b[25] = p.serial[2];
    b[26] = link::xorOf(ByteSpan(b).first(26));
    b[27] = kEsc;
    b[28] = 0x55;
    b[29] = 0x13;
    b[30] = bcdEncode(offset % 60);
    b[31] = bcdEncode(offset / 60 % 100);
    b[32] = negative ? 0x01 : 0x00;
    b[33] = static_cast<std::uint8_t>(p.winterToSummer.key);
    b[34] = bcdEncode(v.dayToSummer);
    b[35] = bcdEncode(p.winterToSummer.month);
    b[36] = static_cast<std::uint8_t>(p.summerToWinter.key);
    b[37] = bcdEncode(v.dayToWinter);
    b[38] = bcdEncode(p.summerToWinter.month);
    b[39] = static_cast<std::uint8_t>(((p.winterToSummer.hour % 10) << 4) | (p.summerToWinter.hour % 10));
    b[40] = p.changeOn ? 0x01 : 0x00;
    b[41] = v.summer ? 0x00 : 0x01;
    b[42] = p.analogOn ? 0x01 : 0x00;
    b[43] = p.digitalOn ? 0x01 : 0x00;
    b[44] = p.source;
    b[45] = p.relays;
    b[46] = p.interface;
    b[47] = p.digitalType;
    b[48] = p.firmware;
    b[49] = link::xorOf(ByteSpan(b).subspan(27, 22));
    return b;
}

std::vector<Answer> Centre::receive(ByteSpan bytes) {
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    std::vector<Answer> out;
    parse(out);
    return out;
}

std::vector<Answer> Centre::lineQuiet() {
    std::vector<Answer> out;
    while (!pending_.empty()) {
        ++counters_.rejected;
        pending_.erase(pending_.begin());
        parse(out);
    }
    return out;
}

void Centre::parse(std::vector<Answer>& out) {
    while (true) {
        const auto esc = std::find(pending_.begin(), pending_.end(), kEsc);
        pending_.erase(pending_.begin(), esc);
        if (pending_.size() < 3) return;
        const int length = requestLength(pending_[1]);
        if (length < 0 || pending_[2] != length) {
            ++counters_.rejected;
            pending_.erase(pending_.begin());
            continue;
        }
        const std::size_t size = static_cast<std::size_t>(length) + 4;
        if (pending_.size() < size) return;
        const Bytes frame(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(size));
        if (link::xorOf(frame) != 0) {
            ++counters_.rejected;
            pending_.erase(pending_.begin());
            continue;
        }
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(size));
        process(frame, out);
    }
}

void Centre::process(ByteSpan frame, std::vector<Answer>& out) {
    ++counters_.requests;
    const std::uint8_t code = frame[1];
    const int record = isRecordRequest(code) ? (frame[3] << 8 | frame[4]) : -1;
    if (record >= static_cast<int>(link::kRecordCount)) {
        ++counters_.rejected;
        return;
    }
    if (fault_.kind == FaultKind::Silent) {
        useFault();
        return;
    }
    if (fault_.kind == FaultKind::AckRefuse && record == fault_.argument) {
        useFault();
        return;
    }
    Answer a;
    a.bytes = apply(frame);
    applyFault(a.bytes, record, a.delay);
    ++counters_.answers;
    out.push_back(std::move(a));
}

void Centre::useFault() {
    if (fault_.remaining > 0 && --fault_.remaining == 0) fault_ = Fault{};
}

// Changes the answer as the active fault says. Marker faults keep the
// checksum right so that the receiver's marker check, not its checksum check,
// is what fails:
//   status       byte 27 1B -> 00, byte 49 adjusted
//   DD ack       1B DD 02 -> 1B DD 03, checksum adjusted
//   EE answer    1B EE 09 -> 1B EE 08, checksum adjusted
void Centre::applyFault(Bytes& b, int record, std::chrono::milliseconds& delay) {
    switch (fault_.kind) {
    case FaultKind::None:
    case FaultKind::Silent:
    case FaultKind::AckRefuse:
        return;
    case FaultKind::Late:
        delay = std::chrono::milliseconds{fault_.argument};
        break;
    case FaultKind::Checksum:
        b.back() ^= 0x5A;
        break;
    case FaultKind::Marker:
        if (b.size() == link::kStatusFrameSize) {
            b[27] = 0x00;
        } else {
            b[2] = b[1] == static_cast<std::uint8_t>(Command::WriteRecord) ? 0x03 : 0x08;
        }
        b.back() = 0;
        b.back() = link::xorOf(b);
        break;
    case FaultKind::Short:
        b.pop_back();
        break;
    case FaultKind::Garbage:
        b.insert(b.begin(), static_cast<std::size_t>(fault_.argument), std::uint8_t{0x55});
        break;
    case FaultKind::AckCorrupt:
        if (record != fault_.argument) return;
        b.back() ^= 0x5A;
        break;
    }
    useFault();
}

Bytes Centre::apply(ByteSpan frame) {
    const auto d = frame.subspan(3, frame[2]);
    switch (static_cast<Command>(frame[1])) {
    case Command::Status:
        break;
    case Command::SetTime: {
        const auto s = bcdIn(d[0], 0, 59), m = bcdIn(d[1], 0, 59), h = bcdIn(d[2], 0, 23);
        const auto mo = bcdIn(d[4], 1, 12), y = bcdIn(d[5], 0, 99);
        if (s && m && h && mo && y) {
            if (const auto day = bcdIn(d[3], 1, daysInMonth(2000 + *y, *mo)))
                setGmt(utcTime(2000 + *y, *mo, *day, *h, *m, *s));
        }
        break;
    }
    case Command::SwitchLines: {
        // 0x01 on, 0x00 off; any other value leaves that line as it is.
        const bool analog = d[0] == 0x01 ? true : d[0] == 0x00 ? false : params_.analogOn;
        const bool digital = d[1] == 0x01 ? true : d[1] == 0x00 ? false : params_.digitalOn;
        setLines(analog, digital);
        break;
    }
    case Command::SetLineTime: {
        const auto m = bcdIn(d[1], 0, 59), h = bcdIn(d[2], 0, 23);
        if (d[0] == 0x11 && m && h) setLineTime(*h * 60 + *m);
        break;
    }
    case Command::SetSerial:
        setSerial({d[0], d[1], d[2]});
        break;
    case Command::SetType:
        setType(d[0], d[1], d[2]);
        break;
    case Command::SetParams:
        applyParameters(d);
        break;
    case Command::SetDigitalLine:
        if (d[0] == 0x11 && (d[1] == code::kDigitalHm || d[1] == code::kDigitalHms || d[1] == code::kDigitalHmsDate))
            setDigitalType(d[1]);
        break;
    case Command::WriteRecord: {
        const std::size_t at = static_cast<std::size_t>(d[0] << 8 | d[1]) * link::kRecordSize;
        std::copy(d.begin() + 2, d.end(), image_.begin() + static_cast<std::ptrdiff_t>(at));
        return link::buildFrame(0xDD, std::array<std::uint8_t, 2>{d[0], d[1]});
    }
    case Command::ReadRecord: {
        const std::size_t at = static_cast<std::size_t>(d[0] << 8 | d[1]) * link::kRecordSize;
        std::array<std::uint8_t, 9> data{d[0], d[1]};
        std::copy_n(image_.begin() + static_cast<std::ptrdiff_t>(at), link::kRecordSize, data.begin() + 2);
        return link::buildFrame(0xEE, data);
    }
    }
    return statusFrame();
}

// Data of request 0x33 (frame offsets 3..12):
//   11 mm hh sign keyZL monZL keyLZ monLZ hours on
// e.g. 11 00 01 00 00 03 00 10 23 01 = +1 h, last Sunday of March at 2 h, last
// Sunday of October at 3 h, change on. All nine values are taken together or,
// when any is out of range, none.
void Centre::applyParameters(ByteSpan d) {
    const auto minutes = bcdIn(d[1], 0, 59), hours = bcdIn(d[2], 0, 23);
    const auto keyZL = bcdIn(d[4], 0, 4), monthZL = bcdIn(d[5], 1, 12);
    const auto keyLZ = bcdIn(d[6], 0, 4), monthLZ = bcdIn(d[7], 1, 12);
    const int hourZL = link::bcdDigit(static_cast<std::uint8_t>(d[8] >> 4)), hourLZ = link::bcdDigit(d[8]);
    const bool signOk = d[3] == 0x00 || d[3] == 0x01;
    const bool onOk = d[9] == 0x00 || d[9] == 0x01;
    if (d[0] != 0x11 || !minutes || !hours || !keyZL || !monthZL || !keyLZ || !monthLZ || hourZL < 0 || hourLZ < 0 ||
        !signOk || !onOk)
        return;
    const int offset = *hours * 60 + *minutes;
    setOffset(d[3] == 0x01 ? -offset : offset);
    zeroOffsetSign_ = d[3] == 0x01;
    setChangeRules({*keyZL, *monthZL, hourZL}, {*keyLZ, *monthLZ, hourLZ});
    setChangeOn(d[9] == 0x01);
}

Bytes Centre::image() const { return Bytes(image_.begin(), image_.end()); }

void Centre::setImage(ByteSpan bytes) {
    image_.fill(0);
    std::copy_n(bytes.begin(), std::min(bytes.size(), image_.size()), image_.begin());
}

void Centre::setSettings(const CentreSettings& s) {
    if (s.startGmt) setGmt(*s.startGmt);
    if (s.offsetMinutes != params_.offsetMinutes) setOffset(s.offsetMinutes);
    setChangeOn(s.changeOn);
    setChangeRules(s.winterToSummer, s.summerToWinter);
    if (s.analogOn != params_.analogOn || s.digitalOn != params_.digitalOn) setLines(s.analogOn, s.digitalOn);
    if (s.lineMinutes) setLineTime(*s.lineMinutes);
    setDigitalType(s.digitalType);
    setType(s.source, s.relays, s.interface);
    setModel(s.model);
    setFirmware(s.firmware);
    setSerial(s.serial);
    setAlarms(s.alarms);
}

void Centre::setGmt(TimePoint gmt) {
    gmtCorrectionMs_ = std::chrono::floor<std::chrono::milliseconds>(gmt).time_since_epoch().count() - nowMs();
}

void Centre::setOffset(int minutes) {
    params_.offsetMinutes = minutes;
    zeroOffsetSign_ = false;
}

void Centre::setChangeOn(bool on) { params_.changeOn = on; }

void Centre::setChangeRules(const ChangeRule& toSummer, const ChangeRule& toWinter) {
    params_.winterToSummer = toSummer;
    params_.summerToWinter = toWinter;
}

// The line time counts from its last setting while the line is on; switching
// or setting re-anchors it so that an off period is not counted.
void Centre::setLines(bool analogOn, bool digitalOn) {
    lineBaseSeconds_ = lineSecondsNow();
    lineAnchorMs_ = nowMs();
    params_.analogOn = analogOn;
    params_.digitalOn = digitalOn;
}

void Centre::setLineTime(int minutesAfterMidnight) {
    lineBaseSeconds_ = static_cast<int>(positiveMod(minutesAfterMidnight, 1440) * 60);
    lineAnchorMs_ = nowMs();
}

void Centre::setDigitalType(std::uint8_t type) { params_.digitalType = type; }

void Centre::setType(std::uint8_t source, std::uint8_t relays, std::uint8_t interface) {
    params_.source = source;
    params_.relays = relays;
    params_.interface = interface;
}

void Centre::setModel(std::uint8_t model) { params_.model = model; }
void Centre::setFirmware(std::uint8_t version) { params_.firmware = version; }
void Centre::setSerial(const std::array<std::uint8_t, 3>& serial) { params_.serial = serial; }
void Centre::setAlarms(const std::array<std::uint8_t, 3>& alarms) { params_.alarms = alarms; }

}  // namespace kt64::sim
