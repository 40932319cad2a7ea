// The centre's type as the link server reports it in BuildType:
// "KT-64/GPS/1/232 V1.2" is the model, the synchronisation source, the
// number of relay outputs and the serial interface followed, after a blank,
// by the firmware version. Every part of the console that reads the text
// reads it here, so that the transfers, the schedule views, the device
// panel, the settings form and the service dialog agree on what a text
// means, a malformed one too.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kt64::program {

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

}  // namespace kt64::program
