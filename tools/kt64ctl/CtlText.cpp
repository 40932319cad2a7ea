// Text forms of the centre's values for kt64ctl.
#include "CtlText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "Kt64SrvIds.h"

namespace kt64::ctl {

namespace {

constexpr std::array<EnumText, 8> kAlarms{{
    {ids::A_SYNCTRAN, "A_SYNCTRAN", "Trans. z urzadzenia synchr"},
    {ids::A_SET, "A_SET", "Wymaga ustawienia lub synchr"},
    {ids::A_AKU36, "A_AKU36", "Akumulator 3,6V rozladowany"},
    {ids::A_POWER, "A_POWER", "Napiecie zasilania niskie"},
    {ids::A_SYNC, "A_SYNC", "Brak synchr. od 240h"},
    {ids::A_ANTENA, "A_ANTENA", "Brak anteny"},
    {ids::A_MANSET, "A_MANSET", "Centrala ustawiana recznie"},
    {ids::A_LINE1, "A_LINE1", "Zwarcie linii 1"},
}};

constexpr std::array<EnumText, 4> kSettings{{
    {ids::S_CHANGETIMEON, "S_CHANGETIMEON", "Zmiana Czasu wlaczona"},
    {ids::S_WINTERTIME, "S_WINTERTIME", "Jezeli czas zimowy"},
    {ids::S_LINE1ANALON, "S_LINE1ANALON", "Linia analog. Zal"},
    {ids::S_LINE1DIGITON, "S_LINE1DIGITON", "Linia cyfr. Zal"},
}};

constexpr std::array<EnumText, 5> kKeys{{
    {0, "K_OSTNIEDZ", "Ostatnia niedziela"},
    {1, "K_1NIEDZ", "Pierwsza niedziela"},
    {2, "K_2NIEDZ", "Druga niedziela"},
    {3, "K_3NIEDZ", "Trzecia niedziela"},
    {4, "K_4NIEDZ", "Czwarta niedziela"},
}};

constexpr std::array<EnumText, 3> kDigLines{{
    {0, "D_GGMM", "Tylko Godz i minuty"},
    {17, "D_GGMMSS", "Pelny czas"},
    {34, "D_GGMMSSDDMMYY", "Pelny czas i data"},
}};

template <std::size_t N>
std::vector<EnumText> bitsOf(const std::array<EnumText, N>& table, std::uint32_t mask) {
    std::vector<EnumText> result;
    for (const auto& entry : table)
        if (mask & entry.value) result.push_back(entry);
    return result;
}

template <std::size_t N>
const EnumText* entryOf(const std::array<EnumText, N>& table, std::uint32_t value) {
    for (const auto& entry : table)
        if (entry.value == value) return &entry;
    return nullptr;
}

std::string twoDigits(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

// Reads an unsigned decimal number that fills text exactly.
std::optional<int> number(std::string_view text, std::size_t minDigits = 1, std::size_t maxDigits = 4) {
    if (text.size() < minDigits || text.size() > maxDigits) return std::nullopt;
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

// "HH:MM" or "HH:MM:SS" into hours, minutes, seconds (in range).
std::optional<std::array<int, 3>> clock(std::string_view text) {
    std::array<int, 3> fields{0, 0, 0};
    std::size_t field = 0;
    while (true) {
        auto colon = text.find(':');
        auto value = number(text.substr(0, colon), 1, 2);
        if (!value || field == 3) return std::nullopt;
        fields[field++] = *value;
        if (colon == std::string_view::npos) break;
        text.remove_prefix(colon + 1);
    }
    if (field < 2 || fields[0] > 23 || fields[1] > 59 || fields[2] > 59) return std::nullopt;
    return fields;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 'a' + 'A') : a[i];
        if (x != b[i]) return false;
    }
    return true;
}

}  // namespace

std::string formatDateTime(DATE date) {
    auto st = fromVariantTime(date);
    if (!st) return "invalid date";
    return std::to_string(st->year) + "-" + twoDigits(st->month) + "-" + twoDigits(st->day) + " " +
           twoDigits(st->hour) + ":" + twoDigits(st->minute) + ":" + twoDigits(st->second);
}

std::string formatIsoDateTime(DATE date) {
    auto st = fromVariantTime(date);
    if (!st) return "";
    std::string text = formatDateTime(date);
    text[text.find(' ')] = 'T';
    return text;
}

std::string formatTimeOfDay(DATE date) {
    auto st = fromVariantTime(date);
    if (!st) return "invalid time";
    return twoDigits(st->hour) + ":" + twoDigits(st->minute) + ":" + twoDigits(st->second);
}

std::string formatChangeDate(DATE date) {
    auto st = fromVariantTime(date);
    if (!st) return "invalid date";
    return twoDigits(st->day) + "." + twoDigits(st->month) + " " + twoDigits(st->hour) + ":" + twoDigits(st->minute);
}

std::string formatOffset(double days) {
    if (!std::isfinite(days)) return "invalid offset";
    long minutes = std::lround(days * 1440.0);
    char sign = minutes < 0 ? '-' : '+';
    minutes = std::labs(minutes);
    return sign + twoDigits(static_cast<int>(minutes / 60)) + ":" + twoDigits(static_cast<int>(minutes % 60));
}

std::string formatHresult(std::int32_t hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

std::optional<DATE> parseDateTime(std::string_view text) {
    auto split = text.find_first_of(" T");
    if (split == std::string_view::npos) return std::nullopt;
    std::string_view day = text.substr(0, split);
    auto time = clock(text.substr(split + 1));
    if (day.size() != 10 || day[4] != '-' || day[7] != '-' || !time) return std::nullopt;
    auto year = number(day.substr(0, 4), 4, 4);
    auto month = number(day.substr(5, 2), 2, 2);
    auto mday = number(day.substr(8, 2), 2, 2);
    if (!year || !month || !mday) return std::nullopt;
    auto date = makeDate(*year, *month, *mday, (*time)[0], (*time)[1], (*time)[2]);
    // makeDate rolls 31 April over into May: a date that does not come back
    // as written does not exist.
    if (!date) return std::nullopt;
    auto back = fromVariantTime(*date);
    if (!back || back->month != *month || back->day != *mday) return std::nullopt;
    return date;
}

std::optional<DATE> parseTimeOfDay(std::string_view text) {
    auto time = clock(text);
    if (!time) return std::nullopt;
    return makeDate(1900, 1, 1, (*time)[0], (*time)[1], (*time)[2]);
}

std::optional<double> parseOffset(std::string_view text) {
    int sign = 1;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        sign = text.front() == '-' ? -1 : 1;
        text.remove_prefix(1);
    }
    long minutes = 0;
    if (auto colon = text.find(':'); colon != std::string_view::npos) {
        auto hours = number(text.substr(0, colon), 1, 2);
        auto mins = number(text.substr(colon + 1), 2, 2);
        if (!hours || !mins || *mins > 59) return std::nullopt;
        minutes = *hours * 60L + *mins;
    } else {
        double hours = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), hours);
        if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(hours) || hours < 0)
            return std::nullopt;
        double exact = hours * 60.0;
        minutes = std::lround(exact);
        if (std::fabs(exact - static_cast<double>(minutes)) > 1e-6)
            return std::nullopt;  // not a whole number of minutes
    }
    if (minutes >= 24 * 60) return std::nullopt;
    return sign * static_cast<double>(minutes) / 1440.0;
}

std::optional<DATE> parseChangeDate(std::string_view dayMonth, std::string_view hour) {
    auto dot = dayMonth.find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    auto day = number(dayMonth.substr(0, dot), 1, 2);
    auto month = number(dayMonth.substr(dot + 1), 1, 2);
    auto h = number(hour, 1, 1);
    if (!day || !month || !h || *day < 1 || *month < 1 || *month > 12) return std::nullopt;
    auto date = makeDate(1900, *month, *day, *h);
    if (!date) return std::nullopt;
    auto back = fromVariantTime(*date);
    if (!back || back->month != *month || back->day != *day) return std::nullopt;
    return date;
}

DATE dateFromSystemClock(std::chrono::system_clock::time_point now) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(std::chrono::time_point_cast<std::chrono::seconds>(now));
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    return makeDate(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec).value_or(0.0);
}

std::optional<std::uint32_t> parseKeyChg(std::string_view text) {
    if (equalNoCase(text, "LAST") || text == "0" || equalNoCase(text, "K_OSTNIEDZ")) return 0u;
    for (const auto& entry : kKeys)
        if (equalNoCase(text, entry.name) || (text.size() == 1 && text[0] == static_cast<char>('0' + entry.value)))
            return entry.value;
    return std::nullopt;
}

std::optional<std::uint32_t> parseDigLine(std::string_view text) {
    for (const auto& entry : kDigLines) {
        if (equalNoCase(text, entry.name) || equalNoCase(text, entry.name.substr(2)) ||
            text == std::to_string(entry.value))
            return entry.value;
    }
    return std::nullopt;
}

std::vector<EnumText> alarmBits(std::uint32_t mask) { return bitsOf(kAlarms, mask); }
std::vector<EnumText> setBits(std::uint32_t mask) { return bitsOf(kSettings, mask); }
const EnumText* keyChgText(std::uint32_t value) { return entryOf(kKeys, value); }
const EnumText* digLineText(std::uint32_t value) { return entryOf(kDigLines, value); }

}  // namespace kt64::ctl
