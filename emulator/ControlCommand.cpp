#include "ControlCommand.h"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <optional>
#include <vector>

#include "CentreCalendar.h"
#include "WholeFile.h"

namespace kt64::sim {

namespace {

std::string_view trim(std::string_view s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// First word and the rest (trimmed).
std::pair<std::string_view, std::string_view> splitWord(std::string_view s) {
    s = trim(s);
    const auto e = s.find_first_of(" \t");
    if (e == std::string_view::npos) return {s, {}};
    return {s.substr(0, e), trim(s.substr(e))};
}

std::vector<std::string_view> splitOn(std::string_view s, char c) {
    std::vector<std::string_view> parts;
    while (true) {
        const auto p = s.find(c);
        parts.push_back(trim(s.substr(0, p)));
        if (p == std::string_view::npos) return parts;
        s.remove_prefix(p + 1);
    }
}

std::optional<int> decimal(std::string_view s, int min, int max) {
    int v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc{} || p != s.data() + s.size() || v < min || v > max) return std::nullopt;
    return v;
}

std::optional<int> hex(std::string_view s, int max) {
    int v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 16);
    if (s.empty() || ec != std::errc{} || p != s.data() + s.size() || v < 0 || v > max) return std::nullopt;
    return v;
}

// 0xNN (hex) or a decimal number 0..255.
std::optional<std::uint8_t> byteValue(std::string_view s) {
    std::optional<int> v;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        v = hex(s.substr(2), 255);
    else
        v = decimal(s, 0, 255);
    if (!v) return std::nullopt;
    return static_cast<std::uint8_t>(*v);
}

std::optional<bool> onOff(std::string_view s) {
    if (s == "on" || s == "1") return true;
    if (s == "off" || s == "0") return false;
    return std::nullopt;
}

// "HH:MM" -> minutes, hours up to maxHours.
std::optional<int> hoursMinutes(std::string_view s, int maxHours) {
    const auto parts = splitOn(s, ':');
    if (parts.size() != 2 || parts[0].size() != 2 || parts[1].size() != 2) return std::nullopt;
    const auto h = decimal(parts[0], 0, maxHours), m = decimal(parts[1], 0, 59);
    if (!h || !m) return std::nullopt;
    return *h * 60 + *m;
}

std::optional<ChangeRule> rule(std::string_view s) {
    const auto parts = splitOn(s, ',');
    if (parts.size() != 3) return std::nullopt;
    const auto k = decimal(parts[0], 0, 4), m = decimal(parts[1], 1, 12), h = decimal(parts[2], 0, 9);
    if (!k || !m || !h) return std::nullopt;
    return ChangeRule{*k, *m, *h};
}

std::optional<std::uint8_t> named(std::string_view s, std::initializer_list<std::pair<std::string_view, int>> names) {
    for (const auto& [n, v] : names)
        if (s == n) return static_cast<std::uint8_t>(v);
    return byteValue(s);
}

std::string hexBytes(link::ByteSpan bytes, bool spaced) {
    std::string out;
    char buf[4];
    for (auto b : bytes) {
        if (spaced && !out.empty()) out += ' ';
        std::snprintf(buf, sizeof buf, "%02X", b);
        out += buf;
    }
    return out;
}

std::string timeText(std::int64_t seconds) {
    const CivilTime t = civilFromSeconds(seconds);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return buf;
}

std::string byteText(std::uint8_t b) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", b);
    return buf;
}

std::string stateText(const Centre& centre) {
    const CentreView v = centre.view();
    const CentreSettings& s = v.settings;
    const CentreCounters c = centre.counters();
    char buf[96];
    std::string out = "gmt=" + timeText(v.gmtSeconds) + " local=" + timeText(v.localSeconds);
    out += std::string(" summer=") + (v.summer ? "1" : "0");
    std::snprintf(buf, sizeof buf, " line-time=%02d:%02d offset=%c%02d:%02d", v.lineMinutes / 60, v.lineMinutes % 60,
                  s.offsetMinutes < 0 ? '-' : '+', std::abs(s.offsetMinutes) / 60, std::abs(s.offsetMinutes) % 60);
    out += buf;
    out += std::string(" change=") + (s.changeOn ? "on" : "off");
    std::snprintf(buf, sizeof buf, " to-summer=%d,%d,%d day=%d to-winter=%d,%d,%d day=%d", s.winterToSummer.key,
                  s.winterToSummer.month, s.winterToSummer.hour, v.dayToSummer, s.summerToWinter.key,
                  s.summerToWinter.month, s.summerToWinter.hour, v.dayToWinter);
    out += buf;
    out += std::string(" analog=") + (s.analogOn ? "on" : "off") + " digital=" + (s.digitalOn ? "on" : "off");
    out += " digital-type=" + byteText(s.digitalType) + " source=" + byteText(s.source) +
           " relays=" + byteText(s.relays) + " interface=" + byteText(s.interface);
    std::snprintf(buf, sizeof buf, " firmware=%X.%X model=0x%02X serial=%02X/%02X%02X alarm=0x%02X,0x%02X,0x%02X",
                  s.firmware >> 4, s.firmware & 0x0F, s.model, s.serial[0], s.serial[1], s.serial[2], s.alarms[0],
                  s.alarms[1], s.alarms[2]);
    out += buf;
    out += " fault=" + describeFault(v.fault);
    out += " requests=" + std::to_string(c.requests) + " answers=" + std::to_string(c.answers) +
           " rejected=" + std::to_string(c.rejected);
    return out;
}

std::string error(std::string_view name, std::string_view value) {
    return "bad value '" + std::string(value) + "' for " + std::string(name);
}

std::string imageCommand(Centre& centre, std::string_view args) {
    const auto [verb, path] = splitWord(args);
    if (path.empty()) return "error: image load PATH | image save PATH";
    if (verb == "load") {
        try {
            const std::string bytes =
                readWholeFile(std::string(path), {link::kImageSize, link::kImageSize, "a command list has 2905"});
            centre.setImage(link::Bytes(bytes.begin(), bytes.end()));
        } catch (const FileError& e) {
            return std::string("error: ") + e.what();
        }
        return "ok";
    }
    if (verb == "save") {
        const auto bytes = centre.image();
        std::ofstream out{std::string(path), std::ios::binary | std::ios::trunc};
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) return "error: cannot write " + std::string(path);
        return "ok";
    }
    return "error: image load PATH | image save PATH";
}

}  // namespace

std::string applySetting(CentreSettings& s, std::string_view name, std::string_view value, const TimeSource& clock) {
    value = trim(value);
    CentreSettings n = s;
    bool ok = false;
    if (name == "gmt") {
        const auto t = value == "now" ? std::optional<TimePoint>(clock.now()) : parseUtc(value);
        const int year = t ? civilFromSeconds(toSeconds(*t)).year : 0;
        if ((ok = t && year >= 2000 && year <= 2099)) n.startGmt = *t;
    } else if (name == "offset") {
        const bool negative = !value.empty() && value[0] == '-';
        const auto body = !value.empty() && (value[0] == '-' || value[0] == '+') ? value.substr(1) : value;
        const auto m = hoursMinutes(body, 23);
        if ((ok = m.has_value())) n.offsetMinutes = negative ? -*m : *m;
    } else if (name == "change") {
        const auto v = onOff(value);
        if ((ok = v.has_value())) n.changeOn = *v;
    } else if (name == "to-summer" || name == "to-winter") {
        const auto r = rule(value);
        if ((ok = r.has_value())) (name == "to-summer" ? n.winterToSummer : n.summerToWinter) = *r;
    } else if (name == "analog" || name == "digital") {
        const auto v = onOff(value);
        if ((ok = v.has_value())) (name == "analog" ? n.analogOn : n.digitalOn) = *v;
    } else if (name == "line-time") {
        const auto m = hoursMinutes(value, 23);
        if ((ok = m.has_value())) n.lineMinutes = *m;
    } else if (name == "digital-type") {
        const auto v =
            named(value, {{"hm", code::kDigitalHm}, {"hms", code::kDigitalHms}, {"full", code::kDigitalHmsDate}});
        if ((ok = v.has_value())) n.digitalType = *v;
    } else if (name == "source") {
        const auto v = named(value, {{"none", code::kSourceNone},
                                     {"gps", code::kSourceGps},
                                     {"dcf", code::kSourceDcf},
                                     {"rs", code::kSourceRs},
                                     {"lin", code::kSourceLin}});
        if ((ok = v.has_value())) n.source = *v;
    } else if (name == "relays") {
        const auto v = named(value, {{"0", code::kRelaysNone}, {"1", code::kRelaysOne}, {"2", code::kRelaysTwo}});
        if ((ok = v.has_value())) n.relays = *v;
    } else if (name == "interface") {
        const auto v =
            named(value, {{"none", code::kInterfaceNone}, {"232", code::kInterface232}, {"485", code::kInterface485}});
        if ((ok = v.has_value())) n.interface = *v;
    } else if (name == "firmware") {
        std::optional<std::uint8_t> v;
        if (value.size() == 3 && value[1] == '.') {
            const auto hi = hex(value.substr(0, 1), 15), lo = hex(value.substr(2, 1), 15);
            if (hi && lo) v = static_cast<std::uint8_t>(*hi << 4 | *lo);
        } else {
            v = byteValue(value);
        }
        if ((ok = v.has_value())) n.firmware = *v;
    } else if (name == "model") {
        const auto v = byteValue(value);
        if ((ok = v.has_value())) n.model = *v;
    } else if (name == "serial") {
        const auto parts = splitOn(value, '/');
        if (parts.size() == 2 && parts[0].size() == 2 && parts[1].size() == 4) {
            const auto a = hex(parts[0], 255), b = hex(parts[1].substr(0, 2), 255), c = hex(parts[1].substr(2), 255);
            if ((ok = a && b && c))
                n.serial = {static_cast<std::uint8_t>(*a), static_cast<std::uint8_t>(*b),
                            static_cast<std::uint8_t>(*c)};
        }
    } else if (name == "alarm") {
        const auto parts = splitOn(value, ',');
        if (parts.size() == 1 || parts.size() == 3) {
            ok = true;
            for (std::size_t i = 0; i < parts.size() && ok; ++i) {
                const auto b = byteValue(parts[i]);
                if ((ok = b.has_value())) n.alarms[i] = *b;
            }
        }
    } else {
        return "unknown setting '" + std::string(name) + "'";
    }
    if (!ok) return error(name, value);
    s = n;
    return {};
}

std::string runControl(Centre& centre, std::string_view line, const TimeSource& clock) {
    const auto [verb, rest] = splitWord(line);
    if (verb == "fault") {
        std::string why;
        const auto f = parseFault(rest, &why);
        if (!f) return "error: " + why;
        centre.setFault(*f);
        return "ok";
    }
    if (verb == "set") {
        const auto [name, value] = splitWord(rest);
        CentreSettings s = centre.view().settings;
        s.startGmt.reset();
        s.lineMinutes.reset();
        const std::string why = applySetting(s, name, value, clock);
        if (!why.empty()) return "error: " + why;
        centre.setSettings(s);
        return "ok";
    }
    if (verb == "get") {
        if (rest == "status") return "ok " + hexBytes(centre.statusFrame(), true);
        if (rest == "state") return "ok " + stateText(centre);
        if (rest == "fault") return "ok " + describeFault(centre.fault());
        if (rest == "image") return "ok " + hexBytes(centre.image(), false);
        if (rest == "correction") {
            char text[32];
            std::snprintf(text, sizeof text, "ok %+lld", static_cast<long long>(centre.gmtCorrectionMs()));
            return text;
        }
        return "error: get status | state | fault | image | correction";
    }
    if (verb == "image") return imageCommand(centre, rest);
    if (verb == "help") return "ok fault|set|get|image|help; see kt64sim --help";
    if (verb.empty()) return "error: empty command";
    return "error: unknown command '" + std::string(verb) + "'";
}

std::string_view controlHelp() {
    return R"(Control commands (one a line; each answered by one line "ok ..." or "error: ..."):
  fault none                  answer normally
  fault silent                ignore every request (nothing applied, nothing answered)
  fault late MS               answer MS milliseconds late
  fault checksum              answers carry a wrong checksum
  fault marker                answers carry a broken marker, checksum right
                              (status byte 27 = 00, ack 1B DD 03, record answer 1B EE 08)
  fault short                 answers lack their last byte (49, 5 or 12 bytes)
  fault ack-refuse K          record K of a write is neither stored nor acknowledged,
                              record K of a read is not answered
  fault ack-corrupt K         the acknowledgement or answer of record K has a wrong checksum
  fault garbage N             N stray bytes (0x55) go out before each answer
    A fault may end in "once" or "times N": it then lasts for that many answers
    (for ack- faults: occurrences of record K); otherwise until changed.
  set NAME VALUE              change a setting (names below), shown by the next status
  get status|state|fault|image
                              status frame (hex), readable state, fault, command list (hex)
  get correction              the centre's GMT less this computer's UTC clock in ms,
                              e.g. "ok +90250" (what a synchronised PC should be told)
  image load PATH|save PATH   read or write the 2905-byte command list as a file
Settings (command line: --NAME VALUE; control: set NAME VALUE):
  gmt          now | YYYY-MM-DD HH:MM[:SS]     GMT, then running (default: PC's UTC)
  offset       [+|-]HH:MM                      local minus GMT (default +01:00)
  change       on | off                        change of time (default on)
  to-summer    KEY,MONTH,HOUR                  default 0,3,2: last Sunday of March, 2 h
  to-winter    KEY,MONTH,HOUR                  default 0,10,3: last Sunday of October, 3 h
                                               KEY 0 last, 1..4 first..fourth Sunday;
                                               HOUR 0..9 on the clock in force before
                                               the change (winter time for to-summer)
  analog       on | off                        analogue line (default on)
  digital      on | off                        digital line (default on)
  line-time    HH:MM                           analogue line time (default local time);
                                               it advances while the line is on
  digital-type hm | hms | full | 0xNN          telegram type (default full = 0x22)
  source       none | gps | dcf | rs | lin | 0xNN    (default gps)
  relays       0 | 1 | 2 | 0xNN                (default 2)
  interface    none | 232 | 485 | 0xNN         (default 232)
  firmware     X.Y | 0xNN                      (default 1.2)
  model        0xNN                            (default 0x64)
  serial       HH/HHHH                         (default 01/2345)
  alarm        0xNN[,0xNN,0xNN]                status bytes 19, 20, 21 (default 0x81,0x00,0x00:
                                               no alarm; byte 19 bits 7 and 0 are active-low)
)";
}

}  // namespace kt64::sim
