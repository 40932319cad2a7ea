#include "CentreFault.h"

#include <charconv>
#include <vector>

namespace kt64::sim {

namespace {

struct KindName {
    FaultKind kind;
    std::string_view name;
    bool takesArgument;
};

constexpr KindName kKinds[] = {
    {FaultKind::None, "none", false},
    {FaultKind::Silent, "silent", false},
    {FaultKind::Late, "late", true},
    {FaultKind::Checksum, "checksum", false},
    {FaultKind::Marker, "marker", false},
    {FaultKind::Short, "short", false},
    {FaultKind::AckRefuse, "ack-refuse", true},
    {FaultKind::AckCorrupt, "ack-corrupt", true},
    {FaultKind::Garbage, "garbage", true},
};

std::vector<std::string_view> words(std::string_view s) {
    std::vector<std::string_view> out;
    while (true) {
        const auto b = s.find_first_not_of(" \t\r\n");
        if (b == std::string_view::npos) break;
        s.remove_prefix(b);
        const auto e = s.find_first_of(" \t\r\n");
        out.push_back(s.substr(0, e));
        if (e == std::string_view::npos) break;
        s.remove_prefix(e);
    }
    return out;
}

std::optional<int> number(std::string_view w, int max) {
    int v = 0;
    auto [p, ec] = std::from_chars(w.data(), w.data() + w.size(), v);
    if (ec != std::errc{} || p != w.data() + w.size() || v < 0 || v > max) return std::nullopt;
    return v;
}

std::optional<Fault> fail(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return std::nullopt;
}

}  // namespace

std::optional<Fault> parseFault(std::string_view text, std::string* error) {
    const auto w = words(text);
    if (w.empty()) return fail(error, "fault kind missing");
    const KindName* kind = nullptr;
    for (const auto& k : kKinds)
        if (k.name == w[0]) kind = &k;
    if (!kind) return fail(error, "unknown fault '" + std::string(w[0]) + "'");

    Fault f;
    f.kind = kind->kind;
    std::size_t i = 1;
    if (kind->takesArgument) {
        if (w.size() < 2) return fail(error, std::string(kind->name) + " needs a number");
        const int max = f.kind == FaultKind::Late ? 60000 : f.kind == FaultKind::Garbage ? 4096 : 65535;
        const auto v = number(w[1], max);
        if (!v) return fail(error, "bad number '" + std::string(w[1]) + "' (0.." + std::to_string(max) + ")");
        f.argument = *v;
        i = 2;
    }
    if (i < w.size()) {
        if (f.kind == FaultKind::None) return fail(error, "none takes no count");
        if (w[i] == "once") {
            f.remaining = 1;
            ++i;
        } else if (w[i] == "times" && i + 1 < w.size()) {
            const auto n = number(w[i + 1], 1000000);
            if (!n || *n == 0) return fail(error, "bad count '" + std::string(w[i + 1]) + "'");
            f.remaining = *n;
            i += 2;
        } else {
            return fail(error, "unexpected '" + std::string(w[i]) + "' (once or times N)");
        }
    }
    if (i != w.size()) return fail(error, "unexpected '" + std::string(w[i]) + "'");
    return f;
}

std::string describeFault(const Fault& f) {
    std::string s;
    for (const auto& k : kKinds)
        if (k.kind == f.kind) {
            s = k.name;
            if (k.takesArgument) s += " " + std::to_string(f.argument);
        }
    if (f.kind != FaultKind::None && f.remaining == 1)
        s += " once";
    else if (f.kind != FaultKind::None && f.remaining > 1)
        s += " times " + std::to_string(f.remaining);
    return s;
}

}  // namespace kt64::sim
