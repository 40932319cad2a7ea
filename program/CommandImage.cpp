// Compiling program rows into the centre's command list and decoding a
// received list back into rows (see CommandImage.h for the byte layout).
#include "CommandImage.h"

#include <algorithm>

#include "ProgramTexts.h"
#include "TextFormat.h"

namespace kt64::program {

namespace {

constexpr int kFirstYear = 2000;
constexpr int kLastYear = 2254;  // year byte FE; FF means "no year"

bool usesImpulse(std::int64_t op) { return op >= kImpulsePlus && op <= kCycleMinus; }
bool usesCycle(std::int64_t op) { return op == kCyclePlus || op == kCycleMinus; }
bool switchesOn(std::int64_t op) { return op == kOn || op == kImpulsePlus || op == kCyclePlus; }

std::optional<ImageFault> checkDate(const DateRow& d) {
    if (!d.from || !d.to) return ImageFault{formatText(text::kFaultDateMissing, static_cast<long long>(d.id))};
    if (d.inItsYearOnly) {
        for (const auto& date : {*d.from, *d.to}) {
            if (date.year < kFirstYear || date.year > kLastYear)
                return ImageFault{formatText(text::kFaultDateYear, static_cast<long long>(d.id), date.year)};
        }
    }
    return std::nullopt;
}

std::optional<ImageFault> checkCommand(const CommandRow& c) {
    const auto id = static_cast<long long>(c.id);
    if (!c.time) return ImageFault{formatText(text::kFaultCommandTime, id)};
    if (c.weekdays < 0 || c.weekdays > 127)
        return ImageFault{formatText(text::kFaultWeekdays, id, static_cast<long long>(c.weekdays))};
    if (c.operation < kOff || c.operation > kCycleMinus)
        return ImageFault{formatText(text::kFaultOperation, id, static_cast<long long>(c.operation))};
    if (c.relay != 1 && c.relay != 2)
        return ImageFault{formatText(text::kFaultRelay, id, static_cast<long long>(c.relay))};
    // Values the record does not carry for the operation are not checked.
    if (usesImpulse(c.operation) && (c.impulse < 0 || c.impulse > 127))
        return ImageFault{formatText(text::kFaultImpulse, id, static_cast<long long>(c.impulse))};
    if (usesCycle(c.operation) && (c.cycle < 0 || c.cycle > 127))
        return ImageFault{formatText(text::kFaultCycle, id, static_cast<long long>(c.cycle))};
    return std::nullopt;
}

// Block index of a block LP: the first position holding it, or 100.
int blockIndexOf(std::span<const BlockRow> blocks, std::int64_t id) {
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (blocks[i].id == id) return static_cast<int>(i);
    }
    return kMissingBlockIndex;
}

void writeSlot(ImageSpan image, std::size_t slot, const SlotBytes& bytes) {
    std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(slot * kSlotSize));
}

SlotBytes readSlot(ConstImageSpan image, std::size_t slot) {
    SlotBytes bytes;
    std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(slot * kSlotSize), kSlotSize, bytes.begin());
    return bytes;
}

// A received date: year byte FF stands for "every year".
std::optional<CivilDate> receivedDate(std::uint8_t yearByte, std::uint8_t month, std::uint8_t day) {
    CivilDate date{kFirstYear + yearByte, month, day};
    if (yearByte == kEmpty && month == 2 && day == 29) date.year = kYearlessLeapYear;
    if (!isValid(date)) return std::nullopt;
    return date;
}

}  // namespace

CommandImage blankImage() {
    CommandImage image;
    image.fill(kEmpty);
    return image;
}

SlotBytes dateRecord(int blockIndex, const DateRow& d) {
    const CivilDate& from = *d.from;
    const CivilDate& to = *d.to;
    const bool singleDay = d.inItsYearOnly ? from == to : (from.month == to.month && from.day == to.day);
    const auto year = [&](const CivilDate& date) {
        return d.inItsYearOnly ? static_cast<std::uint8_t>(date.year - kFirstYear) : kEmpty;
    };
    SlotBytes r;
    r[0] = static_cast<std::uint8_t>(0x80 | blockIndex);
    r[1] = static_cast<std::uint8_t>(from.day);
    r[2] = static_cast<std::uint8_t>(from.month);
    r[3] = year(from);
    r[4] = singleDay ? kEmpty : static_cast<std::uint8_t>(to.day);
    r[5] = singleDay ? kEmpty : static_cast<std::uint8_t>(to.month);
    r[6] = singleDay ? kEmpty : year(to);
    return r;
}

SlotBytes commandRecord(int blockIndex, const CommandRow& c) {
    const int relay = static_cast<int>(c.relay);
    const int relayBit = relay == 1 ? 0x01 : 0x02;
    SlotBytes r;
    r[0] = static_cast<std::uint8_t>(blockIndex & 0x7F);
    r[1] = static_cast<std::uint8_t>(c.weekdays & 0xFF);
    r[2] = static_cast<std::uint8_t>(c.time->hour);
    r[3] = static_cast<std::uint8_t>(c.time->minute);
    r[4] = static_cast<std::uint8_t>((relay << 4) | (switchesOn(c.operation) ? relayBit : 0));
    r[5] = usesCycle(c.operation) ? static_cast<std::uint8_t>((c.cycle & 0x7F) | (c.cycleInMinutes ? 0x80 : 0)) : 0;
    r[6] =
        usesImpulse(c.operation) ? static_cast<std::uint8_t>((c.impulse & 0x7F) | (c.impulseInMinutes ? 0x80 : 0)) : 0;
    return r;
}

std::optional<ImageFault> compileImage(std::span<const BlockRow> blocks, std::span<const DateRow> dates,
                                       std::span<const CommandRow> commands, ImageSpan image) {
    if (blocks.empty()) return ImageFault{text::kFaultNoBlock};
    if (blocks.size() > static_cast<std::size_t>(kMaxBlocks))
        return ImageFault{formatText(text::kFaultTooManyBlocks, static_cast<int>(blocks.size()))};
    if (dates.size() + commands.size() > static_cast<std::size_t>(kMaxRecords))
        return ImageFault{formatText(text::kFaultTooManyRecords, static_cast<int>(dates.size() + commands.size()))};
    for (const auto& d : dates) {
        if (auto fault = checkDate(d)) return fault;
    }
    for (const auto& c : commands) {
        if (auto fault = checkCommand(c)) return fault;
    }

    for (std::size_t i = 0; i < blocks.size(); ++i)
        image[kPriorityOffset + i] = static_cast<std::uint8_t>(blocks[i].priority & 0xFF);
    for (std::size_t n = 0; n < dates.size(); ++n)
        writeSlot(image, n, dateRecord(blockIndexOf(blocks, dates[n].block), dates[n]));
    for (std::size_t n = 0; n < commands.size(); ++n)
        writeSlot(image, kSlotCount - 1 - n, commandRecord(blockIndexOf(blocks, commands[n].block), commands[n]));
    return std::nullopt;
}

int decodeOperation(std::uint8_t relayState, std::uint8_t cycle, std::uint8_t impulse) {
    const bool on = (relayState & (relayState >> 4)) != 0;
    if ((cycle & 0x7F) != 0 && (impulse & 0x7F) != 0) return on ? kCyclePlus : kCycleMinus;
    if ((impulse & 0x7F) != 0) return on ? kImpulsePlus : kImpulseMinus;
    return on ? kOn : kOff;
}

DecodedImage decodeImage(ConstImageSpan image) {
    DecodedImage out;

    // Block index 0 is block 1, which every program already has.
    for (int i = 1; i < kMaxBlocks; ++i) {
        const std::uint8_t priority = image[kPriorityOffset + static_cast<std::size_t>(i)];
        if (priority == kEmpty || priority > 9) continue;
        const int n = static_cast<int>(out.blocks.size()) + 1;
        out.blocks.push_back(BlockRow{i + 1, priority, formatText(text::kReceivedBlock, n)});
    }

    for (std::size_t slot = 0; slot < kSlotCount; ++slot) {
        const auto r = readSlot(image, slot);
        if (r[0] == kEmpty || (r[0] & 0x80) == 0 || r[0] >= 0x80 + kMissingBlockIndex || r[1] > 31 || r[2] >= 13)
            continue;
        const auto from = receivedDate(r[3], r[2], r[1]);
        const auto to = (r[4] == kEmpty || r[5] == kEmpty) ? from : receivedDate(r[6], r[5], r[4]);
        // A day that does not exist (day 0, 31 April) cannot be a range.
        if (!from || !to) continue;
        DateRow d;
        d.from = from;
        d.to = to;
        d.inItsYearOnly = r[3] != kEmpty;
        d.block = (r[0] & 0x7F) + 1;
        d.description = formatText(text::kReceivedDate, static_cast<int>(out.dates.size()) + 1);
        out.dates.push_back(std::move(d));
    }

    for (std::size_t slot = kSlotCount; slot-- > 0;) {
        const auto r = readSlot(image, slot);
        if (r[0] >= kMissingBlockIndex) continue;
        // A time that does not exist cannot be a command's time.
        if (r[2] > 23 || r[3] > 59) continue;
        CommandRow c;
        c.block = r[0] + 1;
        c.weekdays = r[1];
        c.time = TimeOfDay{r[2], r[3], 0};
        c.operation = decodeOperation(r[4], r[5], r[6]);
        c.cycleInMinutes = (r[5] & 0x80) != 0;
        c.impulseInMinutes = (r[6] & 0x80) != 0;
        c.cycle = r[5] & 0x7F;
        c.impulse = r[6] & 0x7F;
        c.relay = (r[4] >> 4) == 1 ? 1 : 2;
        c.description = formatText(text::kReceivedCommand, static_cast<int>(out.commands.size()) + 1);
        out.commands.push_back(std::move(c));
    }
    return out;
}

}  // namespace kt64::program
