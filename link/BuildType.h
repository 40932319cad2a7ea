// The centre's type as a text: "KT-64/GPS/1/232 V1.2" is the model, the
// synchronisation source, the number of relay outputs and the serial
// interface followed, after a blank, by the firmware version.
//
// The server writes the text from the status frame's codes, and a client may
// send it one without the version to change the centre's type. Every program
// reads and writes the text here, each reader under a rule of its own name:
//   - readBuildType: the console's reading of a reported text, where every
//     "/" ends a field, so a missing field never moves the next one into its
//     place; the relay outputs and the source letter come from it.
//   - codesOfTextToSet: the server's reading of a text a client sends, where
//     empty pieces are skipped and every field must name a code exactly.
//   - codesOfReport: the server's reading of its own report, to keep the
//     codes a text to set leaves out.
//   - the service dialog's lists select entries of the name tables below.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kt64::link {

// The names of the source, relay and interface codes, in the order of the
// codes: entry i stands for code 0x11 * i (0x00, 0x11, 0x22 ...).
inline constexpr std::array<std::string_view, 5> kSourceNames{"00", "GPS", "DCF", "RS", "LIN"};
inline constexpr std::array<std::string_view, 3> kRelayNames{"0", "1", "2"};
inline constexpr std::array<std::string_view, 3> kInterfaceNames{"000", "232", "485"};
// What the server writes for a code outside its table.
inline constexpr std::string_view kUnknownSource = "ERR";
inline constexpr std::string_view kUnknownRelays = "E";
inline constexpr std::string_view kUnknownInterface = "ERR";

constexpr std::uint8_t codeOfEntry(std::size_t entry) { return static_cast<std::uint8_t>(0x11 * entry); }

// The entry whose name equals field exactly (case matters); nullopt for none.
template <std::size_t N>
std::optional<std::size_t> entryNamed(const std::array<std::string_view, N>& names, std::string_view field) {
    for (std::size_t i = 0; i < N; ++i)
        if (names[i] == field) return i;
    return std::nullopt;
}

// The first entry whose name field contains ("485 V1.2" holds "485").
template <std::size_t N>
std::optional<std::size_t> entryContained(const std::array<std::string_view, N>& names, std::string_view field) {
    for (std::size_t i = 0; i < N; ++i)
        if (field.find(names[i]) != std::string_view::npos) return i;
    return std::nullopt;
}

// The fields of a text split at "/", empty pieces skipped ("12//3456/" has
// the two fields "12" and "3456"): how the server reads a type to set and
// how the service dialog reads SerialNum.
std::vector<std::string_view> nonEmptyFields(std::string_view text);

// "KT-64/GPS/1/232 V1.2" from the model, source, relays, interface and
// version bytes of the status frame.
std::string buildTypeText(std::uint8_t model, std::uint8_t source, std::uint8_t relays, std::uint8_t interface,
                          std::uint8_t version);

// "KT-64/" + source + "/" + relays + "/" + interface + "/": the text the
// service dialog sends; an empty name gives an empty field.
std::string buildTypeToSet(std::string_view source, std::string_view relays, std::string_view interface);

struct BuildTypeFields {
    std::string model;      // "KT-64"
    std::string source;     // "GPS" ("ERR" for a code the server does not know)
    std::string relays;     // "1" ("E" for a code the server does not know)
    std::string interface;  // "232 V1.2": the fourth field with the version
    // The relay field's first character as a digit; nullopt when the text
    // has no relay field or it does not begin with a digit.
    std::optional<int> relayOutputs;

    // The source's first letter ('G', 'D', 'R', 'L', '0'), which decides
    // the device panel's alarm rows; nullopt without a source field.
    std::optional<char> sourceLetter() const {
        if (source.empty()) return std::nullopt;
        return source.front();
    }
};

// Splits the text at every "/": an empty piece is an empty field of its
// own, so a missing field never moves the next one into its place
// ("KT-64/DCF//232" has no relay outputs, not 2). Fields after the fourth
// are ignored.
BuildTypeFields readBuildType(std::string_view text);

// The number of relay outputs as the console keeps it: 0 for a text that
// names none, so that a malformed text never offers the transfers.
int relayOutputsOf(std::string_view text);

// The source, relay and interface codes of a text to set,
// "KT-64/source/relays/interface", empty pieces skipped; fields the text
// leaves out keep the codes in codes as they are. false, with codes
// untouched, for a first field other than "KT-64", a name outside the
// tables, or a fifth field.
bool codesOfTextToSet(std::string_view text, std::array<std::uint8_t, 3>& codes);

// The codes of a reported text ("KT-64/GPS/1/232 V1.2"), read as a text to
// set once the version is cut off; a field that is missing or unknown
// ("ERR") leaves its code as it was.
void codesOfReport(std::string_view reported, std::array<std::uint8_t, 3>& codes);

}  // namespace kt64::link
